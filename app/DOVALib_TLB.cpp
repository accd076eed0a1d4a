#include "DOVALib_TLB.h"

#include "ControlLibrary.h"

using namespace dova;

namespace {

int RetVal(const VNCVariant& v) {
    return v.IsMissing() ? -1 : v.ToInt32();
}

} // namespace

std::unique_ptr<TVNCViewer> TVNCViewer::Create(QWidget* parent) {
    IVNCViewer* control = CreateViewerControl(parent);
    if (!control)
        return nullptr;
    return std::make_unique<TVNCViewer>(control);
}

TVNCViewer::TVNCViewer(IVNCViewer* control) : FControl(control) {
    QWidget* widget = nullptr;
    FControl->get_Window(&widget);
    FWidget = widget;
    FControl->Advise(this);
}

TVNCViewer::~TVNCViewer() {
    // The control lives as long as its widget; deleting the widget ends the session first.
    if (FWidget) {
        FControl->Unadvise(this);
        delete FWidget.data();
    }
}

void TVNCViewer::SetName(const QString& name) {
    FName = name;
    if (FWidget)
        FWidget->setObjectName(name);
}

bool TVNCViewer::Stretch() const {
    VNCBool v = VNC_FALSE;
    FControl->get_Stretch(&v);
    return v != VNC_FALSE;
}
void TVNCViewer::SetStretch(bool v) {
    FControl->put_Stretch(v ? VNC_TRUE : VNC_FALSE);
}

int TVNCViewer::BitsPerPixel() const {
    int16_t v = 0;
    FControl->get_BitsPerPixel(&v);
    return v;
}
void TVNCViewer::SetBitsPerPixel(int v) {
    FControl->put_BitsPerPixel(static_cast<int16_t>(v));
}

void TVNCViewer::SetReducedFrame(bool v) {
    FControl->put_ReducedFrame(v ? VNC_TRUE : VNC_FALSE);
}
int TVNCViewer::QualityLevel() const {
    int32_t v = -1;
    FControl->get_QualityLevel(&v);
    return v;
}
void TVNCViewer::SetQualityLevel(int v) {
    FControl->put_QualityLevel(v);
}

int TVNCViewer::FrameUpdateDelay() const {
    int32_t v = 0;
    FControl->get_FrameUpdateDelay(&v);
    return v;
}
void TVNCViewer::SetFrameUpdateDelay(int v) {
    FControl->put_FrameUpdateDelay(v);
}
bool TVNCViewer::RequestFrames() const {
    dova::VNCBool v = dova::VNC_TRUE;
    FControl->get_RequestFrames(&v);
    return v != dova::VNC_FALSE;
}
void TVNCViewer::SetRequestFrames(bool v) {
    FControl->put_RequestFrames(v ? dova::VNC_TRUE : dova::VNC_FALSE);
}

int TVNCViewer::Codecs(int index) const {
    int32_t v = -1;
    FControl->get_Codecs(index, &v);
    return v;
}
void TVNCViewer::SetCodecs(int index, int v) {
    FControl->put_Codecs(index, v);
}

void TVNCViewer::PutCodecFirst(int codec) {
    constexpr int Slots = 16;
    if (Codecs(0) == codec)
        return;
    for (int i = Slots - 1; i > 0; --i)
        SetCodecs(i, Codecs(i - 1));
    SetCodecs(0, codec);
}

int TVNCViewer::Scrollbars() const {
    int32_t v = 0;
    FControl->get_Scrollbars(&v);
    return v;
}
void TVNCViewer::SetScrollbars(int v) {
    FControl->put_Scrollbars(v);
}

int TVNCViewer::Port() const {
    int32_t v = 0;
    FControl->get_Port(&v);
    return v;
}
void TVNCViewer::SetPort(int v) {
    FControl->put_Port(v);
}

QString TVNCViewer::Server() const {
    QString v;
    FControl->get_Server(&v);
    return v;
}
void TVNCViewer::SetServer(const QString& v) {
    FControl->put_Server(v);
}
void TVNCViewer::SetPassword(const QString& v) {
    FControl->put_Password(v);
}

bool TVNCViewer::RelayKeys() const {
    VNCBool v = VNC_FALSE;
    FControl->get_RelayKeys(&v);
    return v != VNC_FALSE;
}
void TVNCViewer::SetRelayKeys(bool v) {
    FControl->put_RelayKeys(v ? VNC_TRUE : VNC_FALSE);
}

