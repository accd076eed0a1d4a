#pragma once
// The public contract of the viewer component DOVA (libdova.so).
//
// A host loads libdova.so (dlopen), looks up the one C entry point DovaCreateViewer and calls it with
// the interface version it was built with (DOVA_INTERFACE_VERSION below) and a parent widget. The
// component creates one viewer widget and hands back its IVNCViewer; a version the library cannot
// serve creates nothing and explains why.
//
// Rules of the surface:
// - Every member is called on the user-interface thread (the thread of the parent widget), and every
//   event is raised there, to each advised sink in the order the sinks were advised.
// - Every method returns a VNCStatus: VNC_S_OK, or a failure status (VNC_E_POINTER for a missing
//   out-pointer where one is required, VNC_E_INVALIDARG for an argument of the wrong kind). Values
//   come back through the final out-parameter. Methods whose last parameter is a VNCVariant retVal
//   set it to the 32-bit integer 0 (done) or -1 (refused: no session, or not in the needed state);
//   such a retVal pointer may be null when the host does not care.
// - Booleans are automation booleans (VNCBool: true = -1, false = 0); setters store the 16-bit value
//   they are given, and getters give it back unchanged.
// - Texts are QString (wide text); the component converts at the network boundary.
// - Ownership: the viewer is a QWidget owned by its parent; deleting the widget (or the parent) ends
//   any session, without raising events, and destroys the viewer. Do not delete it from inside one
//   of its own events (use deleteLater). Sinks are not owned; unadvise a sink before it dies.
// - A QApplication must exist before DovaCreateViewer is called.
// - Compatibility: this header changes only by appending members. A library serves hosts built with
//   the same major version and a minor version not above its own.

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <utility>
#include <variant>

class QWidget;

