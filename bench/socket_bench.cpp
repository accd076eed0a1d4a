// The session's read path end to end: a feeder thread of this program plays the server on a loopback
// TCP connection and answers every update request with a whole 1920 x 1080 Hextile frame in which
// every tile changes; the session's message reader reads it through the socket transport, exactly as
// the session thread does. Prints the reader's CPU time per frame as a multiple of one memcpy of a
// 1920 x 1080 x 4 frame, measured in the same run, and the same over anonymous TLS (AES-GCM) as a
// multiple of the plain path, beside what the cipher alone costs on the same bytes (the floor of
// any TLS path: AES-GCM decrypting 16 KiB records in this thread, no socket, no copies).
//
//   socket_bench [frames] [16|32]   (build with CMAKE_BUILD_TYPE=Release; both depths by default)

#include "TlsServerSide.h"
#include "engine/CoolSocket.h"
#include "engine/RfbProtocol.h"
#include "engine/ServerMessageReader.h"
#include "engine/ViewerState.h"
#include "framebuffer/FrameBuffer.h"
#include "screens/BenchScreens.h"
#include "screens/BenchSupport.h"

#include <gnutls/crypto.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

using namespace dova;

namespace {

constexpr int Width = latis_bench::ScreenWidth;
constexpr int Height = latis_bench::ScreenHeight;
// Distinct frames the feeder cycles through, so no tile repeats its previous frame.
constexpr int FrameVariants = 4;

double WallMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Result {
    double CpuMs = 0, WallMs = 0;
    size_t Bytes = 0;
    std::string Cipher;
};

Result Run(int bpp, int frames, bool tls) {
    std::vector<std::vector<uint8_t>> variants;
    for (int i = 0; i < FrameVariants; ++i)
        variants.push_back(latis_bench::MakeBusyScreen(bpp, unsigned(100 + i)).Hextile);

    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("listen on 127.0.0.1");
        std::exit(1);
    }

    constexpr int Warmup = 5;
    // The feeder keeps one frame ahead of the requests, as a server whose updates are already on the
    // wire: the reader's CPU then counts its reading, not its waking for a feeder that is still
    // encrypting on the other core.
    std::thread feeder([&] {
        const int fd = ::accept(listener, nullptr, nullptr);
        uint8_t request[10];
        if (tls) {
            latis_test::TlsServerSide side(fd);
            if (side.Handshake()) {
                side.Send(variants[0]);
                for (int i = 1; i <= Warmup + frames; ++i) {
                    if (side.Receive(sizeof request).size() != sizeof request)
                        break;
                    side.Send(variants[size_t(i % FrameVariants)]);
                }
            }
        } else {
            if (latis_bench::SendAll(fd, variants[0]))
                for (int i = 1; i <= Warmup + frames; ++i)
                    if (!latis_bench::ReceiveAll(fd, request, sizeof request) ||
                        !latis_bench::SendAll(fd, variants[size_t(i % FrameVariants)]))
                        break;
        }
        ::shutdown(fd, SHUT_WR);
        while (latis_bench::ReceiveAll(fd, request,
                                       sizeof request)) { // the last request, then the viewer's close
        }
        ::close(fd);
    });

    Result result;
    {
        latis_bench::LoopbackReader session(Width, Height, bpp, ntohs(address.sin_port));
        if (tls) {
            session.Socket.StartTls(TlsMode::Anonymous, "127.0.0.1", "");
            result.Cipher = session.Socket.Channel()->Details();
        }
        session.Reader.RequestFirstUpdate();
        for (int i = 0; i < Warmup; ++i)
            session.Reader.ReadMessage();
        const uint32_t bytesBefore = session.Socket.TotalRead();
        const double cpu = latis_bench::ThreadCpuMs(), wall = WallMs();
        for (int i = 0; i < frames; ++i)
            session.Reader.ReadMessage();
        result.CpuMs = latis_bench::ThreadCpuMs() - cpu;
        result.WallMs = WallMs() - wall;
        result.Bytes = size_t(session.Socket.TotalRead() - bytesBefore);
    } // closed by its owner: the feeder sees the viewer go
    feeder.join();
    ::close(listener);
    return result;
}