bool TVNCViewer::RelayMouse() const {
    VNCBool v = VNC_FALSE;
    FControl->get_RelayMouse(&v);
    return v != VNC_FALSE;
}
void TVNCViewer::SetRelayMouse(bool v) {
    FControl->put_RelayMouse(v ? VNC_TRUE : VNC_FALSE);
}
bool TVNCViewer::RelayLocalClipboard() const {
    VNCBool v = VNC_FALSE;
    FControl->get_RelayLocalClipboard(&v);
    return v != VNC_FALSE;
}
void TVNCViewer::SetRelayLocalClipboard(bool v) {
    FControl->put_RelayLocalClipboard(v ? VNC_TRUE : VNC_FALSE);
}
bool TVNCViewer::RelayServerClipboard() const {
    VNCBool v = VNC_FALSE;
    FControl->get_RelayServerClipboard(&v);
    return v != VNC_FALSE;
}
void TVNCViewer::SetRelayServerClipboard(bool v) {
    FControl->put_RelayServerClipboard(v ? VNC_TRUE : VNC_FALSE);
}

void TVNCViewer::SetEnabled(bool v) {
    FControl->put_Enabled(v ? VNC_TRUE : VNC_FALSE);
}

int TVNCViewer::State() const {
    int32_t v = 0;
    FControl->get_State(&v);
    return v;
}
int TVNCViewer::FrameWidth() const {
    int32_t v = 0;
    FControl->get_FrameWidth(&v);
    return v;
}
int TVNCViewer::FrameHeight() const {
    int32_t v = 0;
    FControl->get_FrameHeight(&v);
    return v;
}
QString TVNCViewer::ServerName() const {
    QString v;
    FControl->get_ServerName(&v);
    return v;
}

int TVNCViewer::Connect(const VNCVariant& Server, const VNCVariant& Port, const VNCVariant& Password,
                        const VNCVariant& Flags) {
    VNCVariant r;
    FControl->Connect(Server, Port, Password, Flags, &r);
    return RetVal(r);
}
int TVNCViewer::Start() {
    VNCVariant r;
    FControl->Start(&r);
    return RetVal(r);
}
int TVNCViewer::Stop() {
    VNCVariant r;
    FControl->Stop(&r);
    return RetVal(r);
}
int TVNCViewer::Disconnect() {
    VNCVariant r;
    FControl->Disconnect(&r);
    return RetVal(r);
}
int TVNCViewer::SendKeyPress(int KeyCode, int Repeat, int Modifiers) {
    VNCVariant r;
    FControl->SendKeyPress(KeyCode, Repeat, Modifiers, &r);
    return RetVal(r);
}
int TVNCViewer::SendKeyDown(int KeyCode, int Modifier) {
    VNCVariant r;
    FControl->SendKeyDown(KeyCode, Modifier, &r);
    return RetVal(r);
}
int TVNCViewer::SendKeyUp(int KeyCode, int Modifier) {
    VNCVariant r;
    FControl->SendKeyUp(KeyCode, Modifier, &r);
    return RetVal(r);
}
bool TVNCViewer::IsConnected() const {
    VNCBool v = VNC_FALSE;
    FControl->IsConnected(&v);
    return v != VNC_FALSE;
}
VNCPoint TVNCViewer::StretchX(int Numerator, int Denominator) {
    VNCPoint p;
    FControl->StretchX(Numerator, Denominator, &p);
    return p;
}
VNCPoint TVNCViewer::StretchY(int Numerator, int Denominator) {
    VNCPoint p;
    FControl->StretchY(Numerator, Denominator, &p);
    return p;
}

// A handler may destroy this wrapper (a tile rebuilt from its own event): copy the slot first.
void TVNCViewer::Connected(QString& ServerName) {
    if (auto h = OnConnected)
        h(this, ServerName);
}
void TVNCViewer::Disconnected() {
    if (auto h = OnDisconnected)
        h(this);
}
void TVNCViewer::Error(int32_t Number, QString& Message, const VNCVariant& v1) {
    if (auto h = OnError)
        h(this, Number, Message, v1);
}
void TVNCViewer::Warning(int32_t Number, QString& Message, const VNCVariant& v1) {
    if (auto h = OnWarning)
        h(this, Number, Message, v1);
}
void TVNCViewer::FrameUpdated(int32_t X, int32_t Y, int32_t W, int32_t H) {
    if (auto h = OnFrameUpdated)
        h(this, X, Y, W, H);
}
void TVNCViewer::BeforeKeyDown(int32_t Modifiers, int32_t KeyCode, int32_t& Action) {
    if (auto h = OnBeforeKeyDown) {
        int a = Action;
        h(this, Modifiers, KeyCode, a);
        Action = a;
    }
}
void TVNCViewer::BeforeKeyUp(int32_t Modifiers, int32_t KeyCode, int32_t& Action) {
    if (auto h = OnBeforeKeyUp) {
        int a = Action;
        h(this, Modifiers, KeyCode, a);
        Action = a;
    }
}
void TVNCViewer::MouseTrap(dova::VNCBool Trapped) {
    if (auto h = OnMouseTrap)
        h(this, Trapped);
}
void TVNCViewer::Password() {
    if (auto h = OnPassword)
        h(this);
}