namespace dova {

// ---- Versioning and the entry point --------------------------------------------------------------

inline constexpr uint32_t DOVA_INTERFACE_MAJOR = 1;
inline constexpr uint32_t DOVA_INTERFACE_MINOR = 3;
inline constexpr uint32_t DOVA_INTERFACE_VERSION = (DOVA_INTERFACE_MAJOR << 16) | DOVA_INTERFACE_MINOR;

// ---- Status codes --------------------------------------------------------------------------------

using VNCStatus = int32_t;
inline constexpr VNCStatus VNC_S_OK = 0;
inline constexpr VNCStatus VNC_E_INVALIDARG = int32_t(0x80070057u);
inline constexpr VNCStatus VNC_E_POINTER = int32_t(0x80004003u);
inline constexpr VNCStatus VNC_E_FAIL = int32_t(0x80004005u);
inline constexpr VNCStatus VNC_E_NOTIMPL = int32_t(0x80004001u);

// ---- Automation booleans -------------------------------------------------------------------------

using VNCBool = int16_t;
inline constexpr VNCBool VNC_TRUE = -1;
inline constexpr VNCBool VNC_FALSE = 0;

// ---- Enumerations (32-bit values) ----------------------------------------------------------------

enum DOVABellActionsEnum : int32_t {
    dovaBellActionNone = 0,
    dovaBellActionMessageBeep = 65535,
    dovaBellActionDefault = 65535,
};

enum DOVAScrollbarsEnum : int32_t {
    dovaScrollbarNone = 0,
    dovaScrollbarHorizontal = 1,
    dovaScrollbarVertical = 2,
    dovaScrollbarBoth = 3,
};

enum DOVAStatesEnum : int32_t {
    dovaStateNotConnected = 0,
    dovaStateHandshaking = 2,
    dovaStateConnected = 0xF0000,
    dovaStateDispatching = 0xF0010,
};

enum DOVADataTypesEnum : int32_t {
    dovaDataUnknown = 0,
    dovaDataText = 1,
    dovaDataFromClipboard = 255,
};

enum DOVAEdgesEnum : int32_t {
    dovaEdgeNone = 0,
    dovaEdgeLeft = 1,
    dovaEdgeRight = 2,
    dovaEdgeTop = 4,
    dovaEdgeBottom = 8,
    dovaEdgeCentre = 16,
    dovaEdgeTopLeft = 5,
    dovaEdgeTopRight = 6,
    dovaEdgeBottomRight = 10,
    dovaEdgeBottomLeft = 9,
    dovaEdgeLeftCentre = 17,
    dovaEdgeRightCentre = 18,
    dovaEdgeTopCentre = 20,
    dovaEdgeBottomCentre = 24,
};

enum DOVACodecsEnum : int32_t {
    dovaCodecRaw = 0,
    dovaCodecCopyRect = 1,
    dovaCodecRRE = 2,
    dovaCodecCoRRE = 4,
    dovaCodecHextile = 5,
    dovaCodecTight = 7,
    dovaCodecZRLE = 16,
};

enum DOVAActionsEnum : int32_t {
    dovaActionNone = 0,
    dovaActionAllowDOVA = 1,
    dovaActionAllowWin = 2,
    dovaActionAllowDOVAAndWin = 3,
};

enum DOVAModifiersEnum : int32_t {
    dovaModifierNone = 0,
    dovaModifierShift = 1,
    dovaModifierControl = 2,
    dovaModifierMenu = 4,
    dovaModifierCurrent = 65536,
};

enum DOVAButtonsEnum : int32_t {
    dovaButtonNone = 0,
    dovaButtonLeft = 1,
    dovaButtonMiddle = 2,
    dovaButtonRight = 4,
    dovaButtonCurrent = 61440,
};

enum DOVADirectionsEnum : int32_t {
    dovaDirectionUp = 0,
    dovaDirectionDown = 1,
};

enum DOVAStretchModesEnum : int32_t {
    dovaStretchModeNormal = 0,
    dovaStretchModeHalftone = 4,
};

enum DOVAMousePointersEnum : int32_t {
    dovaMousePointerDefault = 0,
    dovaMousePointerArrow = 1,
    dovaMousePointerCross = 2,
    dovaMousePointerIBeam = 3,
    dovaMousePointerIcon = 4,
    dovaMousePointerSize = 5,
    dovaMousePointerNESW = 6,
    dovaMousePointerNS = 7,
    dovaMousePointerNWSE = 8,
    dovaMousePointerWE = 9,
    dovaMousePointerUpArrow = 10,
    dovaMousePointerHourGlass = 11,
    dovaMousePointerNoDrop = 12,
    dovaMousePointerArrowGlass = 13,
    dovaMousePointerArrowQuestion = 14,
    dovaMousePointerSizeAll = 15,
    dovaMousePointerCustom = 99,
    dovaMousePointerNone = 200,
    dovaMousePointerSmallCircle = 201,
    dovaMousePointerSmallSquare = 202,
};

enum DOVAErrorsEnum : int32_t {
    dovaErrorNone = 0,
    dovaErrorSocketMin = 1,
    dovaErrorSocket = 1,
    dovaErrorSocketInit = 2,
    dovaErrorSocketCreate = 3,
    dovaErrorSocketNoAddress = 4,
    dovaErrorSocketConnect = 5,
    dovaErrorSocketClosed = 15,
    dovaErrorSocketAfterConnect = 240,
    dovaErrorSocketRead = 241,
    dovaErrorSocketWrite = 242,
    dovaErrorSocketMax = 255,
    dovaErrorConnectionMin = 256,
    dovaErrorConnecting = 256,
    dovaErrorConnectionMax = 511,
    dovaErrorHandshakeMin = 512,
    dovaErrorHandshake = 512,
    dovaErrorHandshakeAuth = 513,
    dovaErrorHandshakeTimeout = 514,   // the server stopped answering before the handshake ended
    dovaErrorEncryption = 520,         // TLS or the VeNCrypt negotiation failed
    dovaErrorEncryptionRequired = 521, // Encryption is dovaEncryptionRequire; the server offers none
    dovaErrorCertificateUnknown = 522, // nobody has confirmed this certificate yet (TrustCertificate)
    dovaErrorCertificateChanged = 523, // not the certificate remembered for this address: refused
    dovaErrorHandshakeMax = 767,
    dovaErrorProtocolMin = 1280,
    dovaErrorProtocolSync = 1298,
    dovaErrorProtocolMax = 4095,
    dovaErrorValidity = 4096,
};

enum DOVAWarningsEnum : int32_t {
    dovaWarningNone = 0,
    dovaWarningConnectionMin = 256,
    dovaWarningConnectionMax = 511,
    dovaWarningHandshakeMin = 512,
    dovaWarningHandshake = 512,
    dovaWarningHandshakeAuth = 513,
    dovaWarningHandshakeAuthCancelled = 767,
    dovaWarningHandshakeMax = 767,
    dovaWarningOtherMin = 20480,
    dovaWarningClipboard = 20480,
    dovaWarningOtherStart = 24576,
};

// The Encryption property.
enum DOVAEncryptionEnum : int32_t {
    dovaEncryptionOff = 0,     // never negotiated: the classic handshake, byte for byte
    dovaEncryptionPrefer = 1,  // VeNCrypt where the server offers it (3.7 or later), as before elsewhere
    dovaEncryptionRequire = 2, // a server offering no encryption is refused (dovaErrorEncryptionRequired)
};

// What lay behind a network error: the v1 argument of the Error event carries one of these as a
// 32-bit integer when the component knows it, and is missing otherwise.
enum DOVAErrorCausesEnum : int32_t {
    dovaCauseNone = 0,
    dovaCauseRefused = 1,     // nothing listens on the port
    dovaCauseUnreachable = 2, // no route, no answer, or the computer stopped answering
    dovaCauseSilent = 3,      // connected, but the server sent nothing in time
};

// ---- Value objects -------------------------------------------------------------------------------

struct VNCPoint {
    int32_t X = 0;
    int32_t Y = 0;
};

struct VNCRectangle {
    int32_t Left = 0;
    int32_t Right = 0;
    int32_t Top = 0;
    int32_t Bottom = 0;
    int32_t Width = 0;
    int32_t Height = 0;
};

using IVNCPoint = VNCPoint;
using IVNCRectangle = VNCRectangle;

// ---- Variant -------------------------------------------------------------------------------------

class VNCVariant;

// An object argument: the component reads its default member (as an automation object would).
class IVNCDefaultMember {
public:
    virtual ~IVNCDefaultMember() = default;
    virtual VNCVariant DefaultValue() const = 0;
};

// The component's variant. Missing is the state of an optional argument that was not given; it is
// distinct from every value (an empty text is a text).
class VNCVariant {
public:
    enum class Kind { Missing, Int16, Int32, Float, Double, Bool, Text, TextRef, Object };

