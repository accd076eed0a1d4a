#pragma once
// A stand-in for the viewer control: records what its host asks of it and raises events on demand.
// The members the application does not use simply answer "done".

#include "IVNCViewer.h"

#include <QStringList>
#include <QWidget>

#include <vector>

class FakeViewer : public QWidget, public dova::IVNCViewer {
public:
    using VNCStatus = dova::VNCStatus;
    using VNCBool = dova::VNCBool;
    using VNCVariant = dova::VNCVariant;
    using VNCPoint = dova::VNCPoint;
    using VNCRectangle = dova::VNCRectangle;
    using IVNCViewerEvents = dova::IVNCViewerEvents;
    static constexpr VNCStatus VNC_S_OK = dova::VNC_S_OK;

    explicit FakeViewer(QWidget* parent) : QWidget(parent) { Created().push_back(this); }
    ~FakeViewer() override {
        Log() << QStringLiteral("destroyed");
        std::erase(Created(), this);
    }

    // Every call the host made, across all fakes, in order.
    static QStringList& Log() {
        static QStringList log;
        return log;
    }
    static std::vector<FakeViewer*>& Created() {
        static std::vector<FakeViewer*> created;
        return created;
    }

    void RaiseConnected(int frameWidth, int frameHeight) {
        FState = dova::dovaStateConnected;
        FFrameWidth = frameWidth;
        FFrameHeight = frameHeight;
        QString name = QStringLiteral("desk");
        for (IVNCViewerEvents* s : std::vector<IVNCViewerEvents*>(FSinks))
            s->Connected(name);
    }
    // The server's screen changed resolution while connected (the viewer raises no event for it).
    void ChangeFrameSize(int frameWidth, int frameHeight) {
        FFrameWidth = frameWidth;
        FFrameHeight = frameHeight;
    }
    void RaiseError(const QString& text, int32_t number = dova::dovaErrorSocketConnect,
                    const VNCVariant& cause = VNCVariant()) {
        QString message = text;
        for (IVNCViewerEvents* s : std::vector<IVNCViewerEvents*>(FSinks))
            s->Error(number, message, cause);
        FState = dova::dovaStateNotConnected;
    }

    int32_t Port = 5900;
    QString Server;
    QString Password;
    VNCPoint RatioX{1, 1};
    VNCPoint RatioY{1, 1};
    VNCBool StretchValue = 0;
    int16_t Bpp = 32;
    int32_t Delay = 0;
    int32_t ScrollbarsValue = 3;
    std::vector<int32_t> CodecSlots{1, 1, 5, 0, 4, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};

