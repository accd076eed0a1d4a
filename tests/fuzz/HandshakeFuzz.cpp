// libFuzzer target: whatever a server sends during the handshake, the viewer either connects or
// raises an engine exception, and never reads or allocates beyond the bounds it sets.

#include "base/EngineExceptions.h"
#include "engine/CoolSocket.h"
#include "engine/Handshake.h"
#include "engine/ViewerState.h"

#include <cstddef>
#include <cstdint>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Larger inputs would only fill the socket buffer; the handshake reads far less than this.
constexpr size_t MaxInput = 64 * 1024;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > MaxInput)
        return 0;
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return 0;
    int buffer = int(MaxInput * 4);
    ::setsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    size_t sent = 0;
    while (sent < size) {
        const ssize_t put = ::send(pair[0], data + sent, size - sent, MSG_NOSIGNAL);
        if (put <= 0)
            break;
        sent += size_t(put);
    }
    ::shutdown(pair[0], SHUT_WR); // the server says nothing more

    dova::CViewerState state;
    state.Password = "password"; // no prompt: nobody would answer it
    // Every policy in turn, so VeNCrypt and the TLS handshake see hostile input too.
    state.Encryption.Policy = dova::EncryptionPolicy(int(size % 3));
    state.Encryption.UserName = "user";
    dova::CCoolSocket socket(state);
    socket.AttachConnected(pair[1]);
    try {
        // A newer server's refusal is followed, as on a second connection, by the rest of the input.
        if (!dova::RunHandshakeOn(state, socket, dova::HandshakeDialect::Classic))
            dova::RunHandshakeOn(state, socket, dova::HandshakeDialect::Negotiated);
    } catch (const dova::CSimpleException&) {
    }
    ::close(pair[0]);
    return 0;
}
