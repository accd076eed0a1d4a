#include "ViewerState.h"

#include "../framebuffer/TightDecoder.h"
#include "../framebuffer/ZrleDecoder.h"

#include <algorithm>

namespace dova {

CViewerState::CViewerState(IHostPoster* host) : Host(host) {
    PixelFormat::ForBitsPerPixel(16, CurrentPixelFormat);
    RequestedPixelFormat = CurrentPixelFormat;
}

CViewerState::~CViewerState() = default;

void CViewerState::Post(HostMessage message, uint32_t wParam, uint32_t lParam) {
    if (Host)
        Host->Post(message, wParam, lParam);
}

void CViewerState::ReportException(const CSimpleException& exception) {
    {
        CLockGuard hold(*this);
        ExceptionQueue.push_back(std::make_unique<CSimpleException>(exception));
    }
    Post(HostMessage::Exception);
}

bool CViewerState::TakeException(std::unique_ptr<CSimpleException>& out) {
    CLockGuard hold(*this);
    if (ExceptionQueue.empty())
        return false;
    out = std::move(ExceptionQueue.front());
    ExceptionQueue.pop_front();
    return true;
}

void CViewerState::QueueServerCutText(std::string text, bool utf8) {
    {
        CLockGuard hold(*this);
        ServerCutTextQueue.push_back({std::move(text), utf8});
    }
    Post(HostMessage::ServerCutText, 1, 0);
}

bool CViewerState::TakeServerCutText(std::string& out) {
    bool utf8;
    return TakeServerCutText(out, utf8);
}

bool CViewerState::TakeServerCutText(std::string& out, bool& utf8) {
    CLockGuard hold(*this);
    if (ServerCutTextQueue.empty())
        return false;
    out = std::move(ServerCutTextQueue.front().Bytes);
    utf8 = ServerCutTextQueue.front().Utf8;
    ServerCutTextQueue.pop_front();
    return true;
}

int CViewerState::SetRequestedPixelFormat(int bitsPerPixel) {
    CLockGuard hold(*this);
    PixelFormat wanted;
    if (!PixelFormat::ForBitsPerPixel(bitsPerPixel, wanted))
        return CurrentPixelFormat.BitsPerPixel;
    if (wanted.BitsPerPixel == 32 && ThreeBytePixelCodecAmongCodecs())
        wanted.Depth = 24;
    RequestedPixelFormat = wanted;
    return bitsPerPixel;
}

bool CViewerState::ThreeBytePixelCodecAmongCodecs() const {
    return std::any_of(Codecs.begin(), Codecs.end(),
                       [](int32_t codec) { return codec == encodings::Tight || codec == encodings::ZRLE; });
}

bool CViewerState::CodecsChanged() {
    CLockGuard hold(*this);
    const PixelFormat before = RequestedPixelFormat;
    SetRequestedPixelFormat(RequestedPixelFormat.BitsPerPixel);
    return RequestedPixelFormat != before;
}

} // namespace dova
