#include "VNCPanel.h"

#include "FailureReason.h"
#include "FullScreenF.h"

#include <QLabel>
#include <QPushButton>

#include <memory>

using namespace dova;

namespace {

// Virtual-key codes the viewer control takes for the two remote-only key combinations.
constexpr int VkEscape = 27;
constexpr int VkDelete = 46;
constexpr int NoKey = 0; // the second call of each pair carries only the modifiers

// Each pair presses its modifiers before every key event and never lets them go; the closing key
// release without modifiers lets them go, so the remote computer is not left with Control (and Alt)
// held down, which would turn the operator's next keys into shortcuts.
void ReleaseRemoteModifiers(TVNCViewer& viewer) {
    viewer.SendKeyUp(NoKey, dovaModifierNone);
}

} // namespace

// The full-screen viewing window opened from a connected tile. The window has a viewer of its own;
// the tile's viewer pauses meanwhile and connects again afterwards.
void TVNCPanel::ShowFullScreen(bool inputEnabled) {
    auto window = std::make_unique<TFullScreenF>(this, Title());
    QPushButton* startMenu = window->StartMenuButton();
    QPushButton* ctrlAltDel = window->CtrlAltDelButton();
    connect(startMenu, &QPushButton::clicked, this, [this, startMenu] { SendStartMenuKeys(startMenu); });
    connect(ctrlAltDel, &QPushButton::clicked, this, [this, ctrlAltDel] { SendCtrlAltDelKeys(ctrlAltDel); });

    window->CreateViewer();
    window->SetInputEnabled(inputEnabled);
    if (TVNCViewer* viewer = window->Viewer()) {
        if (FLowBandwidth)
            viewer->PutCodecFirst(dovaCodecTight); // no quality level: lossless
        // The computer's copies reach the operator in both modes; the operator's own clipboard goes
        // to it only when the operator controls it.
        viewer->SetRelayServerClipboard(true);
        viewer->SetRelayLocalClipboard(inputEnabled);
        TFullScreenF* shown = window.get();
        viewer->OnConnected = [this, shown](TVNCViewer* sender, QString&) {
            ViewerConnected(sender);
            shown->ApplyFit(); // the frame's size is known now
            shown->ShowLive();
            VNCBool encrypted = VNC_FALSE, verified = VNC_FALSE;
            if (IVNCViewer* control = sender->Control()) {
                control->get_Encrypted(&encrypted);
                control->get_ServerVerified(&verified);
            }
            shown->ShowSecurity(SecurityStateText(encrypted, verified));
        };
        // A lost or refused connection must not look like a frozen screen that ignores the keyboard.
        viewer->OnError = [shown](TVNCViewer*, int number, QString& message, const VNCVariant& v1) {
            shown->ShowFailure(FailureReasonText(number, v1) + u'\n' + message);
        };
        // As on a tile: without a password to give, the attempt would otherwise wait for ever, silently.
        viewer->OnPassword = [this, shown](TVNCViewer* sender) {
            if (!FPassword.isEmpty())
                return;
            sender->Stop();
            shown->ShowFailure(PasswordMissingText());
        };
        // Only on the operator's word: nothing reconnects inside the window by itself.
        connect(shown->RetryButton(), &QPushButton::clicked, this, [this, shown, viewer] {
            shown->ShowConnecting();
            ConnectWithArguments(*viewer);
        });
        ConnectWithArguments(*viewer);
    }

    if (FViewerReady && FViewer) {
        FViewer->Stop();
        FViewer->Widget()->hide();
    }
    FStatusLabel->setText(QString());

    window->exec();

    if (FViewerReady && FViewer)
        FViewer->Connect(); // with the server, port and password it already holds
    if (TVNCViewer* viewer = window->Viewer()) {
        viewer->Disconnect();
        viewer->OnConnected = nullptr;
        viewer->OnError = nullptr;
        viewer->OnPassword = nullptr;
    }
    window.reset(); // viewer, client panel, buttons, top bar, then the window
}

void TVNCPanel::SendStartMenuKeys(QAbstractButton* Sender) {
    if (TVNCViewer* viewer = TFullScreenF::FindViewer(Sender)) {
        viewer->SendKeyPress(VkEscape, 1, dovaModifierControl);
        viewer->SendKeyPress(NoKey, 1, dovaModifierControl);
        ReleaseRemoteModifiers(*viewer);
    }
}

void TVNCPanel::SendCtrlAltDelKeys(QAbstractButton* Sender) {
    if (TVNCViewer* viewer = TFullScreenF::FindViewer(Sender)) {
        viewer->SendKeyPress(VkDelete, 1, dovaModifierControl + dovaModifierMenu);
        viewer->SendKeyPress(NoKey, 1, dovaModifierControl + dovaModifierMenu);
        ReleaseRemoteModifiers(*viewer);
    }
}
