#pragma once
// TVNCViewer: the application's typed wrapper of one viewer control. Properties and methods keep the
// control's names and hide its status codes and out-parameters; each event the application handles
// is a handler slot named On followed by the event's name, called with the sending viewer first.
// The wrapper owns the control: destroying it ends the control's session and its widget.

#include "IVNCViewer.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class TVNCViewer : private dova::IVNCViewerEvents {
public:
    using VNCVariant = dova::VNCVariant;

    // Null when no control could be created (library missing, foreign, or refusing).
    static std::unique_ptr<TVNCViewer> Create(QWidget* parent);
    explicit TVNCViewer(dova::IVNCViewer* control); // takes ownership of the control's widget
    ~TVNCViewer() override;
    TVNCViewer(const TVNCViewer&) = delete;
    TVNCViewer& operator=(const TVNCViewer&) = delete;

    dova::IVNCViewer* Control() const { return FControl; }
    QWidget* Widget() const { return FWidget; }

    // The component name ("DOVA" for a tile's viewer, "FULLFORMDOVA" for the full-screen one).
    QString Name() const { return FName; }
    void SetName(const QString& name);

    // Event handler slots.
    std::function<void(TVNCViewer* Sender, QString& ServerName)> OnConnected;
    std::function<void(TVNCViewer* Sender)> OnDisconnected;
    std::function<void(TVNCViewer* Sender, int Number, QString& Message, const VNCVariant& v1)> OnError;
    std::function<void(TVNCViewer* Sender, int Number, QString& Message, const VNCVariant& v1)> OnWarning;
    std::function<void(TVNCViewer* Sender, int X, int Y, int W, int H)> OnFrameUpdated;
    std::function<void(TVNCViewer* Sender, int Modifiers, int KeyCode, int& Action)> OnBeforeKeyDown;
    std::function<void(TVNCViewer* Sender, int Modifiers, int KeyCode, int& Action)> OnBeforeKeyUp;
    std::function<void(TVNCViewer* Sender, dova::VNCBool Trapped)> OnMouseTrap;
    // The engine needs a password the control does not hold; the handler may set one.
    std::function<void(TVNCViewer* Sender)> OnPassword;

    // Properties.
    bool Stretch() const;
    void SetStretch(bool v);
    int BitsPerPixel() const;
    void SetBitsPerPixel(int v);
    // Tight's JPEG quality 0-9, -1 for none (lossless only).
    int QualityLevel() const;
    void SetQualityLevel(int v);
    // A thumbnail keeps the remote screen reduced to about its own size (see IVNCViewer).
    void SetReducedFrame(bool v);
    int FrameUpdateDelay() const;
    void SetFrameUpdateDelay(int v);
    // False holds the viewer's update requests (a tile out of sight); true asks for the whole screen.
    bool RequestFrames() const;
    void SetRequestFrames(bool v);
    int Scrollbars() const;
    void SetScrollbars(int v);
    // Slot index (0..15) of the encoding preference list; a negative value is an unused slot.
    int Codecs(int index) const;
    void SetCodecs(int index, int v);
    // Makes codec the first preference; the other slots keep their order one place later (the last
    // slot falls off). Nothing changes when it is first already.
    void PutCodecFirst(int codec);
    int Port() const;
    void SetPort(int v);
    QString Server() const;
    void SetServer(const QString& v);
    void SetPassword(const QString& v);
    bool RelayKeys() const;
    void SetRelayKeys(bool v);
    bool RelayMouse() const;
    void SetRelayMouse(bool v);
    void SetEnabled(bool v);
    bool RelayLocalClipboard() const;
    void SetRelayLocalClipboard(bool v);
    bool RelayServerClipboard() const;
    void SetRelayServerClipboard(bool v);
    int State() const;
    int FrameWidth() const;
    int FrameHeight() const;
    QString ServerName() const;

    // Methods; each gives the control's retVal (0 done, -1 refused).
    int Connect(const VNCVariant& Server = VNCVariant(), const VNCVariant& Port = VNCVariant(),
                const VNCVariant& Password = VNCVariant(), const VNCVariant& Flags = VNCVariant());
    int Start();
    int Stop();
    int Disconnect();
    int SendKeyPress(int KeyCode, int Repeat = 1, int Modifiers = dova::dovaModifierCurrent);
    int SendKeyDown(int KeyCode, int Modifier = dova::dovaModifierNone);
    int SendKeyUp(int KeyCode, int Modifier = dova::dovaModifierNone);
    bool IsConnected() const;
    dova::VNCPoint StretchX(int Numerator = 0, int Denominator = 0);
    dova::VNCPoint StretchY(int Numerator = 0, int Denominator = 0);

private:
    // dova::IVNCViewerEvents
    void Connected(QString& ServerName) override;
    void Disconnected() override;
    void Error(int32_t Number, QString& Message, const VNCVariant& v1) override;
    void Warning(int32_t Number, QString& Message, const VNCVariant& v1) override;
    void FrameUpdated(int32_t X, int32_t Y, int32_t W, int32_t H) override;
    void BeforeKeyDown(int32_t Modifiers, int32_t KeyCode, int32_t& Action) override;
    void BeforeKeyUp(int32_t Modifiers, int32_t KeyCode, int32_t& Action) override;
    void MouseTrap(dova::VNCBool Trapped) override;
    void Password() override;

    dova::IVNCViewer* FControl;
    QPointer<QWidget> FWidget; // the parent may have deleted it already
    QString FName;
};