    struct MissingTag {};

    VNCVariant() = default;
    VNCVariant(bool) = delete; // use Boolean(): automation booleans are -1 / 0
    VNCVariant(int16_t v) : Value(v) {}
    VNCVariant(int32_t v) : Value(v) {}
    VNCVariant(float v) : Value(v) {}
    VNCVariant(double v) : Value(v) {}
    VNCVariant(const QString& v) : Value(v) {}
    // A text passed by reference: the component reads (and, where a member says so, writes) it.
    VNCVariant(QString* v) : Value(v) {}
    // The object must outlive the call it is passed to.
    VNCVariant(const IVNCDefaultMember* v) : Value(v) {}

    static VNCVariant Missing() { return VNCVariant(); }
    static VNCVariant Boolean(bool v) {
        VNCVariant r;
        r.Value = BoolValue{v ? VNC_TRUE : VNC_FALSE};
        return r;
    }

    Kind Type() const { return Kind(Value.index()); }
    bool IsMissing() const { return Type() == Kind::Missing; }
    bool IsInteger() const { return Type() == Kind::Int16 || Type() == Kind::Int32; }
    bool IsText() const { return Type() == Kind::Text || Type() == Kind::TextRef; }

    // The value as a 32-bit integer (integers, booleans and reals truncated); 0 otherwise.
    int32_t ToInt32() const {
        switch (Type()) {
        case Kind::Int16:
            return std::get<int16_t>(Value);
        case Kind::Int32:
            return std::get<int32_t>(Value);
        case Kind::Float:
            return int32_t(std::get<float>(Value));
        case Kind::Double:
            return int32_t(std::get<double>(Value));
        case Kind::Bool:
            return std::get<BoolValue>(Value).Value;
        default:
            return 0;
        }
    }
    double ToDouble() const {
        switch (Type()) {
        case Kind::Float:
            return std::get<float>(Value);
        case Kind::Double:
            return std::get<double>(Value);
        default:
            return ToInt32();
        }
    }
    // The text of a text or text-by-reference value; an empty text otherwise.
    QString ToText() const {
        if (Type() == Kind::Text)
            return std::get<QString>(Value);
        if (Type() == Kind::TextRef && std::get<QString*>(Value))
            return *std::get<QString*>(Value);
        return QString();
    }
    QString* TextReference() const { return Type() == Kind::TextRef ? std::get<QString*>(Value) : nullptr; }
    const IVNCDefaultMember* Object() const {
        return Type() == Kind::Object ? std::get<const IVNCDefaultMember*>(Value) : nullptr;
    }

private:
    struct BoolValue {
        VNCBool Value;
    };
    std::variant<std::monostate, int16_t, int32_t, float, double, BoolValue, QString, QString*,
                 const IVNCDefaultMember*>
        Value;
};

// ---- Events --------------------------------------------------------------------------------------

// Event sink (_IVNCViewerEvents). Override what you need; the defaults do nothing. Arguments passed
// by reference may be changed by the host; the component reads them back after the call. A handler
// may call members of the viewer (Start from Connected, Stop from Error, ...).
class IVNCViewerEvents {
public:
    virtual ~IVNCViewerEvents() = default;

