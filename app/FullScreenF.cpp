#include "FullScreenF.h"

#include "DOVALib_TLB.h"
#include "VNCPanel.h"

#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace {

constexpr int ButtonLeft = 2;
constexpr int ButtonTop = 2;
constexpr int ButtonWidth = 100;
constexpr int ButtonGap = 2;
// By then a window manager has decorated a newly mapped window.
constexpr int FrameSettleMs = 300;
constexpr int MaxFitsAfterMoves = 4;
// The failure text is read from across the desk, not from a tile.
constexpr int FailureTextPixels = 22;
constexpr int FailureDetailPixels = 15;
constexpr int RetryButtonWidth = 160;

QString ConnectingText() {
    return QStringLiteral("Bağlanıyor...");
}
QString RetryCaption() {
    return QStringLiteral("Yeniden Bağlan");
}

// Its own colours, above any skin's: light text on a dark cover reads the same under every skin.
QString FailurePanelStyle() {
    return QStringLiteral("QFrame#FailurePanel { background: #000000; border: none; }"
                          "QLabel#FailureLabel { color: #ffffff; background: transparent; }"
                          "QLabel#FailureDetail { color: #d0d0d0; background: transparent; }");
}

QRect WorkArea(const QWidget* owner) {
    const QScreen* screen = owner && owner->screen() ? owner->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

} // namespace

TFullScreenF::TFullScreenF(QWidget* owner, const QString& caption)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("FullScreenForm"));
    setWindowTitle(caption);
    FCaption = caption;
    // The work area is the screen without the task bar; the window frame stays inside it.
    const QRect area = WorkArea(owner);
    setFixedSize(area.size());
    move(area.topLeft());
    FitFrameToWorkArea();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    FTopBar = new QFrame(this);
    FTopBar->setObjectName(QStringLiteral("TopBar"));
    FTopBar->setFixedHeight(TopBarHeight);
    FTopBar->setFrameStyle(QFrame::Panel | QFrame::Raised);
    layout->addWidget(FTopBar);

    FStartMenuButton = new QPushButton(QStringLiteral("BAŞLAT MENU"), FTopBar);
    FStartMenuButton->setObjectName(QStringLiteral("StartMenuButton"));
    FStartMenuButton->setGeometry(ButtonLeft + ButtonWidth + ButtonGap, ButtonTop, ButtonWidth,
                                  TopBarHeight - 2 * ButtonTop);
    // The buttons must not keep the keyboard focus: typed keys belong to the remote computer.
    FStartMenuButton->setFocusPolicy(Qt::NoFocus);

    FCtrlAltDelButton = new QPushButton(QStringLiteral("CTRL + ALT + DEL"), FTopBar);
    FCtrlAltDelButton->setObjectName(QStringLiteral("CtrlAltDelButton"));
    FCtrlAltDelButton->setGeometry(ButtonLeft, ButtonTop, ButtonWidth, TopBarHeight - 2 * ButtonTop);
    FCtrlAltDelButton->setFocusPolicy(Qt::NoFocus);
    for (QPushButton* button : {FStartMenuButton, FCtrlAltDelButton}) {
        button->setAutoDefault(false);
        // The captions must fit 100 pixels under every skin and font: shrink the type until they do.
        QFont small = button->font();
        for (int size = 11; size >= 7; --size) {
            small.setPixelSize(size);
            if (QFontMetrics(small).horizontalAdvance(button->text()) <= ButtonWidth - 6)
                break;
        }
        button->setFont(small);
        button->setStyleSheet(QStringLiteral("padding-left: 1px; padding-right: 1px;"));
    }

    FClientPanel = new QWidget(this);
    FClientPanel->setObjectName(QStringLiteral("ClientPanel"));
    FClientPanel->setAutoFillBackground(true);
    QPalette black = FClientPanel->palette();
    black.setColor(QPalette::Window, Qt::black);
    FClientPanel->setPalette(black);
    layout->addWidget(FClientPanel, 1);
    FClientPanel->installEventFilter(this);
    CreateFailurePanel();
}

void TFullScreenF::CreateFailurePanel() {
    FFailurePanel = new QFrame(this);
    FFailurePanel->setObjectName(QStringLiteral("FailurePanel"));
    FFailurePanel->setStyleSheet(FailurePanelStyle());
    FFailurePanel->hide();

    const auto makeLabel = [this](const QString& name, int pixels, bool bold) {
        auto* label = new QLabel(FFailurePanel);
        label->setObjectName(name);
        label->setAlignment(Qt::AlignCenter);
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText); // the control's message may carry the server's text
        QFont font = label->font();
        font.setPixelSize(pixels);
        font.setBold(bold);
        label->setFont(font);
        return label;
    };
    FFailureLabel = makeLabel(QStringLiteral("FailureLabel"), FailureTextPixels, true);
    FFailureDetail = makeLabel(QStringLiteral("FailureDetail"), FailureDetailPixels, false);

    FRetryButton = new QPushButton(RetryCaption(), FFailurePanel);
    FRetryButton->setObjectName(QStringLiteral("RetryButton"));
    FRetryButton->setAutoDefault(false);
    FRetryButton->setMinimumWidth(RetryButtonWidth);

    auto* column = new QVBoxLayout(FFailurePanel);
    column->addStretch(1);
    column->addWidget(FFailureLabel);
    column->addWidget(FFailureDetail);
    column->addSpacing(FailureTextPixels);
    column->addWidget(FRetryButton, 0, Qt::AlignHCenter);
    column->addStretch(1);
}

