// Methods of the viewer other than the connection lifecycle: programmatic input, refresh, stretch
// ratios, commands and the text cipher.
#include "DisplayMode.h"
#include "LocalKeyboard.h"
#include "TextCipher.h"
#include "VNCViewer.h"
#include "WireText.h"

#include "engine/InputThread.h"
#include "engine/SessionThread.h"
#include "framebuffer/FrameBuffer.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace dova {

namespace {
void SetRetVal(VNCVariant* retVal, int32_t value) {
    if (retVal)
        *retVal = VNCVariant(value);
}

// A pointer coordinate argument: integers and reals are taken, missing leaves the field unset, any
// other kind is refused.
bool Coordinate(const VNCVariant& argument, int32_t& out, bool& given) {
    given = false;
    switch (argument.Type()) {
    case VNCVariant::Kind::Missing:
        return true;
    case VNCVariant::Kind::Int16:
    case VNCVariant::Kind::Int32:
    case VNCVariant::Kind::Float:
    case VNCVariant::Kind::Double:
        out = argument.ToInt32();
        given = true;
        return true;
    default:
        return false;
    }
}
} // namespace

VNCStatus CVNCViewer::SendKeyDown(int32_t KeyCode, int32_t Modifier, VNCVariant* retVal) {
    if (!Input)
        return VNC_S_OK; // without an input thread nothing happens and retVal stays as it was
    {
        CLockGuard hold(*State);
        Input->SetKeyboardState(CurrentKeyboardSnapshot());
    }
    if (RelayKeysValue)
        Input->PostToThread(thread_messages::VncKeyDown, uint64_t(uint32_t(KeyCode)), Modifier);
    SetRetVal(retVal, 0);
    return VNC_S_OK;
}

VNCStatus CVNCViewer::SendKeyUp(int32_t KeyCode, int32_t Modifier, VNCVariant* retVal) {
    if (!Input)
        return VNC_S_OK;
    {
        CLockGuard hold(*State);
        Input->SetKeyboardState(CurrentKeyboardSnapshot());
    }
    if (RelayKeysValue)
        Input->PostToThread(thread_messages::VncKeyUp, uint64_t(uint32_t(KeyCode)), Modifier);
    SetRetVal(retVal, 0);
    return VNC_S_OK;
}

VNCStatus CVNCViewer::SendKeyPress(int32_t KeyCode, int32_t, int32_t Modifiers, VNCVariant* retVal) {
    SendKeyDown(KeyCode, Modifiers, retVal);
    return SendKeyUp(KeyCode, Modifiers, retVal);
}

namespace {
VNCStatus PostPointer(CInputThread* input, bool allowed, uint32_t message, int32_t Buttons, int32_t Modifiers,
                      const VNCVariant& X, const VNCVariant& Y, VNCVariant* retVal) {
    if (!allowed || !input) {
        SetRetVal(retVal, -1);
        return VNC_S_OK;
    }
    PointerRecord record;
    bool hasX, hasY;
    if (!Coordinate(X, record.X, hasX) || !Coordinate(Y, record.Y, hasY))
        return VNC_E_INVALIDARG;
    if (hasX)
        record.Valid |= PointerRecord::HasX;
    if (hasY)
        record.Valid |= PointerRecord::HasY;
    if (Buttons != dovaButtonCurrent) {
        record.Buttons = uint32_t(Buttons);
        record.Valid |= PointerRecord::HasButtons;
    }
    if (Modifiers != dovaModifierCurrent) {
        record.Modifiers = Modifiers;
        record.Valid |= PointerRecord::HasModifiers;
    }
    input->PostToThread(message, 0, 0, record);
    SetRetVal(retVal, 0);
    return VNC_S_OK;
}
} // namespace