    virtual void Connected([[maybe_unused]] QString& ServerName) {}
    virtual void Disconnected() {}
    virtual void Password() {}
    virtual void ServerBell([[maybe_unused]] int32_t& Action) {}
    virtual void LocalClipboard([[maybe_unused]] int32_t DataType, [[maybe_unused]] VNCVariant& Data,
                                [[maybe_unused]] int32_t& Action) {}
    virtual void ServerClipboard([[maybe_unused]] int32_t DataType, [[maybe_unused]] VNCVariant& Data,
                                 [[maybe_unused]] int32_t& Action) {}
    virtual void BeforeKeyDown([[maybe_unused]] int32_t Modifiers, [[maybe_unused]] int32_t KeyCode,
                               [[maybe_unused]] int32_t& Action) {}
    virtual void BeforeKeyUp([[maybe_unused]] int32_t Modifiers, [[maybe_unused]] int32_t KeyCode,
                             [[maybe_unused]] int32_t& Action) {}
    virtual void BeforeMouseDown([[maybe_unused]] int32_t Buttons, [[maybe_unused]] int32_t Modifiers,
                                 [[maybe_unused]] int32_t X, [[maybe_unused]] int32_t Y,
                                 [[maybe_unused]] int32_t& Action) {}
    virtual void BeforeMouseUp([[maybe_unused]] int32_t Buttons, [[maybe_unused]] int32_t Modifiers,
                               [[maybe_unused]] int32_t X, [[maybe_unused]] int32_t Y,
                               [[maybe_unused]] int32_t& Action) {}
    virtual void BeforeMouseMove([[maybe_unused]] int32_t Buttons, [[maybe_unused]] int32_t Modifiers,
                                 [[maybe_unused]] int32_t X, [[maybe_unused]] int32_t Y,
                                 [[maybe_unused]] int32_t& Action) {}
    virtual void BeforeMouseWheel([[maybe_unused]] int32_t Buttons, [[maybe_unused]] int32_t Rotation,
                                  [[maybe_unused]] int32_t Modifiers, [[maybe_unused]] int32_t X,
                                  [[maybe_unused]] int32_t Y, [[maybe_unused]] int32_t& Action) {}
    virtual void ScreenEdgeDetected([[maybe_unused]] int32_t Edge) {}
    virtual void FrameEdgeDetected([[maybe_unused]] int32_t Edge) {}
    virtual void ViewEdgeDetected([[maybe_unused]] int32_t Edge) {}
    virtual void FrameUpdated([[maybe_unused]] int32_t X, [[maybe_unused]] int32_t Y,
                              [[maybe_unused]] int32_t W, [[maybe_unused]] int32_t H) {}
    virtual void CommandNotify([[maybe_unused]] const VNCVariant& v1, [[maybe_unused]] const VNCVariant& v2,
                               [[maybe_unused]] const VNCVariant& v3, [[maybe_unused]] const VNCVariant& v4) {
    }
    // v1: the cause (DOVAErrorCausesEnum) as an integer when known, otherwise missing.
    virtual void Error([[maybe_unused]] int32_t Number, [[maybe_unused]] QString& Message,
                       [[maybe_unused]] const VNCVariant& v1) {}
    virtual void Warning([[maybe_unused]] int32_t Number, [[maybe_unused]] QString& Message,
                         [[maybe_unused]] const VNCVariant& v1) {}
    virtual void DataTransfer([[maybe_unused]] int32_t TotalRead, [[maybe_unused]] int32_t TotalWritten) {}
    virtual void MouseTrap([[maybe_unused]] VNCBool Trapped) {}
};

// ---- The viewer ----------------------------------------------------------------------------------

class IVNCViewer {
public:
    virtual ~IVNCViewer() = default;

    // Event sinks, called in the order they were advised. Advising a sink twice has no effect.
    virtual VNCStatus Advise(IVNCViewerEvents* sink) = 0;
    virtual VNCStatus Unadvise(IVNCViewerEvents* sink) = 0;

