#include "AboutF.h"

#include "MakerInfo.h"
#include "MemoryStatus.h"
#include "ScrollingText.h"

#include <QDesktopServices>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QUrl>

namespace {

constexpr int StatusBarHeight = 20;

QLabel* MakeLabel(QWidget* parent, const QString& text, const QRect& bounds) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(bounds);
    return label;
}

} // namespace

TAboutF::TAboutF(const QString& caption, const QString& programName, const QPixmap& picture, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setWindowTitle(caption);
    setFixedSize(ClientWidth, ClientHeight);

    FPicture = MakeLabel(this, QString(), QRect(0, 0, PictureWidth, ClientHeight - StatusBarHeight));
    FPicture->setPixmap(picture);
    FPicture->setScaledContents(true);
    FPicture->setCursor(Qt::PointingHandCursor);
    FPicture->installEventFilter(this);

    FCredits = new TScrollingText(MakerInfo::CreditLines(), QColor(255, 255, 160), QColor(12, 28, 60), this);
    FCredits->setGeometry(8, 150, PictureWidth - 16, 220);
    FCredits->hide();

    const int right = PictureWidth + 4;
    FHeading = MakeLabel(this, programName, QRect(right, 8, 315, 33));
    FHeading->setAlignment(Qt::AlignCenter);
    QFont headingFont = FHeading->font();
    headingFont.setBold(true);
    headingFont.setPixelSize(19);
    FHeading->setFont(headingFont);

    QStringList lines = MakerInfo::LegalAndContactLines();
    lines.prepend(programName);
    FInformation = new TScrollingText(lines, QColor(0, 255, 0), Qt::black, this);
    FInformation->setGeometry(right + 10, 48, 296, 214);

    MakeLabel(this, QStringLiteral("Fiziksel Hafıza :"), QRect(right + 10, 276, 140, 18));
    FPhysicalValue = MakeLabel(this, QString(), QRect(right + 150, 276, 146, 18));
    MakeLabel(this, QStringLiteral("Kullanımdaki Hafıza :"), QRect(right + 10, 298, 140, 18));
    FLoadValue = MakeLabel(this, QString(), QRect(right + 150, 298, 146, 18));
    for (QLabel* value : {FPhysicalValue, FLoadValue})
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    FillMemoryLines();

    auto* web = MakeLabel(
        this, QStringLiteral("<a href=\"%1\">%2</a>").arg(MakerInfo::WebAddress(), MakerInfo::WebCaption()),
        QRect(right + 10, 330, 296, 18));
    auto* mail = MakeLabel(this,
                           QStringLiteral("<a href=\"mailto:destek@tarnovex.com\">"
                                          "destek@tarnovex.com</a>"),
                           QRect(right + 10, 350, 296, 18));
    for (QLabel* link : {web, mail}) {
        link->setTextFormat(Qt::RichText);
        link->setAlignment(Qt::AlignCenter);
        // Opened by the desktop's default program; a failure (no browser) is nothing to report.
        connect(link, &QLabel::linkActivated, this,
                [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); });
    }

    FOkButton = new QPushButton(QStringLiteral("Tamam"), this);
    FOkButton->setGeometry(ClientWidth - 95, ClientHeight - StatusBarHeight - 38, 85, 27);
    FOkButton->setDefault(true);
    connect(FOkButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* status = MakeLabel(this, MakerInfo::MakerName() + QLatin1Char(' ') + programName,
                             QRect(0, ClientHeight - StatusBarHeight, ClientWidth, StatusBarHeight));
    status->setAlignment(Qt::AlignCenter);
    status->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);

    auto* creditsKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_T), this);
    connect(creditsKey, &QShortcut::activated, this, &TAboutF::ToggleCredits);

    // Centred on the desktop, not on the owner.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desktop = screen->availableGeometry();
        move(desktop.center() - QPoint(ClientWidth / 2, ClientHeight / 2));
    }
}

void TAboutF::FillMemoryLines() {
    const MemoryStatus memory = ReadMemoryStatus();
    FPhysicalValue->setText(FormatPhysicalMemory(memory.TotalPhysicalKb));
    FLoadValue->setText(FormatMemoryLoad(memory.LoadPercent));
}

void TAboutF::ToggleCredits() {
    if (FCredits->isVisible()) {
        FCredits->StopScrolling();
        FCredits->hide();
    } else {
        FCredits->show();
        FCredits->raise();
        FCredits->StartScrolling();
    }
}

void TAboutF::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FInformation->StartScrolling();
}

void TAboutF::hideEvent(QHideEvent* event) {
    FInformation->StopScrolling();
    FCredits->StopScrolling();
    QDialog::hideEvent(event);
}

bool TAboutF::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FPicture && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        ToggleCredits();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