    VNCStatus Advise(IVNCViewerEvents* sink) override {
        FSinks.push_back(sink);
        return VNC_S_OK;
    }
    VNCStatus Unadvise(IVNCViewerEvents* sink) override {
        std::erase(FSinks, sink);
        return VNC_S_OK;
    }
    VNCStatus get_Window(QWidget** value) override {
        *value = this;
        return VNC_S_OK;
    }
    VNCStatus get_Stretch(VNCBool* v) override {
        *v = StretchValue;
        return VNC_S_OK;
    }
    VNCStatus put_Stretch(VNCBool v) override {
        Log() << QStringLiteral("Stretch=%1").arg(v);
        StretchValue = v;
        return VNC_S_OK;
    }
    VNCStatus get_BitsPerPixel(int16_t* v) override {
        *v = Bpp;
        return VNC_S_OK;
    }
    VNCStatus put_BitsPerPixel(int16_t v) override {
        Log() << QStringLiteral("BitsPerPixel=%1").arg(v);
        Bpp = v;
        return VNC_S_OK;
    }
    VNCStatus get_FrameUpdateDelay(int32_t* v) override {
        *v = Delay;
        return VNC_S_OK;
    }
    VNCStatus put_FrameUpdateDelay(int32_t v) override {
        Log() << QStringLiteral("FrameUpdateDelay=%1").arg(v);
        Delay = v;
        return VNC_S_OK;
    }
    VNCStatus get_Scrollbars(int32_t* v) override {
        *v = ScrollbarsValue;
        return VNC_S_OK;
    }
    VNCStatus put_Scrollbars(int32_t v) override {
        Log() << QStringLiteral("Scrollbars=%1").arg(v);
        ScrollbarsValue = v;
        return VNC_S_OK;
    }
    VNCStatus get_Port(int32_t* v) override {
        *v = Port;
        return VNC_S_OK;
    }
    VNCStatus put_Port(int32_t v) override {
        Port = v;
        return VNC_S_OK;
    }
    VNCStatus get_Server(QString* v) override {
        *v = Server;
        return VNC_S_OK;
    }
    VNCStatus get_Password(QString* v) override {
        *v = Password;
        return VNC_S_OK;
    }
    VNCStatus get_State(int32_t* v) override {
        *v = FState;
        return VNC_S_OK;
    }
    VNCStatus get_FrameWidth(int32_t* v) override {
        *v = FState ? FFrameWidth : 0;
        return VNC_S_OK;
    }
    VNCStatus get_FrameHeight(int32_t* v) override {
        *v = FState ? FFrameHeight : 0;
        return VNC_S_OK;
    }
    VNCStatus Connect(const VNCVariant& server, const VNCVariant& port, const VNCVariant& password,
                      const VNCVariant& flags, VNCVariant* retVal) override {
        FState = dova::dovaStateNotConnected;
        if (server.IsText())
            Server = server.ToText();
        if (password.IsText())
            Password = password.ToText();
        if (port.IsInteger())
            Port = port.ToInt32();
        Log() << QStringLiteral("Connect(%1,%2,%3,%4)")
                     .arg(server.IsMissing() ? QStringLiteral("-") : server.ToText(),
                          port.IsMissing() ? QStringLiteral("-") : QString::number(port.ToInt32()),
                          password.IsMissing() ? QStringLiteral("-") : password.ToText(),
                          flags.IsMissing() ? QStringLiteral("-") : QString::number(flags.ToInt32()));
        if (retVal)
            *retVal = VNCVariant(int32_t(Server.isEmpty() ? -1 : 0));
        return VNC_S_OK;
    }
    VNCStatus Start(VNCVariant* retVal) override {
        Log() << QStringLiteral("Start");
        const bool ok = FState == dova::dovaStateConnected;
        if (ok)
            FState = dova::dovaStateDispatching;
        if (retVal)
            *retVal = VNCVariant(int32_t(ok ? 0 : -1));
        return VNC_S_OK;
    }
    VNCStatus Stop(VNCVariant* retVal) override {
        Log() << QStringLiteral("Stop");
        FState = dova::dovaStateNotConnected;
        if (retVal)
            *retVal = VNCVariant(int32_t(0));
        return VNC_S_OK;
    }
    VNCStatus Disconnect(VNCVariant* retVal) override {
        Log() << QStringLiteral("Disconnect");
        FState = dova::dovaStateNotConnected;
        if (retVal)
            *retVal = VNCVariant(int32_t(0));
        return VNC_S_OK;
    }
    VNCStatus IsConnected(VNCBool* v) override {
        *v = (FState & 0xF0000) ? dova::VNC_TRUE : dova::VNC_FALSE;
        return VNC_S_OK;
    }
    VNCStatus StretchX(int32_t n, int32_t d, VNCPoint* v) override {
        if (n > 0 && d > 0) {
            Log() << QStringLiteral("StretchX=%1/%2").arg(n).arg(d);
            RatioX = VNCPoint{n, d};
        }
        *v = RatioX;
        return VNC_S_OK;
    }
    VNCStatus StretchY(int32_t n, int32_t d, VNCPoint* v) override {
        if (n > 0 && d > 0)
            RatioY = VNCPoint{n, d};
        *v = RatioY;
        return VNC_S_OK;
    }