    // Properties. get_X gives the value through its pointer; put_X sets it.
    virtual VNCStatus get_BackColor(uint32_t* value) = 0;
    virtual VNCStatus put_BackColor(uint32_t value) = 0;
    virtual VNCStatus get_ForeColor(uint32_t* value) = 0;
    virtual VNCStatus put_ForeColor(uint32_t value) = 0;
    virtual VNCStatus get_Enabled(VNCBool* value) = 0;
    virtual VNCStatus put_Enabled(VNCBool value) = 0;
    // The viewer's own widget.
    virtual VNCStatus get_Window(QWidget** value) = 0;
    virtual VNCStatus get_MouseIcon(QImage* value) = 0;
    virtual VNCStatus put_MouseIcon(const QImage& value) = 0;
    virtual VNCStatus putref_MouseIcon(const QImage& value) = 0;
    // A copy of the live framebuffer; a null image while no framebuffer exists.
    virtual VNCStatus get_Picture(QImage* value) = 0;
    virtual VNCStatus get_MousePointer(int32_t* value) = 0;
    virtual VNCStatus put_MousePointer(int32_t value) = 0;
    virtual VNCStatus get_Server(QString* value) = 0;
    virtual VNCStatus put_Server(const QString& value) = 0; // "host", "host:1", "host:D1", "host:P80"
    virtual VNCStatus get_Password(QString* value) = 0;
    virtual VNCStatus put_Password(const QString& value) = 0;
    virtual VNCStatus get_Port(int32_t* value) = 0;
    virtual VNCStatus put_Port(int32_t value) = 0;
    virtual VNCStatus get_Display(int32_t* value) = 0;
    virtual VNCStatus put_Display(int32_t value) = 0;
    virtual VNCStatus get_Shared(VNCBool* value) = 0;
    virtual VNCStatus put_Shared(VNCBool value) = 0;
    virtual VNCStatus get_ServerAddress(QString* value) = 0;
    virtual VNCStatus put_ServerAddress(const QString& value) = 0;
    virtual VNCStatus get_ServerName(QString* value) = 0;
    virtual VNCStatus get_State(int32_t* value) = 0;
    virtual VNCStatus get_FrameWidth(int32_t* value) = 0;
    virtual VNCStatus get_FrameHeight(int32_t* value) = 0;
    virtual VNCStatus get_RelayKeys(VNCBool* value) = 0;
    virtual VNCStatus put_RelayKeys(VNCBool value) = 0;
    virtual VNCStatus get_RelayMouse(VNCBool* value) = 0;
    virtual VNCStatus put_RelayMouse(VNCBool value) = 0;
    virtual VNCStatus get_RelayLocalClipboard(VNCBool* value) = 0;
    virtual VNCStatus put_RelayLocalClipboard(VNCBool value) = 0;
    virtual VNCStatus get_RelayServerClipboard(VNCBool* value) = 0;
    virtual VNCStatus put_RelayServerClipboard(VNCBool value) = 0;
    virtual VNCStatus get_ScreenEdgeDelay(int32_t* value) = 0;
    virtual VNCStatus put_ScreenEdgeDelay(int32_t value) = 0;
    virtual VNCStatus get_EnableBell(VNCBool* value) = 0;
    virtual VNCStatus put_EnableBell(VNCBool value) = 0;
    // Index outside 0..15: ignored (the getter leaves *value untouched).
    virtual VNCStatus get_Codecs(int32_t Index, int32_t* value) = 0;
    virtual VNCStatus put_Codecs(int32_t Index, int32_t value) = 0;
    virtual VNCStatus get_MousePosX(int32_t* value) = 0;
    virtual VNCStatus get_MousePosY(int32_t* value) = 0;
    virtual VNCStatus get_MousePosFrameX(int32_t* value) = 0;
    virtual VNCStatus get_MousePosFrameY(int32_t* value) = 0;
    virtual VNCStatus get_RequestFrames(VNCBool* value) = 0;
    virtual VNCStatus put_RequestFrames(VNCBool value) = 0;
    virtual VNCStatus get_ScreenHeight(int32_t* value) = 0;
    virtual VNCStatus get_ScreenWidth(int32_t* value) = 0;
    virtual VNCStatus get_ScreenBitsPerPixel(int32_t* value) = 0;
    virtual VNCStatus get_FrameUpdateDelay(int32_t* value) = 0;
    virtual VNCStatus put_FrameUpdateDelay(int32_t value) = 0;
    virtual VNCStatus get_PrimaryCodec(int32_t* value) = 0;
    virtual VNCStatus put_PrimaryCodec(int32_t value) = 0;
    virtual VNCStatus get_Scrollbars(int32_t* value) = 0;
    virtual VNCStatus put_Scrollbars(int32_t value) = 0;
    virtual VNCStatus get_Stretch(VNCBool* value) = 0;
    virtual VNCStatus put_Stretch(VNCBool value) = 0;
    virtual VNCStatus get_StretchMode(int32_t* value) = 0;
    virtual VNCStatus put_StretchMode(int32_t value) = 0;
    virtual VNCStatus get_ProgressiveDrawing(VNCBool* value) = 0;
    virtual VNCStatus put_ProgressiveDrawing(VNCBool value) = 0;
    virtual VNCStatus get_AutoScroll(VNCBool* value) = 0;
    virtual VNCStatus put_AutoScroll(VNCBool value) = 0;
    virtual VNCStatus get_AutoScrollDelay(int32_t* value) = 0;
    virtual VNCStatus put_AutoScrollDelay(int32_t value) = 0;
    virtual VNCStatus get_AutoScrollBand(int32_t* value) = 0;
    virtual VNCStatus put_AutoScrollBand(int32_t value) = 0;
    virtual VNCStatus get_BitsPerPixel(int16_t* value) = 0;
    virtual VNCStatus put_BitsPerPixel(int16_t value) = 0;
    virtual VNCStatus get_ServerVersion(QString* value) = 0;
    virtual VNCStatus get_StretchedWidth(int32_t* value) = 0;
    virtual VNCStatus get_StretchedHeight(int32_t* value) = 0;
    virtual VNCStatus get_ViewWidth(int32_t* value) = 0;
    virtual VNCStatus get_ViewHeight(int32_t* value) = 0;
    virtual VNCStatus get_ViewLeft(int32_t* value) = 0;
    virtual VNCStatus get_ViewTop(int32_t* value) = 0;
    virtual VNCStatus get_ViewRight(int32_t* value) = 0;
    virtual VNCStatus get_ViewBottom(int32_t* value) = 0;
    virtual VNCStatus get_ViewRectangle(VNCRectangle* value) = 0;
    virtual VNCStatus get_Draw(VNCBool* value) = 0;
    virtual VNCStatus put_Draw(VNCBool value) = 0;
    virtual VNCStatus get_FireFrameUpdates(VNCBool* value) = 0;
    virtual VNCStatus put_FireFrameUpdates(VNCBool value) = 0;
    virtual VNCStatus get_FireDataTransfers(VNCBool* value) = 0;
    virtual VNCStatus put_FireDataTransfers(VNCBool value) = 0;
    virtual VNCStatus get_MouseTrap(VNCBool* value) = 0;
    virtual VNCStatus put_MouseTrap(VNCBool value) = 0;
    virtual VNCStatus get_MouseTrapModifers(int32_t* value) = 0;
    virtual VNCStatus put_MouseTrapModifers(int32_t value) = 0;
    virtual VNCStatus get_Alignment(int32_t* value) = 0;
    virtual VNCStatus put_Alignment(int32_t value) = 0;
    // An opaque non-zero token while the window exists, else 0.
    virtual VNCStatus get_hDC(uint32_t* value) = 0;
    virtual VNCStatus get_ScrollPosH(int32_t* value) = 0;
    virtual VNCStatus get_ScrollPosV(int32_t* value) = 0;
    // Accepted and ignored: the setter stores nothing, the getter leaves *value untouched.
    virtual VNCStatus get_ViewEdgeDelay(int32_t* value) = 0;
    virtual VNCStatus put_ViewEdgeDelay(int32_t value) = 0;
    virtual VNCStatus get_FrameEdgeDelay(int32_t* value) = 0;
    virtual VNCStatus put_FrameEdgeDelay(int32_t value) = 0;
    virtual VNCStatus get_ServerClipboard(VNCVariant* value) = 0;
    virtual VNCStatus put_ServerClipboard(const VNCVariant& value) = 0;
    virtual VNCStatus get_LocalClipboard(VNCVariant* value) = 0;
    virtual VNCStatus put_LocalClipboard(const VNCVariant& value) = 0;