TFullScreenF::~TFullScreenF() {
    FViewer.reset();
    delete FClientPanel;
    delete FCtrlAltDelButton;
    delete FStartMenuButton;
    delete FTopBar;
}

bool TFullScreenF::CreateViewer() {
    FViewer = TVNCViewer::Create(FClientPanel);
    if (!FViewer || !FViewer->Widget()) {
        FViewer.reset();
        return false;
    }
    auto* fill = new QVBoxLayout(FClientPanel);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(FViewer->Widget());
    FViewer->SetName(TVNCPanel::FullScreenViewerName());
    FViewer->Widget()->show();
    return true;
}

void TFullScreenF::SetInputEnabled(bool enabled) {
    FClientPanel->setEnabled(enabled);
}

void TFullScreenF::ShowFailure(const QString& text) {
    if (FViewer && FViewer->Widget())
        FViewer->Widget()->hide();
    const qsizetype lineEnd = text.indexOf(u'\n');
    FFailureLabel->setText(lineEnd < 0 ? text : text.left(lineEnd));
    FFailureDetail->setText(lineEnd < 0 ? QString() : text.mid(lineEnd + 1));
    FRetryButton->setEnabled(true);
    FFailurePanel->setGeometry(FClientPanel->geometry());
    FFailurePanel->raise();
    FFailurePanel->show();
}

void TFullScreenF::ShowConnecting() {
    FFailureLabel->setText(ConnectingText());
    FFailureDetail->clear();
    FRetryButton->setEnabled(false);
}

void TFullScreenF::ShowLive() {
    if (FFailurePanel->isHidden())
        return; // a window that never failed is left exactly as it opened
    FFailurePanel->hide();
    if (FViewer && FViewer->Widget())
        FViewer->Widget()->show();
    FocusViewer();
}

void TFullScreenF::ShowSecurity(const QString& state) {
    setWindowTitle(state.isEmpty() ? FCaption : FCaption + QStringLiteral(" — ") + state);
}

void TFullScreenF::FocusViewer() {
    if (FViewer && FViewer->Widget() && FClientPanel->isEnabled())
        FViewer->Widget()->setFocus(Qt::ActiveWindowFocusReason);
}

bool TFullScreenF::eventFilter(QObject* watched, QEvent* event) {
    // The failure panel covers the client panel wherever the layout puts it.
    if (FFailurePanel && watched == FClientPanel &&
        (event->type() == QEvent::Resize || event->type() == QEvent::Move))
        FFailurePanel->setGeometry(FClientPanel->geometry());
    return QDialog::eventFilter(watched, event);
}

void TFullScreenF::FitFrameToWorkArea() {
    const QRect area = WorkArea(parentWidget());
    const QWindow* window = windowHandle();
    const QMargins frame = window ? window->frameMargins() : QMargins();
    const QSize inside(std::max(1, area.width() - frame.left() - frame.right()),
                       std::max(1, area.height() - frame.top() - frame.bottom()));
    if (size() != inside || minimumSize() != inside || maximumSize() != inside)
        setFixedSize(inside);
    // A top-level window's position is the position of its frame.
    if (frameGeometry().topLeft() != area.topLeft())
        move(area.topLeft());
}

void TFullScreenF::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    // Bounded: a window manager that insists on another place must not start a tug of war.
    if (isVisible() && FFitsAfterMoves > 0) {
        --FFitsAfterMoves;
        FitFrameToWorkArea();
    }
}

void TFullScreenF::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FFitsAfterMoves = MaxFitsAfterMoves;
    FitFrameToWorkArea();
    // Decorations may arrive after the first show without moving the window's frame.
    QTimer::singleShot(FrameSettleMs, this, [this] { FitFrameToWorkArea(); });
    // With input on, typing goes to the remote computer at once, without a first click into the view.
    FocusViewer();
}

void TFullScreenF::keyPressEvent(QKeyEvent* event) {
    // Only the close box ends the window: Escape is a key for the remote computer (and with input off
    // it must not throw the operator out of the view either).
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

TVNCViewer* TFullScreenF::FindViewer(const QWidget* button) {
    const QWidget* bar = button ? button->parentWidget() : nullptr;
    const auto* window = qobject_cast<const TFullScreenF*>(bar ? bar->parentWidget() : nullptr);
    if (!window || !window->FViewer || window->FViewer->Name() != TVNCPanel::FullScreenViewerName())
        return nullptr;
    return window->FViewer.get();
}