    VNCStatus get_BackColor(uint32_t*) override { return VNC_S_OK; }
    VNCStatus put_BackColor(uint32_t) override { return VNC_S_OK; }
    VNCStatus get_ForeColor(uint32_t*) override { return VNC_S_OK; }
    VNCStatus put_ForeColor(uint32_t) override { return VNC_S_OK; }
    VNCStatus get_Enabled(VNCBool*) override { return VNC_S_OK; }
    VNCStatus put_Enabled(VNCBool) override { return VNC_S_OK; }
    VNCStatus get_MouseIcon(QImage*) override { return VNC_S_OK; }
    VNCStatus put_MouseIcon(const QImage&) override { return VNC_S_OK; }
    VNCStatus putref_MouseIcon(const QImage&) override { return VNC_S_OK; }
    VNCStatus get_Picture(QImage*) override { return VNC_S_OK; }
    VNCStatus get_MousePointer(int32_t*) override { return VNC_S_OK; }
    VNCStatus put_MousePointer(int32_t) override { return VNC_S_OK; }
    VNCStatus put_Server(const QString&) override { return VNC_S_OK; }
    VNCStatus put_Password(const QString&) override { return VNC_S_OK; }
    VNCStatus get_Display(int32_t*) override { return VNC_S_OK; }
    VNCStatus put_Display(int32_t) override { return VNC_S_OK; }
    VNCStatus get_Shared(VNCBool*) override { return VNC_S_OK; }
    VNCStatus put_Shared(VNCBool) override { return VNC_S_OK; }
    VNCStatus get_ServerAddress(QString*) override { return VNC_S_OK; }
    VNCStatus put_ServerAddress(const QString&) override { return VNC_S_OK; }
    VNCStatus get_ServerName(QString*) override { return VNC_S_OK; }
    VNCStatus get_RelayKeys(VNCBool*) override { return VNC_S_OK; }
    VNCStatus put_RelayKeys(VNCBool) override { return VNC_S_OK; }
    VNCStatus get_RelayMouse(VNCBool*) override { return VNC_S_OK; }
    VNCStatus put_RelayMouse(VNCBool) override { return VNC_S_OK; }
    VNCStatus get_RelayLocalClipboard(VNCBool*) override { return VNC_S_OK; }
    VNCStatus put_RelayLocalClipboard(VNCBool) override { return VNC_S_OK; }
    VNCStatus get_RelayServerClipboard(VNCBool*) override { return VNC_S_OK; }
    VNCStatus put_RelayServerClipboard(VNCBool) override { return VNC_S_OK; }
    VNCStatus get_ScreenEdgeDelay(int32_t*) override { return VNC_S_OK; }
    VNCStatus put_ScreenEdgeDelay(int32_t) override { return VNC_S_OK; }
    VNCStatus get_EnableBell(VNCBool*) override { return VNC_S_OK; }
    VNCStatus put_EnableBell(VNCBool) override { return VNC_S_OK; }
    VNCStatus get_Codecs(int32_t index, int32_t* value) override {
        if (index >= 0 && index < int32_t(CodecSlots.size()))
            *value = CodecSlots[size_t(index)];
        return VNC_S_OK;
    }
    VNCStatus put_Codecs(int32_t index, int32_t value) override {
        if (index >= 0 && index < int32_t(CodecSlots.size()))
            CodecSlots[size_t(index)] = value;
        return VNC_S_OK;
    }
    VNCStatus get_MousePosX(int32_t*) override { return VNC_S_OK; }
    VNCStatus get_MousePosY(int32_t*) override { return VNC_S_OK; }
    VNCStatus get_MousePosFrameX(int32_t*) override { return VNC_S_OK; }
    VNCStatus get_MousePosFrameY(int32_t*) override { return VNC_S_OK; }
    VNCStatus get_RequestFrames(VNCBool*) override { return VNC_S_OK; }
    VNCStatus put_RequestFrames(VNCBool) override { return VNC_S_OK; }
    VNCStatus get_ScreenHeight(int32_t*) override { return VNC_S_OK; }
    VNCStatus get_ScreenWidth(int32_t*) override { return VNC_S_OK; }
    VNCStatus get_ScreenBitsPerPixel(int32_t*) override { return VNC_S_OK; }
    VNCStatus get_PrimaryCodec(int32_t*) override { return VNC_S_OK; }
    VNCStatus put_PrimaryCodec(int32_t) override { return VNC_S_OK; }
    VNCStatus get_StretchMode(int32_t*) override { return VNC_S_OK; }
    VNCStatus put_StretchMode(int32_t) override { return VNC_S_OK; }
    VNCStatus get_ProgressiveDrawing(VNCBool*) override { return VNC_S_OK; }
    VNCStatus put_ProgressiveDrawing(VNCBool) override { return VNC_S_OK; }
    VNCStatus get_AutoScroll(VNCBool*) override { return VNC_S_OK; }
    VNCStatus put_AutoScroll(VNCBool) override { return VNC_S_OK; }
    VNCStatus get_AutoScrollDelay(int32_t*) override { return VNC_S_OK; }
    VNCStatus put_AutoScrollDelay(int32_t) override { return VNC_S_OK; }
    VNCStatus get_AutoScrollBand(int32_t*) override { return VNC_S_OK; }
    VNCStatus put_AutoScrollBand(int32_t) override { return VNC_S_OK; }
    VNCStatus get_ServerVersion(QString*) override { return VNC_S_OK; }
    VNCStatus get_StretchedWidth(int32_t*) override { return VNC_S_OK; }
    VNCStatus get_StretchedHeight(int32_t*) override { return VNC_S_OK; }
    VNCStatus get_ViewWidth(int32_t*) override { return VNC_S_OK; }
    VNCStatus get_ViewHeight(int32_t*) override { return VNC_S_OK; }
    VNCStatus get_ViewLeft(int32_t*) override { return VNC_S_OK; }
    VNCStatus get_ViewTop(int32_t*) override { return VNC_S_OK; }
    VNCStatus get_ViewRight(int32_t*) override { return VNC_S_OK; }
    VNCStatus get_ViewBottom(int32_t*) override { return VNC_S_OK; }
    VNCStatus get_ViewRectangle(VNCRectangle*) override { return VNC_S_OK; }
    VNCStatus get_Draw(VNCBool*) override { return VNC_S_OK; }
    VNCStatus put_Draw(VNCBool) override { return VNC_S_OK; }
    VNCStatus get_FireFrameUpdates(VNCBool*) override { return VNC_S_OK; }
    VNCStatus put_FireFrameUpdates(VNCBool) override { return VNC_S_OK; }
    VNCStatus get_FireDataTransfers(VNCBool*) override { return VNC_S_OK; }
    VNCStatus put_FireDataTransfers(VNCBool) override { return VNC_S_OK; }
    VNCStatus get_MouseTrap(VNCBool*) override { return VNC_S_OK; }
    VNCStatus put_MouseTrap(VNCBool) override { return VNC_S_OK; }
    VNCStatus get_MouseTrapModifers(int32_t*) override { return VNC_S_OK; }
    VNCStatus put_MouseTrapModifers(int32_t) override { return VNC_S_OK; }
    VNCStatus get_Alignment(int32_t*) override { return VNC_S_OK; }
    VNCStatus put_Alignment(int32_t) override { return VNC_S_OK; }
    VNCStatus get_hDC(uint32_t*) override { return VNC_S_OK; }
    VNCStatus get_ScrollPosH(int32_t*) override { return VNC_S_OK; }
    VNCStatus get_ScrollPosV(int32_t*) override { return VNC_S_OK; }
    VNCStatus get_ViewEdgeDelay(int32_t*) override { return VNC_S_OK; }
    VNCStatus put_ViewEdgeDelay(int32_t) override { return VNC_S_OK; }
    VNCStatus get_FrameEdgeDelay(int32_t*) override { return VNC_S_OK; }
    VNCStatus put_FrameEdgeDelay(int32_t) override { return VNC_S_OK; }
    VNCStatus get_ServerClipboard(VNCVariant*) override { return VNC_S_OK; }
    VNCStatus put_ServerClipboard(const VNCVariant&) override { return VNC_S_OK; }
    VNCStatus get_LocalClipboard(VNCVariant*) override { return VNC_S_OK; }
    VNCStatus put_LocalClipboard(const VNCVariant&) override { return VNC_S_OK; }
    VNCStatus SendKeyDown(int32_t, int32_t, VNCVariant*) override { return VNC_S_OK; }
    VNCStatus SendKeyUp(int32_t, int32_t, VNCVariant*) override { return VNC_S_OK; }
    VNCStatus SendKeyPress(int32_t, int32_t, int32_t, VNCVariant*) override { return VNC_S_OK; }
    VNCStatus SendMouseDown(int32_t, int32_t, const VNCVariant&, const VNCVariant&, VNCVariant*) override {
        return VNC_S_OK;
    }
    VNCStatus SendMouseUp(int32_t, int32_t, const VNCVariant&, const VNCVariant&, VNCVariant*) override {
        return VNC_S_OK;
    }
    VNCStatus SendMouseMove(int32_t, int32_t, const VNCVariant&, const VNCVariant&, VNCVariant*) override {
        return VNC_S_OK;
    }
    VNCStatus SendMouseClick(int32_t, int32_t, int32_t, const VNCVariant&, const VNCVariant&,
                             VNCVariant*) override {
        return VNC_S_OK;
    }
    VNCStatus SendClipboard(int32_t, const VNCVariant&, VNCVariant*) override { return VNC_S_OK; }
    VNCStatus Refresh(int32_t, int32_t, int32_t, int32_t, VNCVariant*) override { return VNC_S_OK; }
    VNCStatus RefreshRectangle(const VNCRectangle&, VNCVariant*) override { return VNC_S_OK; }
    VNCStatus ChangeDisplaySettings(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                                    VNCVariant*) override {
        return VNC_S_OK;
    }
    VNCStatus Command(const VNCVariant&, const VNCVariant&, const VNCVariant&, const VNCVariant&,
                      VNCVariant*) override {
        return VNC_S_OK;
    }
    VNCStatus TranslateButtons(int32_t, int32_t*) override { return VNC_S_OK; }
    VNCStatus AboutBox() override { return VNC_S_OK; }
    VNCStatus Scroll(int32_t, int32_t, VNCVariant*) override { return VNC_S_OK; }
    VNCStatus Encrypt(const QString&, const QString&, QString*) override { return VNC_S_OK; }
    VNCStatus Decrypt(const QString&, const QString&, QString*) override { return VNC_S_OK; }