    // Methods. Optional arguments have their documented defaults; VNCVariant() is "missing".
    // Connect only starts the attempt: success arrives as Connected, failure as Error.
    virtual VNCStatus Connect(const VNCVariant& Server = VNCVariant(), const VNCVariant& Port = VNCVariant(),
                              const VNCVariant& Password = VNCVariant(),
                              const VNCVariant& Flags = VNCVariant(), VNCVariant* retVal = nullptr) = 0;
    // Valid only in state connected (typically called from the Connected event).
    virtual VNCStatus Start(VNCVariant* retVal = nullptr) = 0;
    virtual VNCStatus Stop(VNCVariant* retVal = nullptr) = 0;
    virtual VNCStatus Disconnect(VNCVariant* retVal = nullptr) = 0;
    virtual VNCStatus SendKeyDown(int32_t KeyCode, int32_t Modifier = dovaModifierNone,
                                  VNCVariant* retVal = nullptr) = 0;
    virtual VNCStatus SendKeyUp(int32_t KeyCode, int32_t Modifier = dovaModifierNone,
                                VNCVariant* retVal = nullptr) = 0;
    virtual VNCStatus SendKeyPress(int32_t KeyCode, int32_t Repeat = 1,
                                   int32_t Modifiers = dovaModifierCurrent, VNCVariant* retVal = nullptr) = 0;
    virtual VNCStatus SendMouseDown(int32_t Buttons = dovaButtonCurrent,
                                    int32_t Modifiers = dovaModifierCurrent,
                                    const VNCVariant& X = VNCVariant(), const VNCVariant& Y = VNCVariant(),
                                    VNCVariant* retVal = nullptr) = 0;
    virtual VNCStatus SendMouseUp(int32_t Buttons = dovaButtonCurrent,
                                  int32_t Modifiers = dovaModifierCurrent, const VNCVariant& X = VNCVariant(),
                                  const VNCVariant& Y = VNCVariant(), VNCVariant* retVal = nullptr) = 0;
    virtual VNCStatus SendMouseMove(int32_t Buttons = dovaButtonCurrent,
                                    int32_t Modifiers = dovaModifierCurrent,
                                    const VNCVariant& X = VNCVariant(), const VNCVariant& Y = VNCVariant(),
                                    VNCVariant* retVal = nullptr) = 0;
    virtual VNCStatus SendMouseClick(int32_t Buttons = dovaButtonCurrent, int32_t Repeat = 1,
                                     int32_t Modifiers = dovaModifierCurrent,
                                     const VNCVariant& X = VNCVariant(), const VNCVariant& Y = VNCVariant(),
                                     VNCVariant* retVal = nullptr) = 0;
    virtual VNCStatus SendClipboard(int32_t DataType, const VNCVariant& Data = VNCVariant(),
                                    VNCVariant* retVal = nullptr) = 0;
    virtual VNCStatus Refresh(int32_t X = 0, int32_t Y = 0, int32_t W = 0, int32_t H = 0,
                              VNCVariant* retVal = nullptr) = 0;
    // retVal is required here: a null retVal gives VNC_E_INVALIDARG.
    virtual VNCStatus RefreshRectangle(const VNCRectangle& Rectangle, VNCVariant* retVal) = 0;
    virtual VNCStatus ChangeDisplaySettings(int32_t W = 0, int32_t H = 0, int32_t BitsPerPixel = 0,
                                            int32_t Frequency = 0, int32_t Flags = 0, int32_t Display = -1,
                                            VNCVariant* retVal = nullptr) = 0;
    // Keyword commands; always 0.
    virtual VNCStatus Command(const VNCVariant& v1 = VNCVariant(), const VNCVariant& v2 = VNCVariant(),
                              const VNCVariant& v3 = VNCVariant(), const VNCVariant& v4 = VNCVariant(),
                              VNCVariant* retVal = nullptr) = 0;
    // Platform button mask to DOVAButtonsEnum: bit 1 (right) -> 4, bit 2 (middle) -> 2.
    virtual VNCStatus TranslateButtons(int32_t Buttons, int32_t* value) = 0;
    virtual VNCStatus AboutBox() = 0;
    virtual VNCStatus IsConnected(VNCBool* value) = 0;
    // Both above 0: set the ratio. Always gives the ratio in force (X numerator, Y denominator).
    virtual VNCStatus StretchX(int32_t Numerator = 0, int32_t Denominator = 0, VNCPoint* value = nullptr) = 0;
    virtual VNCStatus StretchY(int32_t Numerator = 0, int32_t Denominator = 0, VNCPoint* value = nullptr) = 0;
    virtual VNCStatus Scroll(int32_t H, int32_t V, VNCVariant* retVal = nullptr) = 0;
    // Keyed text transformation for hosts that store passwords; Decrypt inverts Encrypt under the
    // same key. A key shorter than 8 characters gives the data back unchanged.
    virtual VNCStatus Encrypt(const QString& Data, const QString& Key, QString* value) = 0;
    virtual VNCStatus Decrypt(const QString& Data, const QString& Key, QString* value) = 0;

