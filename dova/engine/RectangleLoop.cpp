#include "RectangleLoop.h"

#include "../framebuffer/CopyRectDecoder.h"
#include "../framebuffer/FrameBuffer.h"
#include "../framebuffer/HextileDecoder.h"
#include "../framebuffer/RawDecoder.h"
#include "../framebuffer/RreDecoder.h"
#include "../framebuffer/TightDecoder.h"
#include "../framebuffer/ZrleDecoder.h"
#include "DecodeStatistics.h"
#include "RfbProtocol.h"
#include "ServerInit.h"
#include "ServerMessageReader.h"
#include "ViewerState.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

namespace dova {

namespace {

// The area of an update that waits for the closing repaint.
struct BoundingBox {
    bool Empty = true;
    int Left = 0, Top = 0, Right = 0, Bottom = 0;

    void Add(const RectangleHeader& r) {
        const int right = r.X + r.Width, bottom = r.Y + r.Height;
        if (Empty) {
            Left = r.X, Top = r.Y, Right = right, Bottom = bottom;
            Empty = false;
            return;
        }
        Left = std::min<int>(Left, r.X);
        Top = std::min<int>(Top, r.Y);
        Right = std::max(Right, right);
        Bottom = std::max(Bottom, bottom);
    }
};

[[noreturn]] void RaiseOutOfBounds(const RectangleHeader& r) {
    char text[256];
    std::snprintf(text, sizeof text, "Update rectangle out of bounds (%d, %d, %d, %d).", int(r.X), int(r.Y),
                  int(r.Width), int(r.Height));
    throw CErrorException(codes::Validity, text);
}

// The frame at the size a DesktopSize rectangle gives, in the format it had; the host hears of it as
// of a server that sent its ServerInit again.
void ResizeFrame(CViewerState& state, CFrameBuffer& frame, const RectangleHeader& r, ISessionLink* link) {
    if (r.Width == 0 || r.Height == 0 || r.Width > MaxFrameSide || r.Height > MaxFrameSide) {
        char text[128];
        std::snprintf(text, sizeof text, "Remote frame buffer size invalid (%d, %d).", int(r.Width),
                      int(r.Height));
        throw CErrorException(codes::Validity, text);
    }
    if (link)
        link->CheckNewFrameSize(r.Width, r.Height);
    PixelFormat format;
    {
        CLockGuard hold(state);
        state.FrameWidth = r.Width;
        state.FrameHeight = r.Height;
        format = state.CurrentPixelFormat;
    }
    frame.Create(r.Width, r.Height, format);
    state.Post(HostMessage::ServerInitUpdate);
}

// A thumbnail's frame follows the reduction the viewer asks for. The new frame starts from the old
// one's picture, scaled (so a resized tile does not go black), and the next request asks for the
// whole screen again.
void FollowReduction(CViewerState& state, CFrameBuffer& frame) {
    const int wanted = state.FrameReduction.load();
    if (wanted == frame.Reduction() || !frame.HasBitmap())
        return;
    const PixelFormat format = frame.Format();
    const int oldFactor = frame.Reduction(), oldStride = frame.Stride();
    std::vector<uint8_t> old;
    try {
        old.assign(frame.Data(), frame.Data() + size_t(oldStride) * size_t(frame.Height()));
    } catch (const std::bad_alloc&) {
        old.clear(); // starts black instead
    }
    frame.SetReduction(wanted);
    frame.Create(frame.RemoteWidth(), frame.RemoteHeight(), format);
    if (!old.empty()) {
        frame.BlendReduced(ScaledRect{old.data(), size_t(oldStride), oldFactor, 0, 0, frame.RemoteWidth(),
                                      frame.RemoteHeight()});
        frame.EndReducedUpdate();
    }
    state.FullRefreshRequested = true;
}

// Scratch frames up to this size are kept between updates; a larger one is given back after use.
constexpr size_t KeptScratchBytes = size_t(1) << 20;

// A rectangle of a reduced frame: decoded at full size into the scratch frame, then blended in.
// CopyRect moves the frame's own stored pixels.
void DecodeReduced(CRfbProtocol& protocol, IRectangleDecoder& decoder, CFrameBuffer& frame,
                   const RectangleHeader& rect, DecodeSettings& settings) {
    CByteSource& input = protocol.Input();
    if (rect.Encoding == encodings::CopyRect || rect.Width == 0 || rect.Height == 0) {
        decoder.Decode(input, frame, rect, settings); // an empty one reads its payload, writes nothing
        return;
    }
    CFrameBuffer& scratch = protocol.ReductionScratch();
    PixelFormat format = frame.Format();
    scratch.Reshape(rect.Width, rect.Height, format);
    RectangleHeader local = rect;
    local.X = local.Y = 0;
    settings.Reduced = &frame;
    settings.ReducedX = rect.X;
    settings.ReducedY = rect.Y;
    settings.WroteReduced = false;
    const bool progressive = settings.Progressive;
    settings.Progressive = false; // the scratch frame is shown by nobody
    decoder.Decode(input, scratch, local, settings);
    settings.Progressive = progressive;
    settings.Reduced = nullptr;
    if (!settings.WroteReduced) // the scratch frame is this thread's alone: no lock
        frame.BlendReduced(
            ScaledRect{scratch.Data(), size_t(scratch.Stride()), 1, rect.X, rect.Y, rect.Width, rect.Height});
    if (size_t(scratch.Stride()) * size_t(scratch.Height()) > KeptScratchBytes)
        scratch.Create(0, 0, format.BitsPerPixel);
}

} // namespace

IRectangleDecoder* CRectangleLoop::DecoderFor(int32_t encoding) {
    static CRawDecoder raw;
    static CCopyRectDecoder copyRect;
    static CRreDecoder rre(false);
    static CRreDecoder coRre(true);
    static CHextileDecoder hextile;
    switch (encoding) {
    case encodings::Raw:
        return &raw;
    case encodings::CopyRect:
        return &copyRect;
    case encodings::RRE:
        return &rre;
    case encodings::CoRRE:
        return &coRre;
    case encodings::Hextile:
        return &hextile;
    default:
        return nullptr;
    }
}

bool CRectangleLoop::Run(CRfbProtocol& protocol, CFrameBuffer& frame, uint16_t count, ISessionLink* link) {
    CViewerState& state = protocol.State();
    CByteSource& input = protocol.Input();
    DecodeSettings settings{&state.ProgressiveDrawing};
    settings.Refresh();
    FollowReduction(state, frame);

    // The frame as the server described it; the bitmap has that size too, and checking against both
    // keeps every write inside the bitmap even if they ever disagreed.
    uint32_t frameWidth, frameHeight;
    {
        CLockGuard hold(state);
        frameWidth = std::min<uint32_t>(state.FrameWidth, uint32_t(frame.RemoteWidth()));
        frameHeight = std::min<uint32_t>(state.FrameHeight, uint32_t(frame.RemoteHeight()));
    }

    BoundingBox box;
    bool resized = false;
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t* head = input.Take(12);
        RectangleHeader rect;
        rect.X = GetU16(head);
        rect.Y = GetU16(head + 2);
        rect.Width = GetU16(head + 4);
        rect.Height = GetU16(head + 6);
        rect.Encoding = int32_t(GetU32(head + 8));

        if (rect.Encoding == encodings::DesktopSize) {
            ResizeFrame(state, frame, rect, link);
            frameWidth = rect.Width;
            frameHeight = rect.Height;
            box = BoundingBox{}; // the old frame's areas: the whole new one is painted anyway
            resized = true;
            continue;
        }
        if (uint32_t(rect.X) + rect.Width > frameWidth || uint32_t(rect.Y) + rect.Height > frameHeight)
            RaiseOutOfBounds(rect);
        IRectangleDecoder* decoder = rect.Encoding == encodings::ZRLE    ? &protocol.ZrleDecoder()
                                     : rect.Encoding == encodings::Tight ? &protocol.TightDecoder()
                                                                         : DecoderFor(rect.Encoding);
        if (!decoder)
            RaiseMalformed(); // its payload cannot be skipped: everything after it would be misread
        if (frame.Reduction() > 1)
            DecodeReduced(protocol, *decoder, frame, rect, settings);
        else
            decoder->Decode(input, frame, rect, settings);
        if (protocol.Statistics)
            ++protocol.Statistics->Rectangles[size_t(rect.Encoding)]; // decodable encodings are 0 to 16

        // Decided after decoding, so a rectangle is always either repainted now or in the box, even
        // when Hextile switched Progressive in the middle of it.
        if (settings.Progressive)
            frame.RepaintRemote(rect.X, rect.Y, rect.Width, rect.Height);
        else
            box.Add(rect);

        if (state.FireFrameUpdates)
            state.Post(HostMessage::FrameUpdated, PackWords(rect.X, rect.Y),
                       PackWords(rect.Width, rect.Height));
    }
    if (frame.Reduction() > 1)
        frame.EndReducedUpdate();
    if (!box.Empty)
        frame.RepaintRemote(box.Left, box.Top, box.Right - box.Left, box.Bottom - box.Top);
    return resized;
}

} // namespace dova
