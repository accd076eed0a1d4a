#include "ScrollingText.h"

#include <QFontMetrics>
#include <QPainter>

TScrollingText::TScrollingText(const QStringList& lines, const QColor& textColor, const QColor& backColor,
                               QWidget* parent)
    : QFrame(parent), FLines(lines) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, backColor);
    colours.setColor(QPalette::WindowText, textColor);
    setPalette(colours);
    setAutoFillBackground(true);
    FTimer.setInterval(StepMilliseconds);
    connect(&FTimer, &QTimer::timeout, this, &TScrollingText::Step);
}

void TScrollingText::StartScrolling() {
    FTimer.start();
}

void TScrollingText::StopScrolling() {
    FTimer.stop();
}

int TScrollingText::TextHeight() const {
    return QFontMetrics(font()).lineSpacing() * int(FLines.size());
}

void TScrollingText::Step() {
    ++FOffset;
    // Once the last line has left the top, the text enters again from the bottom edge.
    if (FOffset > TextHeight())
        FOffset = -contentsRect().height();
    update();
}

void TScrollingText::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setClipRect(area);
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics metrics(font());
    int top = area.top() + 4 - FOffset;
    for (const QString& line : FLines) {
        if (top + metrics.lineSpacing() > area.top() && top < area.bottom())
            painter.drawText(QRect(area.left(), top, area.width(), metrics.lineSpacing()), Qt::AlignHCenter,
                             line);
        top += metrics.lineSpacing();
    }
}