    // ---- Interface 1.1: saved properties and property browsing ----------------------------------

    // The saved properties, in this order: _cx, _cy (the widget's size in pixels), BackColor,
    // ForeColor, Enabled, MouseIcon, Server, Password, Port, Display, Shared, RelayKeys, RelayMouse,
    // RelayLocalClipboard, RelayServerClipboard, ScreenEdgeDelay, EnableBell, FrameUpdateDelay,
    // Scrollbars, MousePointer, PrimaryCodec, ProgressiveDrawing, AutoScroll, AutoScrollBand,
    // AutoScrollDelay, BitsPerPixel, Stretch, StretchMode, Draw, FireFrameUpdates, FireDataTransfers,
    // MouseTrap, MouseTrapModifiers, QualityLevel, CompressLevel.
    //
    // Text form (UTF-8 when written to a file): a first line "DOVA properties 1", then one line
    // "Name=Value" per entry, lines ending in LF. Numbers and colours are decimal, booleans -1 or 0,
    // texts percent-encoded (so '=', '%' and line ends are safe; the password is stored as it is),
    // MouseIcon a base64 PNG or empty.
    virtual VNCStatus SaveProperties(QString* text) = 0;
    // Applies saved properties through the setters, in the order above (so Display, after Port,
    // wins). Unknown names are skipped; entries not present keep their values. VNC_E_INVALIDARG when
    // the first line is not the header.
    virtual VNCStatus LoadProperties(const QString& text) = 0;

    // Property browsing for design tools, by dispatch identifier. The text shown for the current
    // value ("******" for Password; VNC_E_NOTIMPL for properties without texts).
    virtual VNCStatus GetDisplayString(int32_t dispid, QString* text) = 0;
    // The predefined texts and their cookies (the positions 0, 1, 2, ...); empty lists for
    // properties without predefined values.
    virtual VNCStatus GetPredefinedStrings(int32_t dispid, QStringList* texts, QList<int32_t>* cookies) = 0;
    // The value behind a cookie (a 32-bit integer); VNC_E_NOTIMPL for other properties or cookies.
    virtual VNCStatus GetPredefinedValue(int32_t dispid, int32_t cookie, VNCVariant* value) = 0;
    // The property page for a property: "Colour" (BackColor, ForeColor), "Picture" (MouseIcon) or an
    // empty name; VNC_E_NOTIMPL where the value is edited in place (dispids 0..6553 whose value is a
    // text or an integer, saved or not); VNC_E_INVALIDARG for other properties that are not saved.
    virtual VNCStatus MapPropertyToPage(int32_t dispid, QString* page) = 0;

    // ---- Interface 1.2: Tight's levels ----------------------------------------------------------

