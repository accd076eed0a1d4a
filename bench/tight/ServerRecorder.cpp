#include "ServerRecorder.h"

#include "engine/RectangleLoop.h"
#include "engine/RfbProtocol.h"
#include "engine/ViewerState.h"
#include "framebuffer/FrameBuffer.h"
#include "framebuffer/TightDecoder.h"
#include "screens/BenchScreens.h"
#include "screens/BenchSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace latis_bench {

namespace {

// The connection's bytes, kept whole so an update is a range of them.
class CRecordingSource : public dova::CByteSource {
public:
    explicit CRecordingSource(int fd) : Fd(fd) {}
    size_t Position() const { return WindowAt ? size_t(WindowAt - Bytes.data()) : 0; }
    const std::vector<uint8_t>& All() const { return Bytes; }
    uint8_t PeekByte() override {
        const uint8_t* at = Take(1);
        --WindowAt;
        return *at;
    }
    dova::CLockable& ReadLock() override { return Lock; }

protected:
    const uint8_t* TakeSlow(size_t n) override {
        const size_t at = Position();
        while (Bytes.size() - at < n) {
            uint8_t chunk[1 << 16];
            const ssize_t got = ::recv(Fd, chunk, sizeof chunk, 0);
            if (got <= 0)
                throw dova::CErrorException(dova::codes::SocketClosed, dova::texts::SocketClosed);
            Bytes.insert(Bytes.end(), chunk, chunk + got);
        }
        WindowAt = Bytes.data() + at + n;
        WindowEnd = Bytes.data() + Bytes.size();
        return Bytes.data() + at;
    }

private:
    int Fd;
    std::vector<uint8_t> Bytes;
    dova::CLockable Lock;
};

class CSocketSink : public dova::IByteSink {
public:
    explicit CSocketSink(int fd) : Fd(fd) {}
    void Write(const void* buffer, size_t length) override {
        const auto* at = static_cast<const uint8_t*>(buffer);
        SendAll(Fd, std::vector<uint8_t>(at, at + length));
    }
    dova::CLockable& WriteLock() override { return Lock; }

private:
    int Fd;
    dova::CLockable Lock;
};

bool Handshake(int fd, uint16_t& width, uint16_t& height) {
    uint8_t buffer[64];
    if (!ReceiveAll(fd, buffer, 12) ||
        !SendAll(fd, {'R', 'F', 'B', ' ', '0', '0', '3', '.', '0', '0', '8', '\n'}))
        return false;
    if (!ReceiveAll(fd, buffer, 1) || buffer[0] == 0 || !ReceiveAll(fd, buffer + 1, buffer[0]))
        return false;
    if (std::memchr(buffer + 1, 1, buffer[0]) == nullptr || !SendAll(fd, {1}))
        return false; // security None only
    if (!ReceiveAll(fd, buffer, 4) || buffer[3] != 0 || !SendAll(fd, {1}) || !ReceiveAll(fd, buffer, 24))
        return false;
    width = uint16_t((buffer[0] << 8) | buffer[1]);
    height = uint16_t((buffer[2] << 8) | buffer[3]);
    const uint32_t nameLength =
        (uint32_t(buffer[20]) << 24) | (buffer[21] << 16) | (buffer[22] << 8) | buffer[23];
    std::vector<uint8_t> name(nameLength);
    return ReceiveAll(fd, name.data(), name.size());
}

} // namespace

Recording RecordServer(uint16_t port, const std::vector<int32_t>& encodings, int quality, int compress,
                       int updates) {
    Recording out;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    uint16_t width = 0, height = 0;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        !Handshake(fd, width, height)) {
        out.Error = "no RFB 3.8 server without a password on that port";
        ::close(fd);
        return out;
    }
    dova::CViewerState state;
    state.Codecs.fill(-1);
    std::copy(encodings.begin(), encodings.end(), state.Codecs.begin());
    state.QualityLevel = quality;
    state.CompressLevel = compress;
    state.SetRequestedPixelFormat(32);
    state.CurrentPixelFormat = state.RequestedPixelFormat;
    state.CurrentPixelFormat.Depth = 24; // every encoding: the format Tight needs, for one comparison
    state.FrameWidth = width;
    state.FrameHeight = height;
    dova::CFrameBuffer frame;
    frame.Create(width, height, state.CurrentPixelFormat);
    CRecordingSource source(fd);
    CSocketSink sink(fd);
    dova::CRfbProtocol protocol(state, source, sink);
    protocol.SendSetPixelFormat(state.CurrentPixelFormat);
    protocol.SendSetEncodings();
    try {
        for (int i = 0; i < updates; ++i) {
            protocol.SendUpdateRequest({0, 0, width, height}, false);
            for (;;) { // skip anything before the update (a bell, a cut text)
                const size_t start = source.Position();
                const uint8_t type = source.ReadU8();
                if (type == 2)
                    continue;
                if (type == 3) { // cut text; a negative length is the extended clipboard's
                    source.Take(3);
                    const auto length = int32_t(source.ReadU32());
                    source.Take(size_t(length < 0 ? -int64_t(length) : length));
                    continue;
                }
                if (type != 0)
                    throw dova::CErrorException(0, "unexpected server message");
                source.Take(1);
                dova::CRectangleLoop::Run(protocol, frame, source.ReadU16());
                out.Updates.emplace_back(source.All().begin() + long(start),
                                         source.All().begin() + long(source.Position()));
                break;
            }
        }
    } catch (const dova::CSimpleException& e) {
        out.Error = e.Message;
    }
    ::close(fd);
    out.LastFrame.resize(size_t(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t v;
            std::memcpy(&v, frame.Data() + y * frame.Stride() + x * 4, 4);
            out.LastFrame[size_t(y) * width + size_t(x)] = v & 0xFFFFFFu;
        }
    return out;
}

} // namespace latis_bench
