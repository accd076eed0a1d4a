#pragma once
// Where the drawn image sits in the window and whether it needs scroll bars. Plain integer rules,
// kept apart from the widget so they can be checked on their own.

namespace dova {

// Offset of the image along one axis. lowEdge / highEdge are the alignment bits of the left (top)
// and right (bottom) edge. An image wider than the window always starts at 0 so that scrolling can
// reach every part of it.
inline int AlignedOrigin(int alignment, int lowEdge, int highEdge, int client, int content) {
    if (alignment & lowEdge)
        return 0;
    if (content >= client)
        return 0;
    if (alignment & highEdge)
        return client - content;
    return (client - content) / 2;
}

// Whether one bar is needed. outer includes the bars; client is what is left inside the bars now
// shown. otherNeededForced is the other bar's forced test (content larger than the whole window).
inline bool BarNeeded(bool forced, int content, int client, int outer, bool otherNeededForced) {
    if (forced)
        return content > outer;
    if (content > client)
        return content > outer || otherNeededForced;
    return false;
}

// Clamps a scroll step so the position stays inside 0 .. rangeMax - page (0 when the content fits,
// so a stray step can never leave a position beyond the image).
inline int ClampScrollStep(int delta, int position, int rangeMax, int page) {
    const int last = rangeMax > page ? rangeMax - page : 0;
    if (delta > last - position)
        delta = last - position;
    if (delta < -position)
        delta = -position;
    return delta;
}

} // namespace dova
