// Property getters and setters of the viewer.
#include "Cursors.h"
#include "VNCViewer.h"

#include "engine/ServerAddress.h"

#include "engine/InputThread.h"
#include "engine/SessionThread.h"
#include "framebuffer/FrameBuffer.h"

#include <QCursor>
#include <QScreen>
#include <QStringDecoder>

namespace dova {

namespace {
// Texts a server sends: UTF-8 when they are valid UTF-8, otherwise the code page of the computers
// this viewer watches.
QString FromServerText(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (!utf8.hasError())
        return text;
    QStringDecoder turkish("windows-1254");
    if (turkish.isValid())
        return turkish(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}

template <typename T> VNCStatus Give(T* out, const T& value) {
    if (!out)
        return VNC_E_POINTER;
    *out = value;
    return VNC_S_OK;
}
} // namespace

VNCStatus CVNCViewer::get_BackColor(uint32_t* value) {
    return Give(value, BackColour);
}
VNCStatus CVNCViewer::put_BackColor(uint32_t value) {
    BackColour = value;
    update();
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_ForeColor(uint32_t* value) {
    return Give(value, ForeColour);
}
VNCStatus CVNCViewer::put_ForeColor(uint32_t value) {
    ForeColour = value;
    update();
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_Enabled(VNCBool* value) {
    return Give(value, EnabledValue);
}
VNCStatus CVNCViewer::put_Enabled(VNCBool value) {
    EnabledValue = value;
    setEnabled(value != 0);
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_Window(QWidget** value) {
    return Give<QWidget*>(value, this);
}
VNCStatus CVNCViewer::get_MouseIcon(QImage* value) {
    return Give(value, MouseIconImage);
}
VNCStatus CVNCViewer::put_MouseIcon(const QImage& value) {
    MouseIconImage = value;
    if (!value.isNull()) // clearing the picture keeps the cursor made from the last one
        CustomCursor = CursorFromPicture(value);
    SelectCursor();
    return VNC_S_OK;
}
VNCStatus CVNCViewer::putref_MouseIcon(const QImage& value) {
    return put_MouseIcon(value);
}

VNCStatus CVNCViewer::get_Picture(QImage* value) {
    if (!value)
        return VNC_E_POINTER;
    *value = QImage();
    if (!FrameBuffer)
        return VNC_S_OK;
    CLockGuard hold(*FrameBuffer);
    if (!FrameBuffer->HasBitmap())
        return VNC_S_OK;
    const int bits = FrameBuffer->BitsPerPixel();
    const QImage::Format format = bits == 8    ? QImage::Format_Indexed8
                                  : bits == 16 ? QImage::Format_RGB555
                                               : QImage::Format_RGB32;
    QImage live(FrameBuffer->Data(), FrameBuffer->Width(), FrameBuffer->Height(), FrameBuffer->Stride(),
                format);
    if (bits == 8) {
        QList<QRgb> table;
        for (uint32_t entry : FrameBuffer->ColourTable())
            table.append(0xFF000000u | entry);
        live.setColorTable(table);
    }
    *value = live.copy(); // the bytes stay the framebuffer's; the host gets its own image
    if (bits == 32)       // the server's padding byte is no alpha: the picture is opaque wherever it is drawn
        for (int y = 0; y < value->height(); ++y) {
            auto* row = reinterpret_cast<uint32_t*>(value->scanLine(y));
            for (int x = 0; x < value->width(); ++x)
                row[x] |= 0xFF000000u;
        }
    return VNC_S_OK;
}

VNCStatus CVNCViewer::get_MousePointer(int32_t* value) {
    return Give(value, MousePointerValue);
}
VNCStatus CVNCViewer::put_MousePointer(int32_t value) {
    MousePointerValue = value;
    SelectCursor();
    return VNC_S_OK;
}

namespace {
// An IPv6 literal goes back in brackets, so the text splits again into the same host and port.
QString HostText(const std::string& host) {
    const QString text = QString::fromUtf8(host);
    return text.contains(u':') ? u'[' + text + u']' : text;
}
} // namespace

VNCStatus CVNCViewer::get_Server(QString* value) {
    CLockGuard hold(*State);
    return Give(value, HostText(State->Server));
}
VNCStatus CVNCViewer::put_Server(const QString& value) {
    return SetServerText(value) ? VNC_S_OK : VNC_E_INVALIDARG;
}
bool CVNCViewer::SetServerText(const QString& text) {
    CLockGuard hold(*State);
    return SplitServerText(text.toStdString(), State->Server, State->Port);
}
VNCStatus CVNCViewer::get_Password(QString* value) {
    CLockGuard hold(*State);
    return Give(value, QString::fromUtf8(State->Password));
}
VNCStatus CVNCViewer::put_Password(const QString& value) {
    CLockGuard hold(*State);
    State->Password = value.toStdString();
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_Port(int32_t* value) {
    CLockGuard hold(*State);
    return Give(value, State->Port);
}
VNCStatus CVNCViewer::put_Port(int32_t value) {
    if (!IsPortNumber(value))
        return VNC_E_INVALIDARG; // a larger one would wrap to another port
    CLockGuard hold(*State);
    State->Port = value;
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_Display(int32_t* value) {
    CLockGuard hold(*State);
    return Give(value, State->Port >= BaseRfbPort ? State->Port - BaseRfbPort : 0);
}
VNCStatus CVNCViewer::put_Display(int32_t value) {
    if (value < 0 || value > MaxPort - BaseRfbPort)
        return VNC_E_INVALIDARG;
    return put_Port(value + BaseRfbPort);
}
VNCStatus CVNCViewer::get_Shared(VNCBool* value) {
    return Give(value, SharedValue);
}
VNCStatus CVNCViewer::put_Shared(VNCBool value) {
    SharedValue = value;
    CLockGuard hold(*State);
    State->Shared = value != 0;
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_ServerAddress(QString* value) {
    CLockGuard hold(*State);
    return Give(value, QStringLiteral("%1:%2").arg(HostText(State->Server)).arg(State->Port));
}
VNCStatus CVNCViewer::put_ServerAddress(const QString& value) {
    return put_Server(value);
}
VNCStatus CVNCViewer::get_ServerName(QString* value) {
    CLockGuard hold(*State);
    return Give(value, FromServerText(State->DesktopName));
}
VNCStatus CVNCViewer::get_State(int32_t* value) {
    return Give(value, State->State.load());
}
VNCStatus CVNCViewer::get_FrameWidth(int32_t* value) {
    CLockGuard hold(*State);
    return Give(value, HasSession() && ConnectedOrDispatching() ? int32_t(State->FrameWidth) : 0);
}
VNCStatus CVNCViewer::get_FrameHeight(int32_t* value) {
    CLockGuard hold(*State);
    return Give(value, HasSession() && ConnectedOrDispatching() ? int32_t(State->FrameHeight) : 0);
}

VNCStatus CVNCViewer::get_RelayKeys(VNCBool* value) {
    return Give(value, RelayKeysValue);
}
VNCStatus CVNCViewer::put_RelayKeys(VNCBool value) {
    RelayKeysValue = value;
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_RelayMouse(VNCBool* value) {
    return Give(value, RelayMouseValue);
}
VNCStatus CVNCViewer::put_RelayMouse(VNCBool value) {
    RelayMouseValue = value;
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_RelayLocalClipboard(VNCBool* value) {
    return Give(value, RelayLocalClipboardValue);
}
VNCStatus CVNCViewer::put_RelayLocalClipboard(VNCBool value) {
    RelayLocalClipboardValue = value;
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_RelayServerClipboard(VNCBool* value) {
    return Give(value, RelayServerClipboardValue);
}
VNCStatus CVNCViewer::put_RelayServerClipboard(VNCBool value) {
    RelayServerClipboardValue = value;
    State->RelayServerClipboard = value != 0;
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_ScreenEdgeDelay(int32_t* value) {
    return Give(value, ScreenEdgeDelayValue);
}
VNCStatus CVNCViewer::put_ScreenEdgeDelay(int32_t value) {
    ScreenEdgeDelayValue = value;
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_EnableBell(VNCBool* value) {
    return Give(value, EnableBellValue);
}
VNCStatus CVNCViewer::put_EnableBell(VNCBool value) {
    EnableBellValue = value;
    State->EnableBell = value != 0;
    return VNC_S_OK;
}

VNCStatus CVNCViewer::get_Codecs(int32_t Index, int32_t* value) {
    if (!value)
        return VNC_E_POINTER;
    if (Index < 0 || Index >= CodecSlots)
        return VNC_S_OK;
    CLockGuard hold(*State);
    *value = State->Codecs[size_t(Index)];
    return VNC_S_OK;
}
VNCStatus CVNCViewer::put_Codecs(int32_t Index, int32_t value) {
    if (Index < 0 || Index >= CodecSlots)
        return VNC_S_OK;
    {
        CLockGuard hold(*State);
        State->Codecs[size_t(Index)] = value;
    }
    const bool formatChanged = State->CodecsChanged();
    if (ConnectedOrDispatching()) {
        State->EncodingsChanged = true;
        // A new depth takes effect at the end of the next update, as a new BitsPerPixel does.
        if (formatChanged && Session && State->State.load() == states::Dispatching)
            Refresh(0, 0, 0, 0, nullptr);
    } else if (formatChanged && !Socket) {
        CLockGuard hold(*State);
        State->CurrentPixelFormat = State->RequestedPixelFormat;
    }
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_PrimaryCodec(int32_t* value) {
    return get_Codecs(0, value);
}
VNCStatus CVNCViewer::put_PrimaryCodec(int32_t value) {
    return put_Codecs(0, value);
}

VNCStatus CVNCViewer::get_QualityLevel(int32_t* value) {
    CLockGuard hold(*State);
    return Give(value, State->QualityLevel);
}
VNCStatus CVNCViewer::put_QualityLevel(int32_t value) {
    return PutTightLevel(State->QualityLevel, value);
}
VNCStatus CVNCViewer::get_CompressLevel(int32_t* value) {
    CLockGuard hold(*State);
    return Give(value, State->CompressLevel);
}
VNCStatus CVNCViewer::put_CompressLevel(int32_t value) {
    return PutTightLevel(State->CompressLevel, value);
}
VNCStatus CVNCViewer::PutTightLevel(int32_t& level, int32_t value) {
    if (value < -1 || value > 9)
        return VNC_S_OK;
    bool changed;
    {
        CLockGuard hold(*State);
        changed = level != value;
        level = value;
    }
    // Pseudo-encodings: announced with the codecs at the end of the next update.
    if (changed && ConnectedOrDispatching())
        State->EncodingsChanged = true;
    return VNC_S_OK;
}

VNCStatus CVNCViewer::get_MousePosX(int32_t* value) {
    if (!value)
        return VNC_E_POINTER;
    const QPoint local = mapFromGlobal(QCursor::pos());
    int32_t scroll = 0;
    get_ScrollPosH(&scroll);
    int32_t x = local.x() - ViewLeftValue() + scroll;
    if (StretchValue)
        x = UnscaleRect(Ratio(), x, 0, 0, 0).X;
    *value = int32_t(uint16_t(x));
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_MousePosY(int32_t* value) {
    if (!value)
        return VNC_E_POINTER;
    const QPoint local = mapFromGlobal(QCursor::pos());
    int32_t scroll = 0;
    get_ScrollPosV(&scroll);
    int32_t y = local.y() - ViewTopValue() + scroll;
    if (StretchValue)
        y = UnscaleRect(Ratio(), 0, y, 0, 0).Y;
    *value = int32_t(uint16_t(y));
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_MousePosFrameX(int32_t* value) {
    return Give<int32_t>(value, QCursor::pos().x());
}
VNCStatus CVNCViewer::get_MousePosFrameY(int32_t* value) {
    return Give<int32_t>(value, QCursor::pos().y());
}

VNCStatus CVNCViewer::get_RequestFrames(VNCBool* value) {
    return Give(value, RequestFramesValue);
}
VNCStatus CVNCViewer::put_RequestFrames(VNCBool value) {
    RequestFramesValue = value;
    State->RequestFrames = value != 0;
    if (Session)
        Session->SetFramesAllowed(value != 0);
    // The request the session held goes out from the input thread: the session thread is blocked
    // reading, and this thread never writes to the network.
    if (value != 0 && Input && State->RequestHeld.exchange(false))
        Input->PostToThread(thread_messages::VncResumeFrames);
    return VNC_S_OK;
}

VNCStatus CVNCViewer::get_ScreenHeight(int32_t* value) {
    const QScreen* shown = screen();
    return Give<int32_t>(value, shown ? shown->geometry().height() : 0);
}
VNCStatus CVNCViewer::get_ScreenWidth(int32_t* value) {
    const QScreen* shown = screen();
    return Give<int32_t>(value, shown ? shown->geometry().width() : 0);
}
VNCStatus CVNCViewer::get_ScreenBitsPerPixel(int32_t* value) {
    const QScreen* shown = screen();
    return Give<int32_t>(value, shown ? shown->depth() : 0);
}

VNCStatus CVNCViewer::get_FrameUpdateDelay(int32_t* value) {
    return Give(value, State->FrameUpdateDelay.load());
}
VNCStatus CVNCViewer::put_FrameUpdateDelay(int32_t value) {
    value = std::max(0, value);
    const int32_t before = State->FrameUpdateDelay.exchange(value);
    if (value < before && Session)
        Session->WakeFromDelay();
    return VNC_S_OK;
}

VNCStatus CVNCViewer::get_Scrollbars(int32_t* value) {
    return Give(value, ScrollbarsValue);
}
VNCStatus CVNCViewer::put_Scrollbars(int32_t value) {
    ScrollbarsValue = value;
    UpdateScrollBars();
    return VNC_S_OK;
}

VNCStatus CVNCViewer::get_Stretch(VNCBool* value) {
    return Give(value, StretchValue);
}
VNCStatus CVNCViewer::put_Stretch(VNCBool value) {
    StretchValue = value;
    {
        CLockGuard hold(*State);
        State->Stretch = value != 0;
    }
    ApplyStretchSetting();
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_StretchMode(int32_t* value) {
    CLockGuard hold(*State);
    return Give(value, State->StretchMode);
}
VNCStatus CVNCViewer::put_StretchMode(int32_t value) {
    {
        CLockGuard hold(*State);
        State->StretchMode = value;
    }
    ApplyStretchSetting();
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_ReducedFrame(VNCBool* value) {
    return Give(value, ReducedFrameValue);
}
VNCStatus CVNCViewer::put_ReducedFrame(VNCBool value) {
    ReducedFrameValue = value ? VNC_TRUE : VNC_FALSE;
    ApplyStretchSetting();
    return VNC_S_OK;
}

namespace {
// The largest of 1, 2, 4 and 8 that keeps the frame at least as large as the stretched image.
int ReductionFor(const StretchRatio& r) {
    int factor = 1;
    while (factor < 8 && int64_t(factor) * 2 * r.NumX <= r.DenX && int64_t(factor) * 2 * r.NumY <= r.DenY)
        factor *= 2;
    return factor;
}
} // namespace

void CVNCViewer::ApplyStretchSetting() {
    {
        CLockGuard hold(*State);
        State->FrameReduction = ReducedFrameValue && State->Stretch
                                    ? ReductionFor(StretchRatio{State->StretchXNum, State->StretchXDen,
                                                                State->StretchYNum, State->StretchYDen})
                                    : 1;
    }
    RebuildImage();
    update();
    UpdateScrollBars();
}

VNCStatus CVNCViewer::get_ProgressiveDrawing(VNCBool* value) {
    return Give(value, ProgressiveDrawingValue);
}
VNCStatus CVNCViewer::put_ProgressiveDrawing(VNCBool value) {
    ProgressiveDrawingValue = value;
    State->ProgressiveDrawing = value != 0;
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_AutoScroll(VNCBool* value) {
    return Give(value, AutoScrollValue);
}
VNCStatus CVNCViewer::put_AutoScroll(VNCBool value) {
    AutoScrollValue = value;
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_AutoScrollDelay(int32_t* value) {
    return Give(value, AutoScrollDelayValue);
}
VNCStatus CVNCViewer::put_AutoScrollDelay(int32_t value) {
    AutoScrollDelayValue = value;
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_AutoScrollBand(int32_t* value) {
    return Give(value, AutoScrollBandValue);
}
VNCStatus CVNCViewer::put_AutoScrollBand(int32_t value) {
    AutoScrollBandValue = value;
    return VNC_S_OK;
}

VNCStatus CVNCViewer::get_BitsPerPixel(int16_t* value) {
    CLockGuard hold(*State);
    return Give<int16_t>(value, State->CurrentPixelFormat.BitsPerPixel);
}
VNCStatus CVNCViewer::put_BitsPerPixel(int16_t value) {
    int before;
    {
        CLockGuard hold(*State);
        before = State->CurrentPixelFormat.BitsPerPixel;
    }
    const int result = State->SetRequestedPixelFormat(value);
    if (Session && State->State.load() == states::Dispatching) {
        // The change takes effect at the end of the next update; ask for one.
        if (result != before)
            Refresh(0, 0, 0, 0, nullptr);
    } else if (!Socket) {
        CLockGuard hold(*State);
        State->CurrentPixelFormat = State->RequestedPixelFormat;
    }
    // Otherwise a connection exists whose server sends the format in force until told otherwise: the
    // change stays pending and the session announces it when it starts.
    return VNC_S_OK;
}

VNCStatus CVNCViewer::get_ServerVersion(QString* value) {
    CLockGuard hold(*State);
    return Give(value, QString::fromLatin1(State->ServerVersion));
}

VNCStatus CVNCViewer::get_StretchedWidth(int32_t* value) {
    int32_t width = 0;
    get_FrameWidth(&width);
    return Give(value, ScaleX(Ratio(), width));
}
VNCStatus CVNCViewer::get_StretchedHeight(int32_t* value) {
    int32_t height = 0;
    get_FrameHeight(&height);
    return Give(value, ScaleY(Ratio(), height));
}
VNCStatus CVNCViewer::get_ViewWidth(int32_t* value) {
    return Give(value, ViewValid() ? ContentWidth() : 0);
}
VNCStatus CVNCViewer::get_ViewHeight(int32_t* value) {
    return Give(value, ViewValid() ? ContentHeight() : 0);
}
VNCStatus CVNCViewer::get_ViewLeft(int32_t* value) {
    return Give(value, ViewLeftValue());
}
VNCStatus CVNCViewer::get_ViewTop(int32_t* value) {
    return Give(value, ViewTopValue());
}
VNCStatus CVNCViewer::get_ViewRight(int32_t* value) {
    return Give(value, ViewValid() ? ViewLeftValue() + ContentWidth() : 0);
}
VNCStatus CVNCViewer::get_ViewBottom(int32_t* value) {
    return Give(value, ViewValid() ? ViewTopValue() + ContentHeight() : 0);
}
VNCStatus CVNCViewer::get_ViewRectangle(VNCRectangle* value) {
    if (!value)
        return VNC_E_POINTER;
    VNCRectangle r;
    get_ViewLeft(&r.Left);
    get_ViewTop(&r.Top);
    get_ViewRight(&r.Right);
    get_ViewBottom(&r.Bottom);
    r.Width = r.Right - r.Left;
    r.Height = r.Bottom - r.Top;
    *value = r;
    return VNC_S_OK;
}

VNCStatus CVNCViewer::get_Draw(VNCBool* value) {
    return Give(value, DrawValue);
}
VNCStatus CVNCViewer::put_Draw(VNCBool value) {
    DrawValue = value;
    State->Draw = value != 0;
    if (FrameBuffer)
        FrameBuffer->SetDrawAllowed(value != 0);
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_FireFrameUpdates(VNCBool* value) {
    return Give(value, FireFrameUpdatesValue);
}
VNCStatus CVNCViewer::put_FireFrameUpdates(VNCBool value) {
    FireFrameUpdatesValue = value;
    State->FireFrameUpdates = value != 0;
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_FireDataTransfers(VNCBool* value) {
    return Give(value, FireDataTransfersValue);
}
VNCStatus CVNCViewer::put_FireDataTransfers(VNCBool value) {
    FireDataTransfersValue = value;
    State->FireDataTransfers = value != 0;
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_MouseTrap(VNCBool* value) {
    return Give(value, MouseTrapValue);
}
VNCStatus CVNCViewer::put_MouseTrap(VNCBool value) {
    MouseTrapValue = value;
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_MouseTrapModifers(int32_t* value) {
    return Give(value, MouseTrapModifersValue);
}
VNCStatus CVNCViewer::put_MouseTrapModifers(int32_t value) {
    MouseTrapModifersValue = value;
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_Alignment(int32_t* value) {
    return Give(value, AlignmentValue);
}
VNCStatus CVNCViewer::put_Alignment(int32_t value) {
    AlignmentValue = value;
    PublishView();
    update();
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_hDC(uint32_t* value) {
    // No device contexts here: a stable non-zero token stands for "the window exists".
    return Give(value, uint32_t(reinterpret_cast<quintptr>(this) | 1u));
}
VNCStatus CVNCViewer::get_ScrollPosH(int32_t* value) {
    return Give(value, HorizontalNeeded(false) ? RememberedH : 0);
}
VNCStatus CVNCViewer::get_ScrollPosV(int32_t* value) {
    return Give(value, VerticalNeeded(false) ? RememberedV : 0);
}
VNCStatus CVNCViewer::get_ViewEdgeDelay(int32_t* value) {
    return value ? VNC_S_OK : VNC_E_POINTER;
}
VNCStatus CVNCViewer::put_ViewEdgeDelay(int32_t) {
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_FrameEdgeDelay(int32_t* value) {
    return value ? VNC_S_OK : VNC_E_POINTER;
}
VNCStatus CVNCViewer::put_FrameEdgeDelay(int32_t) {
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_ServerClipboard(VNCVariant* value) {
    return Give(value, VNCVariant(ServerClipboardText));
}
VNCStatus CVNCViewer::put_ServerClipboard(const VNCVariant& value) {
    return SendClipboard(dovaDataUnknown, value, nullptr);
}
VNCStatus CVNCViewer::get_LocalClipboard(VNCVariant* value) {
    return value ? VNC_S_OK : VNC_E_POINTER;
}
VNCStatus CVNCViewer::put_LocalClipboard(const VNCVariant&) {
    return VNC_S_OK;
}

} // namespace dova