// CPU to decrypt `bytes` as AES-128-GCM records of 16 KiB, best of a few rounds.
double CipherAloneMs(size_t bytes) {
    constexpr size_t Record = 16 * 1024, Tag = 16;
    uint8_t keyBytes[16] = {1, 2, 3}, nonce[12] = {};
    gnutls_datum_t key{keyBytes, sizeof keyBytes};
    gnutls_aead_cipher_hd_t cipher = nullptr;
    if (gnutls_aead_cipher_init(&cipher, GNUTLS_CIPHER_AES_128_GCM, &key) != 0)
        return 0;
    std::vector<uint8_t> plain(Record, 7), sealed(Record + Tag), opened(Record);
    size_t sealedSize = sealed.size();
    gnutls_aead_cipher_encrypt(cipher, nonce, sizeof nonce, nullptr, 0, Tag, plain.data(), plain.size(),
                               sealed.data(), &sealedSize);
    double best = 1e9;
    for (int round = 0; round < 10; ++round) {
        const double start = latis_bench::ThreadCpuMs();
        for (size_t done = 0; done < bytes; done += Record) {
            size_t openedSize = opened.size();
            if (gnutls_aead_cipher_decrypt(cipher, nonce, sizeof nonce, nullptr, 0, Tag, sealed.data(),
                                           sealedSize, opened.data(), &openedSize) != 0)
                std::abort();
        }
        best = std::min(best, latis_bench::ThreadCpuMs() - start);
    }
    gnutls_aead_cipher_deinit(cipher);
    return best;
}

double MemcpyMs() {
    const size_t size = size_t(Width) * Height * 4;
    std::vector<uint8_t> from(size, 1), to(size, 2);
    double best = 1e9;
    for (int round = 0; round < 20; ++round) {
        from[size_t(round)] = uint8_t(round);
        const double start = latis_bench::ThreadCpuMs();
        std::memcpy(to.data(), from.data(), size);
        best = std::min(best, latis_bench::ThreadCpuMs() - start);
        if (to[size_t(round)] != uint8_t(round))
            std::abort();
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    const int only = argc > 2 ? std::atoi(argv[2]) : 0; // one depth alone, for a profiler
    const double memcpyMs = MemcpyMs();
    std::printf("memcpy of one 1920 x 1080 x 4 frame: %.3f ms\n", memcpyMs);
    std::printf("%-28s %9s %11s %10s %12s\n", "stream", "MB/frame", "CPU ms/fr", "x memcpy", "wall ms/fr");
    for (int bpp : {16, 32}) {
        if (only && bpp != only)
            continue;
        const Result r = Run(bpp, frames, false);
        std::printf("Hextile %2d bpp over loopback %9.2f %11.3f %10.2f %12.3f\n", bpp,
                    double(r.Bytes) / frames / 1e6, r.CpuMs / frames, r.CpuMs / frames / memcpyMs,
                    r.WallMs / frames);
        const Result t = Run(bpp, frames, true);
        std::printf("Hextile %2d bpp over TLS      %9.2f %11.3f %10.2f %12.3f   %.2fx plain\n", bpp,
                    double(t.Bytes) / frames / 1e6, t.CpuMs / frames, t.CpuMs / frames / memcpyMs,
                    t.WallMs / frames, t.CpuMs / r.CpuMs);
        const double cipherMs = CipherAloneMs(t.Bytes / size_t(frames));
        std::printf("  (%s; AES-128-GCM alone on these bytes: %.3f ms/fr, %.2fx plain)\n", t.Cipher.c_str(),
                    cipherMs, 1 + cipherMs / (r.CpuMs / frames));
    }
    return 0;
}