    // JPEG quality for Tight (dovaCodecTight), 0 (smallest) to 9 (best), or -1 (the default): no
    // quality is asked for, and servers then send no JPEG, only lossless data. Other values are
    // ignored. While Tight or ZRLE is among the Codecs, BitsPerPixel 32 asks the server for depth 24,
    // the format servers send JPEG and three-byte pixels in. During a session a change is announced at
    // the end of the next update. Saved as "QualityLevel" (dispatch identifier 129).
    virtual VNCStatus get_QualityLevel(int32_t* value) = 0;
    virtual VNCStatus put_QualityLevel(int32_t value) = 0;
    // Tight's zlib level, 0 (fastest) to 9 (smallest), or -1 (the default: the server chooses).
    // Other values are ignored. Saved as "CompressLevel" (dispatch identifier 130).
    virtual VNCStatus get_CompressLevel(int32_t* value) = 0;
    virtual VNCStatus put_CompressLevel(int32_t value) = 0;

    // ---- Interface 1.2: encryption (after Tight's levels)
    // ---------------------------------------------------------------
    //
    // Encryption (DOVAEncryptionEnum, default dovaEncryptionOff) and UserName are saved after
    // QualityLevel and CompressLevel, in that order. Under Prefer and Require the viewer answers a server
    // of 3.7 or later in its own version and, when it offers VeNCrypt (type 19), chooses the
    // strongest subtype: X509 (certificate) over TLS (anonymous: encrypted, the server unverified);
    // Plain subtypes only with a UserName, and Plain credentials never outside TLS. Everything after
    // the security handshake then travels inside TLS. A stream-coding plug-in is never used on an
    // encrypted connection (the viewer does not ask for it and refuses a server that starts it).
    //
    // Certificates: the chain and host name are checked against the system's authorities and
    // CertificateAuthorities (a PEM file, optional). Otherwise the certificate's SHA-256 fingerprint
    // is looked up in KnownCertificates (a file of "host:port SHA256:hex" lines, 0600; empty: none):
    // a remembered one connects; another one is refused with dovaErrorCertificateChanged; an unknown
    // one with dovaErrorCertificateUnknown, its fingerprint in the message and in
    // CertificateFingerprint, until the host calls TrustCertificate and connects again.
    virtual VNCStatus get_Encryption(int32_t* value) = 0;
    virtual VNCStatus put_Encryption(int32_t value) = 0; // other values: VNC_E_INVALIDARG
    virtual VNCStatus get_UserName(QString* value) = 0;
    virtual VNCStatus put_UserName(const QString& value) = 0;
    virtual VNCStatus get_KnownCertificates(QString* value) = 0;
    virtual VNCStatus put_KnownCertificates(const QString& value) = 0;
    virtual VNCStatus get_CertificateAuthorities(QString* value) = 0;
    virtual VNCStatus put_CertificateAuthorities(const QString& value) = 0;
    // The connection's security as text, e.g. "VeNCrypt X509Vnc, TLS1.3, AES-256-GCM, certificate
    // verified by pin SHA256:..." or "VNC authentication (not encrypted)"; empty before a handshake.
    virtual VNCStatus get_Security(QString* value) = 0;
    virtual VNCStatus get_Encrypted(VNCBool* value) = 0;
    // True when the server's certificate was verified by an authority or a remembered fingerprint.
    virtual VNCStatus get_ServerVerified(VNCBool* value) = 0;
    // "SHA256:" and 64 hex digits: the certificate the server last showed; empty when none.
    virtual VNCStatus get_CertificateFingerprint(QString* value) = 0;
    // Trusts the fingerprint for the server now set: remembered in KnownCertificates (retVal -1 when
    // that cannot be written or is not set), or only for this viewer's later connections. Takes
    // effect at the next Connect.
    virtual VNCStatus TrustCertificate(const QString& Fingerprint, VNCBool Remember,
                                       VNCVariant* retVal = nullptr) = 0;

    // ---- Interface 1.3: a thumbnail's frame ---------------------------------------------------------

    // True: while Stretch shows the screen at half its size or less, the viewer keeps its copy of the
    // screen reduced by 2, 4 or 8 (the largest that is still no smaller than the stretched image),
    // each kept pixel the average of the remote pixels it stands for. Memory and decoding shrink with
    // it (Tight's JPEG images are decompressed at the reduced size); the stretched image looks the
    // same. Picture then gives the reduced picture. A change takes effect at the start of the next
    // update, and the update after it shows the whole screen again. Default false; not saved.
    virtual VNCStatus get_ReducedFrame(VNCBool* value) = 0;
    virtual VNCStatus put_ReducedFrame(VNCBool value) = 0;
};

} // namespace dova

// The one exported symbol of libdova.so. hostInterfaceVersion is DOVA_INTERFACE_VERSION as the host
// saw it when it was built. On success returns the new viewer (its widget a child of parent) and sets
// *message to nullptr; when the library cannot serve that version it creates nothing, returns nullptr
// and points *message (if message is not null) at a static explanation owned by the library.
#define DOVA_ENTRY_POINT_NAME "DovaCreateViewer"
extern "C" dova::IVNCViewer* DovaCreateViewer(uint32_t hostInterfaceVersion, QWidget* parent,
                                              const char** message);
using DovaCreateViewerFunction = dova::IVNCViewer* (*)(uint32_t hostInterfaceVersion, QWidget* parent,
                                                       const char** message);