VNCStatus CVNCViewer::SendMouseDown(int32_t Buttons, int32_t Modifiers, const VNCVariant& X,
                                    const VNCVariant& Y, VNCVariant* retVal) {
    return PostPointer(Input.get(), HasSession() && ConnectedOrDispatching(), thread_messages::VncMouseDown,
                       Buttons, Modifiers, X, Y, retVal);
}

VNCStatus CVNCViewer::SendMouseUp(int32_t Buttons, int32_t Modifiers, const VNCVariant& X,
                                  const VNCVariant& Y, VNCVariant* retVal) {
    return PostPointer(Input.get(), HasSession() && ConnectedOrDispatching(), thread_messages::VncMouseUp,
                       Buttons, Modifiers, X, Y, retVal);
}

VNCStatus CVNCViewer::SendMouseMove(int32_t Buttons, int32_t Modifiers, const VNCVariant& X,
                                    const VNCVariant& Y, VNCVariant* retVal) {
    return SendMouseDown(Buttons, Modifiers, X, Y, retVal);
}

VNCStatus CVNCViewer::SendMouseClick(int32_t Buttons, int32_t Repeat, int32_t Modifiers, const VNCVariant& X,
                                     const VNCVariant& Y, VNCVariant* retVal) {
    SetRetVal(retVal, 0);
    for (int32_t i = 0; i < Repeat; ++i) {
        if (const VNCStatus status = SendMouseDown(Buttons, Modifiers, X, Y, retVal); status != VNC_S_OK)
            return status;
        if (const VNCStatus status = SendMouseUp(Buttons, Modifiers, X, Y, retVal); status != VNC_S_OK)
            return status;
    }
    return VNC_S_OK;
}

VNCStatus CVNCViewer::SendClipboard(int32_t DataType, const VNCVariant& Data, VNCVariant* retVal) {
    if (!Input) {
        SetRetVal(retVal, -1);
        return VNC_S_OK;
    }
    SetRetVal(retVal, 0);
    if (DataType == dovaDataFromClipboard) {
        RelayLocalText(false);
        return VNC_S_OK;
    }
    const QString text = Data.ToText();
    if (!text.isEmpty())
        PostClientText(text);
    return VNC_S_OK;
}

VNCStatus CVNCViewer::Refresh(int32_t X, int32_t Y, int32_t W, int32_t H, VNCVariant* retVal) {
    SetRetVal(retVal, 0);
    if (State->State.load() != states::Dispatching || !Input)
        return VNC_S_OK;
    RegionRecord region;
    if (X == 0 && Y == 0 && W == 0 && H == 0) {
        CLockGuard hold(*State);
        region.Width = State->FrameWidth;
        region.Height = State->FrameHeight;
    } else {
        region = RegionRecord{uint16_t(X), uint16_t(Y), uint16_t(W), uint16_t(H)};
    }
    Input->PostToThread(thread_messages::VncFrameUpdate, 0, 0, region);
    // Nudge the remote pointer one pixel and back, so that servers which only send what changed
    // also redraw the cursor area.
    const int32_t lastX = Input->LastPointerX();
    const VNCVariant missing;
    SendMouseMove(0, 0, VNCVariant(lastX > 0 ? lastX - 1 : lastX + 1), missing, nullptr);
    SendMouseMove(0, 0, VNCVariant(lastX), missing, nullptr);
    return VNC_S_OK;
}

VNCStatus CVNCViewer::RefreshRectangle(const VNCRectangle& Rectangle, VNCVariant* retVal) {
    if (!retVal)
        return VNC_E_INVALIDARG;
    return Refresh(Rectangle.Left, Rectangle.Top, Rectangle.Width, Rectangle.Height, retVal);
}

VNCStatus CVNCViewer::ChangeDisplaySettings(int32_t W, int32_t H, int32_t BitsPerPixel, int32_t Frequency,
                                            int32_t Flags, int32_t Display, VNCVariant* retVal) {
    SetRetVal(retVal, ChangeLocalDisplayMode(W, H, BitsPerPixel, Frequency, Flags, Display));
    return VNC_S_OK;
}

