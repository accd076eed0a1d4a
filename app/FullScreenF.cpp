#include "FullScreenF.h"

#include "DOVALib_TLB.h"
#include "VNCPanel.h"

#include <QCoreApplication>
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
constexpr int RefitCheckMs = 500; // how soon a remote screen of a new size is fitted again
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
QString CloseCaption() {
    return QStringLiteral("Kapat");
}
QString ModeName(bool control) {
    return control ? QStringLiteral("Kontrol modu") : QStringLiteral("Yalnız izleme");
}
QString ModeDetail(bool control) {
    return control ? QStringLiteral("Kontrol modu: klavye ve mouse bu bilgisayarda")
                   : QStringLiteral("Yalnız izleme: klavye ve mouse gönderilmiyor");
}
constexpr int ModeLabelGap = 12;
constexpr int FitButtonWidth = 130;
QString FitCaption() {
    return QStringLiteral("Pencereye Sığdır");
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
    FComputerName = caption;
    setWindowTitle(caption);
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

    CreateWayOut();

    FModeLabel = new QLabel(FTopBar);
    FModeLabel->setObjectName(QStringLiteral("ModeLabel"));
    QFont bold = FModeLabel->font();
    bold.setBold(true);
    FModeLabel->setFont(bold);
    const int modeLeft = ButtonLeft + 2 * (ButtonWidth + ButtonGap) + ModeLabelGap;
    FModeLabel->setGeometry(modeLeft, ButtonTop, QFontMetrics(bold).horizontalAdvance(ModeDetail(true)) + 20,
                            TopBarHeight - 2 * ButtonTop);

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

void TFullScreenF::CreateWayOut() {
    FCloseButton = new QPushButton(CloseCaption(), FTopBar);
    FCloseButton->setObjectName(QStringLiteral("CloseButton"));
    FCloseButton->setFocusPolicy(Qt::NoFocus);
    FCloseButton->setAutoDefault(false);
    FCloseButton->setFixedSize(ButtonWidth, TopBarHeight - 2 * ButtonTop);
    FCloseButton->setToolTip(CloseKeysText());
    connect(FCloseButton, &QPushButton::clicked, this, &QDialog::close);

    FFitButton = new QPushButton(FitCaption(), FTopBar);
    FFitButton->setObjectName(QStringLiteral("FitButton"));
    FFitButton->setCheckable(true);
    FFitButton->setChecked(TVNCPanel::FullScreenFit());
    FFitButton->setFocusPolicy(Qt::NoFocus);
    FFitButton->setAutoDefault(false);
    FFitButton->setFixedSize(FitButtonWidth, TopBarHeight - 2 * ButtonTop);
    connect(FFitButton, &QPushButton::toggled, this, [this](bool fit) {
        TVNCPanel::SetFullScreenFit(fit);
        ApplyFit();
    });
    // A remote screen that changes resolution is fitted again: the viewer raises no event for it.
    auto* refit = new QTimer(this);
    refit->setInterval(RefitCheckMs);
    connect(refit, &QTimer::timeout, this, [this] {
        if (FViewer && FitToWindow() && QSize(FViewer->FrameWidth(), FViewer->FrameHeight()) != FFittedFrame)
            ApplyFit();
    });
    refit->start();

    FCloseKeysLabel = new QLabel(QStringLiteral("Kapatmak için: ") + CloseKeysText(), FTopBar);
    FCloseKeysLabel->setObjectName(QStringLiteral("CloseKeysLabel"));
    FCloseKeysLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    FTopBar->installEventFilter(this);
    PlaceTopBarRight();
    // Seen before the viewer sees it: the viewer would relay the keys to the computer.
    QCoreApplication::instance()->installEventFilter(this);
}

void TFullScreenF::PlaceTopBarRight() {
    const int right = FTopBar->width() - ButtonLeft;
    FCloseButton->move(right - ButtonWidth, ButtonTop);
    const int labelWidth = FCloseKeysLabel->sizeHint().width();
    FCloseKeysLabel->setGeometry(FCloseButton->x() - ButtonGap * 4 - labelWidth, ButtonTop, labelWidth,
                                 TopBarHeight - 2 * ButtonTop);
    FFitButton->move(FCloseKeysLabel->x() - ButtonGap * 4 - FitButtonWidth, ButtonTop);
}

bool TFullScreenF::IsCloseKeys(const QKeyEvent& event) {
    const Qt::KeyboardModifiers held =
        event.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    return event.key() == Qt::Key_F12 && held == (Qt::ControlModifier | Qt::ShiftModifier);
}

QString TFullScreenF::CloseKeysText() {
    return QStringLiteral("Ctrl+Shift+F12");
}

void TFullScreenF::CloseByKeys() {
    if (FViewer && FClientPanel->isEnabled())
        FViewer->SendKeyUp(0, dova::dovaModifierNone);
    close();
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
    delete FFitButton;
    delete FCloseButton;
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

void TFullScreenF::SetFitToWindow(bool fit) {
    FFitButton->setChecked(fit);
}

bool TFullScreenF::FitToWindow() const {
    return FFitButton->isChecked();
}

void TFullScreenF::ApplyFit() {
    if (!FViewer)
        return;
    const int frameWidth = FViewer->FrameWidth(), frameHeight = FViewer->FrameHeight();
    FFittedFrame = QSize(frameWidth, frameHeight);
    const int width = FClientPanel->width(), height = FClientPanel->height();
    bool scale = FitToWindow() && frameWidth > 0 && frameHeight > 0 && width > 0 && height > 0;
    // One ratio for both axes, the narrower side's, so the picture keeps its shape.
    int numerator = width, denominator = frameWidth;
    if (scale && qint64(height) * frameWidth < qint64(width) * frameHeight) {
        numerator = height;
        denominator = frameHeight;
    }
    scale = scale && numerator < denominator; // a screen that fits already stays 1:1
    if (scale) {
        FViewer->StretchX(numerator, denominator);
        FViewer->StretchY(numerator, denominator);
    }
    if (FViewer->Stretch() != scale)
        FViewer->SetStretch(scale);
}

void TFullScreenF::SetInputEnabled(bool enabled) {
    FClientPanel->setEnabled(enabled);
    FModeTitle = ModeName(enabled);
    UpdateTitle();
    FModeLabel->setText(ModeDetail(enabled));
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
    FSecurityTitle = state;
    UpdateTitle();
}

// The computer's name, then the mode, then the connection's security once it is known.
void TFullScreenF::UpdateTitle() {
    QString title = FComputerName;
    if (!FModeTitle.isEmpty())
        title += QStringLiteral(" - ") + FModeTitle;
    if (!FSecurityTitle.isEmpty())
        title += QStringLiteral(" — ") + FSecurityTitle;
    setWindowTitle(title);
}

void TFullScreenF::FocusViewer() {
    if (FViewer && FViewer->Widget() && FClientPanel->isEnabled())
        FViewer->Widget()->setFocus(Qt::ActiveWindowFocusReason);
}

bool TFullScreenF::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::KeyRelease || type == QEvent::ShortcutOverride) {
        const auto* widget = qobject_cast<const QWidget*>(watched);
        if (widget && widget->window() == this && IsCloseKeys(*static_cast<QKeyEvent*>(event))) {
            if (type == QEvent::KeyPress && isVisible())
                CloseByKeys();
            event->accept();
            return true;
        }
        return QDialog::eventFilter(watched, event);
    }
    if (watched == FTopBar && type == QEvent::Resize)
        PlaceTopBarRight();
    if (watched == FClientPanel && type == QEvent::Resize && FitToWindow())
        ApplyFit();
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
