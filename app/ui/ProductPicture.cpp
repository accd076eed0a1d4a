#include "ProductPicture.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

// One small monitor of the picture's wall of watched screens.
void DrawMonitor(QPainter& painter, const QRectF& box, const QColor& screen) {
    const qreal standHeight = box.height() * 0.18;
    const QRectF frame(box.left(), box.top(), box.width(), box.height() - standHeight);
    painter.setPen(QPen(QColor(20, 36, 64), 1.5));
    painter.setBrush(QColor(46, 62, 92));
    painter.drawRoundedRect(frame, 3, 3);
    const QRectF glass = frame.adjusted(4, 4, -4, -4);
    QLinearGradient shine(glass.topLeft(), glass.bottomRight());
    shine.setColorAt(0, screen.lighter(150));
    shine.setColorAt(1, screen);
    painter.setPen(Qt::NoPen);
    painter.setBrush(shine);
    painter.drawRect(glass);
    // a window and a task bar on the remote desktop
    painter.setBrush(QColor(255, 255, 255, 170));
    painter.drawRect(QRectF(glass.left() + glass.width() * 0.15, glass.top() + glass.height() * 0.15,
                            glass.width() * 0.5, glass.height() * 0.45));
    painter.setBrush(QColor(0, 0, 0, 90));
    painter.drawRect(
        QRectF(glass.left(), glass.bottom() - glass.height() * 0.14, glass.width(), glass.height() * 0.14));
    painter.setBrush(QColor(46, 62, 92));
    const qreal neck = box.width() * 0.12;
    painter.drawRect(QRectF(box.center().x() - neck / 2, frame.bottom(), neck, standHeight * 0.6));
    painter.drawRoundedRect(QRectF(box.center().x() - box.width() * 0.25, box.bottom() - standHeight * 0.4,
                                   box.width() * 0.5, standHeight * 0.4),
                            2, 2);
}

} // namespace

QPixmap DrawProductPicture(const QSize& size) {
    QPixmap picture(size);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal w = size.width();
    const qreal h = size.height();

    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor(99, 147, 206));
    sky.setColorAt(0.55, QColor(40, 78, 140));
    sky.setColorAt(1, QColor(12, 28, 60));
    painter.fillRect(picture.rect(), sky);

    // A lattice of thin lines: the "Latis" of the name.
    painter.setPen(QPen(QColor(255, 255, 255, 28), 1));
    for (qreal x = -h; x < w; x += 14) {
        painter.drawLine(QPointF(x, h), QPointF(x + h, 0));
        painter.drawLine(QPointF(x, 0), QPointF(x + h, h));
    }

    const QColor screens[] = {QColor(38, 120, 200), QColor(30, 150, 110), QColor(200, 110, 40),
                              QColor(120, 80, 180), QColor(40, 140, 170), QColor(180, 60, 70)};
    const qreal cell = (w - 24) / 2;
    const qreal top = h * 0.10;
    for (int i = 0; i < 6; ++i) {
        const qreal x = 8 + (i % 2) * (cell + 8);
        const qreal y = top + (i / 2) * (cell * 0.95 + 6);
        DrawMonitor(painter, QRectF(x, y, cell, cell * 0.95), screens[i]);
    }

    QFont nameFont(QStringLiteral("DejaVu Sans"));
    nameFont.setBold(true);
    nameFont.setPixelSize(int(w * 0.19));
    painter.setFont(nameFont);
    painter.setPen(Qt::white);
    const QRectF nameBox(0, h * 0.66, w, w * 0.3);
    painter.drawText(nameBox, Qt::AlignCenter, QStringLiteral("LatisVNC"));
    QFont makerFont(QStringLiteral("DejaVu Sans"));
    makerFont.setPixelSize(int(w * 0.085));
    makerFont.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    painter.setFont(makerFont);
    painter.setPen(QColor(229, 239, 255));
    painter.drawText(QRectF(0, nameBox.bottom(), w, w * 0.15), Qt::AlignCenter, QStringLiteral("TARNOVEX"));
    painter.end();
    return picture;
}