VNCStatus CVNCViewer::Command(const VNCVariant& v1, const VNCVariant& v2, const VNCVariant&,
                              const VNCVariant&, VNCVariant* retVal) {
    SetRetVal(retVal, 0);
    if (!v1.IsText())
        return VNC_S_OK;
    const QString keyword = v1.ToText();
    if (keyword == QLatin1String("use_compatible_zlib")) {
        const int32_t level =
            v2.Type() == VNCVariant::Kind::Int32 ? v2.ToInt32() : int32_t(int16_t(v2.ToInt32()));
        CLockGuard hold(*State);
        State->StreamLevel = level;
        State->StreamEnabled = level != 0;
    }
    // "full_screen" and "restore_screen" are recognised and do nothing; anything else is ignored.
    return VNC_S_OK;
}

VNCStatus CVNCViewer::TranslateButtons(int32_t Buttons, int32_t* value) {
    if (!value)
        return VNC_E_POINTER;
    int32_t result = Buttons & ~0x6;
    if (Buttons & 0x2)
        result |= dovaButtonRight;
    if (Buttons & 0x4)
        result |= dovaButtonMiddle;
    *value = result;
    return VNC_S_OK;
}

VNCStatus CVNCViewer::AboutBox() {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("About DOVA"),
                    QStringLiteral("Virtual Network Computing\nActiveX Control\n\n"
                                   "DOVA, the RFB viewer component of LatisVNC.\n"
                                   "Speaks the RFB protocol of RFC 6143.\n\n"
                                   "Provided as is, without warranty of any kind."),
                    QMessageBox::Ok, this);
    QPushButton* website = box.addButton(QStringLiteral("Visit &Website"), QMessageBox::ActionRole);
    box.exec();
    if (box.clickedButton() == website)
        QDesktopServices::openUrl(QUrl(QStringLiteral("https://www.rfc-editor.org/rfc/rfc6143")));
    return VNC_S_OK;
}

VNCStatus CVNCViewer::IsConnected(VNCBool* value) {
    if (!value)
        return VNC_E_POINTER;
    *value = (State->State.load() & states::Connected) ? VNC_TRUE : VNC_FALSE;
    return VNC_S_OK;
}

VNCStatus CVNCViewer::StretchX(int32_t Numerator, int32_t Denominator, VNCPoint* value) {
    if (Numerator > 0 && Denominator > 0) {
        {
            CLockGuard hold(*State);
            State->StretchXNum = Numerator;
            State->StretchXDen = Denominator;
        }
        ApplyStretchSetting();
    }
    if (value) {
        CLockGuard hold(*State);
        *value = VNCPoint{State->StretchXNum, State->StretchXDen};
    }
    return VNC_S_OK;
}

VNCStatus CVNCViewer::StretchY(int32_t Numerator, int32_t Denominator, VNCPoint* value) {
    if (Numerator > 0 && Denominator > 0) {
        {
            CLockGuard hold(*State);
            State->StretchYNum = Numerator;
            State->StretchYDen = Denominator;
        }
        ApplyStretchSetting();
    }
    if (value) {
        CLockGuard hold(*State);
        *value = VNCPoint{State->StretchYNum, State->StretchYDen};
    }
    return VNC_S_OK;
}

VNCStatus CVNCViewer::Encrypt(const QString& Data, const QString& Key, QString* value) {
    if (!value)
        return VNC_E_POINTER;
    return EncryptText(Data, Key, *value) ? VNC_S_OK : VNC_E_INVALIDARG;
}

VNCStatus CVNCViewer::Decrypt(const QString& Data, const QString& Key, QString* value) {
    if (!value)
        return VNC_E_POINTER;
    return DecryptText(Data, Key, *value) ? VNC_S_OK : VNC_E_INVALIDARG;
}

} // namespace dova