    VNCStatus SaveProperties(QString*) override { return VNC_S_OK; }
    VNCStatus LoadProperties(const QString&) override { return VNC_S_OK; }
    VNCStatus GetDisplayString(int32_t, QString*) override { return VNC_S_OK; }
    VNCStatus GetPredefinedStrings(int32_t, QStringList*, QList<int32_t>*) override { return VNC_S_OK; }
    VNCStatus GetPredefinedValue(int32_t, int32_t, VNCVariant*) override { return VNC_S_OK; }
    VNCStatus MapPropertyToPage(int32_t, QString*) override { return VNC_S_OK; }
    VNCStatus get_QualityLevel(int32_t* value) override {
        *value = FQuality;
        return VNC_S_OK;
    }
    VNCStatus put_QualityLevel(int32_t value) override {
        Log() << QStringLiteral("QualityLevel=%1").arg(value);
        FQuality = value;
        return VNC_S_OK;
    }
    VNCStatus get_CompressLevel(int32_t*) override { return VNC_S_OK; }
    VNCStatus put_CompressLevel(int32_t) override { return VNC_S_OK; }

private:
    std::vector<IVNCViewerEvents*> FSinks;
    int32_t FState = 0;
    int32_t FFrameWidth = 0;
    int32_t FFrameHeight = 0;
    int32_t FQuality = -1;

public:
    VNCStatus get_Encryption(int32_t* value) override {
        *value = EncryptionValue;
        return VNC_S_OK;
    }
    VNCStatus put_Encryption(int32_t value) override {
        EncryptionValue = value;
        return VNC_S_OK;
    }
    VNCStatus get_UserName(QString* value) override {
        *value = UserNameValue;
        return VNC_S_OK;
    }
    VNCStatus put_UserName(const QString& value) override {
        UserNameValue = value;
        return VNC_S_OK;
    }
    VNCStatus get_KnownCertificates(QString* value) override {
        *value = KnownCertificatesValue;
        return VNC_S_OK;
    }
    VNCStatus put_KnownCertificates(const QString& value) override {
        KnownCertificatesValue = value;
        return VNC_S_OK;
    }
    VNCStatus get_CertificateAuthorities(QString* value) override {
        value->clear();
        return VNC_S_OK;
    }
    VNCStatus put_CertificateAuthorities(const QString&) override { return VNC_S_OK; }
    VNCStatus get_Security(QString* value) override {
        *value = SecurityText;
        return VNC_S_OK;
    }
    VNCStatus get_Encrypted(VNCBool* value) override {
        *value = EncryptedValue;
        return VNC_S_OK;
    }
    VNCStatus get_ServerVerified(VNCBool* value) override {
        *value = VerifiedValue;
        return VNC_S_OK;
    }
    VNCStatus get_CertificateFingerprint(QString* value) override {
        *value = FingerprintValue;
        return VNC_S_OK;
    }
    VNCStatus get_ReducedFrame(VNCBool* value) override {
        *value = ReducedFrameValue;
        return VNC_S_OK;
    }
    VNCStatus put_ReducedFrame(VNCBool value) override {
        ReducedFrameValue = value;
        return VNC_S_OK;
    }
    VNCStatus TrustCertificate(const QString& fingerprint, VNCBool remember, VNCVariant* retVal) override {
        Log() << QStringLiteral("TrustCertificate %1 %2").arg(fingerprint).arg(remember);
        if (retVal)
            *retVal = VNCVariant(int32_t(0));
        return VNC_S_OK;
    }
    int32_t EncryptionValue = 0;
    QString UserNameValue, KnownCertificatesValue, SecurityText, FingerprintValue;
    VNCBool ReducedFrameValue = dova::VNC_FALSE;
    VNCBool EncryptedValue = 0, VerifiedValue = 0;
};
