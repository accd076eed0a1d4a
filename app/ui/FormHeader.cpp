#include "FormHeader.h"

#include <QLinearGradient>
#include <QPainter>

namespace {
constexpr int BevelWidth = 2;
constexpr int DiscDiameter = 12;
constexpr int DiscLeft = 14;
} // namespace

TFormHeader::TFormHeader(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("FormHeader"));
    setFixedHeight(HeaderHeight);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(BevelWidth);
    FTitleFont = QFont(QStringLiteral("MS Sans Serif"));
    FTitleFont.setPointSize(14);
    FTitleFont.setBold(true);
}

void TFormHeader::SetTitle(const QString& title) {
    FTitle = title;
    update();
}

void TFormHeader::SetTitleFont(const QFont& font) {
    FTitleFont = font;
    update();
}

void TFormHeader::paintEvent(QPaintEvent* event) {
    {
        QPainter p(this);
        const QRect inner = rect().adjusted(BevelWidth, BevelWidth, -BevelWidth, -BevelWidth);
        QLinearGradient gradient(inner.topLeft(), inner.topRight());
        gradient.setColorAt(0, FStartColor);
        gradient.setColorAt(1, FEndColor);
        p.fillRect(inner, gradient);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(FEndColor);
        p.drawEllipse(QRect(DiscLeft, (height() - DiscDiameter) / 2, DiscDiameter, DiscDiameter));
        p.setPen(Qt::white);
        p.setFont(FTitleFont);
        p.drawText(QRect(TitleLeft, 0, width() - TitleLeft, height()), Qt::AlignVCenter | Qt::AlignLeft,
                   FTitle);
    }
    QFrame::paintEvent(event); // the bevel over the gradient
}
