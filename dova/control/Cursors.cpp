#include "Cursors.h"

#include <QBitmap>
#include <QPixmap>

#include <array>

namespace dova {

namespace {
constexpr int CursorSize = 32;

// 5 x 5 shapes in the top-left corner: '#' black, '.' transparent.
constexpr std::array<const char*, 5> Circle = {".###.", "##.##", "#...#", "##.##", ".###."};
constexpr std::array<const char*, 5> Square = {"#####", "#...#", "#...#", "#...#", "#####"};

QCursor FromRows(const std::array<const char*, 5>* rows, int hotX, int hotY) {
    // Index 1 must be black: a new mono image has black at 0, and the bitmaps would come out inverted
    // (a black square with a hole where the shape is).
    const QList<QRgb> blackIsOne = {qRgb(255, 255, 255), qRgb(0, 0, 0)};
    QImage shape(CursorSize, CursorSize, QImage::Format_Mono);
    QImage mask(CursorSize, CursorSize, QImage::Format_Mono);
    shape.setColorTable(blackIsOne);
    mask.setColorTable(blackIsOne);
    shape.fill(0);
    mask.fill(0);
    if (rows)
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 5; ++x)
                if ((*rows)[size_t(y)][x] == '#') {
                    shape.setPixel(x, y, 1); // colour1 = black
                    mask.setPixel(x, y, 1);  // opaque
                }
    return QCursor(QBitmap::fromImage(shape), QBitmap::fromImage(mask), hotX, hotY);
}
} // namespace

QCursor BuiltInCursor(int resource) {
    switch (resource) {
    case SmallCircleCursor:
        return FromRows(&Circle, 2, 2);
    case SmallSquareCursor:
        return FromRows(&Square, 2, 2);
    default:
        return FromRows(nullptr, 0, 0);
    }
}

std::optional<QCursor> CursorForPointer(int32_t mousePointer, const std::optional<QCursor>& custom) {
    switch (mousePointer) {
    case 0:
    case 1:
        return QCursor(Qt::ArrowCursor);
    case 2:
        return QCursor(Qt::CrossCursor);
    case 3:
        return QCursor(Qt::IBeamCursor);
    case 5:
        return QCursor(Qt::SizeAllCursor);
    case 6:
        return QCursor(Qt::SizeBDiagCursor);
    case 7:
        return QCursor(Qt::SizeVerCursor);
    case 8:
        return QCursor(Qt::SizeFDiagCursor);
    case 9:
        return QCursor(Qt::SizeHorCursor);
    case 10:
        return QCursor(Qt::UpArrowCursor);
    case 11:
        return QCursor(Qt::WaitCursor);
    case 12:
        return QCursor(Qt::ForbiddenCursor);
    case 13:
        return QCursor(Qt::BusyCursor);
    case 14:
        return QCursor(Qt::WhatsThisCursor);
    case 15:
        return QCursor(Qt::SizeAllCursor);
    case 99:
        return custom ? *custom : QCursor(Qt::ArrowCursor);
    case 200:
        return BuiltInCursor(InvisibleCursor);
    case 201:
        return BuiltInCursor(SmallCircleCursor);
    case 202:
        return BuiltInCursor(SmallSquareCursor);
    default:
        return std::nullopt;
    }
}

std::optional<QCursor> CursorFromPicture(const QImage& picture) {
    if (picture.isNull())
        return std::nullopt;
    const QImage sized =
        picture.scaled(CursorSize, CursorSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return QCursor(QPixmap::fromImage(sized), 0, 0);
}

} // namespace dova
