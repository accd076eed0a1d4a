#pragma once
// The pointer shapes of the viewer: the platform's standard shapes, three built-in 32 x 32
// monochrome cursors, and a custom cursor made from the host's MouseIcon picture.

#include <QCursor>
#include <QImage>

#include <optional>

namespace dova {

// The three built-in cursors, by their resource numbers.
inline constexpr int SmallCircleCursor = 201;
inline constexpr int SmallSquareCursor = 203;
inline constexpr int InvisibleCursor = 204;

QCursor BuiltInCursor(int resource);

// The cursor for a MousePointer value; nothing when the value keeps the previous selection (4 and
// values without a shape). custom is the cursor made from MouseIcon, if any.
std::optional<QCursor> CursorForPointer(int32_t mousePointer, const std::optional<QCursor>& custom);

// A cursor of the standard size from a picture; nothing for an empty picture.
std::optional<QCursor> CursorFromPicture(const QImage& picture);

} // namespace dova
