// The viewer's duties towards the local desktop: clipboard both ways, the server's bell, cursors.
#include "Cursors.h"
#include "VNCViewer.h"
#include "WireText.h"

#include "engine/InputThread.h"

#include <QApplication>
#include <QClipboard>

namespace dova {

void CVNCViewer::OnServerBell() {
    int32_t action = dovaBellActionDefault;
    Raise([&](IVNCViewerEvents& sink) { sink.ServerBell(action); });
    if (action == dovaBellActionNone)
        return;
    // Low 16 bits all ones ask for the desktop's notification sound; anything else for a tone of
    // (low 16 bits) hertz lasting (high 16 bits) milliseconds, which needs an audio path the
    // component does not have. The desktop's bell serves both.
    QApplication::beep();
}

void CVNCViewer::OnServerCutText(uint32_t dataType) {
    std::string bytes;
    bool utf8 = false;
    while (State->TakeServerCutText(bytes, utf8)) {
        QString text = FromWireText(bytes, utf8);
        ServerClipboardText = text;
        int32_t action = RelayServerClipboardValue;
        VNCVariant data(text);
        const int32_t type = int32_t(dataType);
        Raise([&](IVNCViewerEvents& sink) { sink.ServerClipboard(type, data, action); });
        QClipboard* clipboard = action != 0 ? QGuiApplication::clipboard() : nullptr;
        if (clipboard) {
            PlacedServerText = text; // before: the change notice may come from within setText
            clipboard->setText(text);
        } else {
            PlacedServerText.reset(); // the server now holds a text the local clipboard does not
        }
    }
}

void CVNCViewer::OnLocalClipboardChanged() {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    QString text = clipboard ? clipboard->text() : QString();
    // Placing the server's text is a change too (one notice or more, by platform): relayed, it would
    // take the server's clipboard from the program that owns it there. Any other text is the
    // operator's and goes out, however soon after.
    if (PlacedServerText && text == *PlacedServerText)
        return;
    PlacedServerText.reset();
    RelayText(std::move(text), true);
}

void CVNCViewer::RelayLocalText(bool withEvent) {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    RelayText(clipboard ? clipboard->text() : QString(), withEvent);
}

void CVNCViewer::RelayText(QString text, bool withEvent) {
    int32_t action = RelayLocalClipboardValue;
    if (withEvent) {
        VNCVariant data(&text); // by reference: the host may change the text
        Raise([&](IVNCViewerEvents& sink) { sink.LocalClipboard(dovaDataText, data, action); });
    }
    if (action != 0 && HasSession() && ConnectedOrDispatching() && Input)
        PostClientText(text);
}

void CVNCViewer::PostClientText(const QString& text) {
    PlacedServerText.reset(); // the server's clipboard is no longer the text placed here
    if (State->Clipboard.Active()) {
        const QByteArray utf8 = text.toUtf8();
        Input->PostToThread(thread_messages::VncClientCutText, cut_text::Utf8, 0,
                            std::string(utf8.constData(), size_t(utf8.size())));
    } else {
        Input->PostToThread(thread_messages::VncClientCutText, cut_text::Plain, 0, ToWireText(text));
    }
}

void CVNCViewer::SelectCursor() {
    if (const std::optional<QCursor> chosen = CursorForPointer(MousePointerValue, CustomCursor))
        SelectedCursor = *chosen;
    UpdateCursorAt(mapFromGlobal(QCursor::pos()));
}

} // namespace dova
