#include "CoolSocket.h"

#include "../base/EngineExceptions.h"
#include "ConnectionHealth.h"
#include "NameLookup.h"
#include "ViewerState.h"

#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace dova {

namespace {
// How often a pending connect looks at the closing flag.
constexpr int ConnectPollSliceMs = 50;
} // namespace

CCoolSocket::CCoolSocket(CViewerState& owner)
    : State(owner), Writing(std::make_unique<CLockable>()), Reading(std::make_unique<CLockable>()) {}

CCoolSocket::~CCoolSocket() {
    {
        CLockGuard hold(*this);
        Close();
    }
    // No read or write may still be running once both locks are ours.
    CLockGuard reading(*Reading);
    CLockGuard writing(*Writing);
    const int fd = Descriptor.exchange(-1);
    Tls.reset();
    if (fd >= 0)
        ::close(fd);
    Stream.reset();
}

namespace {

// A descriptor that is closed unless handed on.
class CPendingDescriptor {
public:
    explicit CPendingDescriptor(int fd) : Fd(fd) {}
    ~CPendingDescriptor() {
        if (Fd >= 0)
            ::close(Fd);
    }
    CPendingDescriptor(const CPendingDescriptor&) = delete;
    CPendingDescriptor& operator=(const CPendingDescriptor&) = delete;
    int Get() const { return Fd; }
    int Release() { return std::exchange(Fd, -1); }

private:
    int Fd;
};

} // namespace

ConnectionLimits CCoolSocket::CurrentLimits() {
    CLockGuard settings(State);
    return State.Limits;
}

void CCoolSocket::Connect(const std::string& host, int port) {
    // Read before the socket's own lock is taken: the state lock is never taken under it.
    const ConnectionLimits limits = CurrentLimits();
    CLockGuard hold(*this);
    // An owner close that came before the attempt began still ends it: the closing flag is never
    // cleared here (a socket serves one attempt only).
    if (Closing)
        throw CQuietException();
    LastHost = host;
    LastPort = port;
    ConnectToHost(limits);
}

void CCoolSocket::Reconnect() {
    const ConnectionLimits limits = CurrentLimits();
    CLockGuard hold(*this);
    if (Closing)
        throw CQuietException();
    ConnectToHost(limits);
}

void CCoolSocket::ConnectToHost(const ConnectionLimits& limits) {
    std::vector<SocketAddress> addresses;
    switch (LookUpAddresses(LastHost, LastPort, addresses, Closing, LookupWake)) {
    case LookupResult::Found:
        break;
    case LookupResult::Abandoned:
        throw CQuietException();
    case LookupResult::NotFound:
        throw CErrorException(codes::SocketNoAddress, texts::SocketNoAddress);
    }

    // Each address in turn, all within one ConnectTimeout; an unreachable address may use its share
    // of what is left, so a later one still gets its chance.
    const auto deadline = std::chrono::steady_clock::now() + ConnectTimeout;
    int lastError = ETIMEDOUT;
    for (size_t i = 0; i < addresses.size(); ++i) {
        const auto left = deadline - std::chrono::steady_clock::now();
        const auto share = left / std::chrono::steady_clock::rep(addresses.size() - i);
        const int fd = ConnectTo(addresses[i], std::chrono::steady_clock::now() + share, lastError);
        if (fd < 0)
            continue;
        ApplyKeepAlive(fd, limits);
        InstallDescriptor(fd);
        if (Closing)
            throw CQuietException();
        return;
    }
    FailConnect(lastError);
}

int CCoolSocket::ConnectTo(const SocketAddress& address, std::chrono::steady_clock::time_point deadline,
                           int& error) {
    CPendingDescriptor fd(::socket(address.Family(), SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.Get() < 0) {
        if (address.Family() == AF_INET6)
            return -1; // no IPv6 on this machine: the name's other addresses may still do
        throw CErrorException(codes::SocketCreate, texts::SocketCreate);
    }
    const int on = 1;
    if (::setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0)
        throw CWarningException(0, texts::NagleOff);
    const linger noLinger{0, 0};
    if (::setsockopt(fd.Get(), SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger) != 0)
        throw CWarningException(0, texts::LingerOff);

    // Non-blocking connect, polled in slices so an owner close ends it at once and an unreachable
    // address gives up at the deadline instead of after the kernel's two minutes.
    const int flags = ::fcntl(fd.Get(), F_GETFL, 0);
    ::fcntl(fd.Get(), F_SETFL, flags | O_NONBLOCK);
    if (::connect(fd.Get(), address.Get(), address.Length) != 0) {
        if (errno != EINPROGRESS) {
            error = errno;
            return -1;
        }
        PublishConnecting(fd.Get());
        // Withdrawn on every way out, before the descriptor is closed (fd is declared earlier).
        struct Withdraw {
            CCoolSocket& Socket;
            ~Withdraw() { Socket.PublishConnecting(-1); }
        } withdraw{*this};
        for (;;) {
            if (Closing)
                throw CQuietException();
            if (std::chrono::steady_clock::now() >= deadline) {
                error = ETIMEDOUT;
                return -1;
            }
            pollfd waitFor{fd.Get(), POLLOUT, 0};
            const int ready = ::poll(&waitFor, 1, ConnectPollSliceMs);
            if (ready < 0 && errno != EINTR) {
                error = errno;
                return -1;
            }
            if (ready > 0)
                break;
        }
        if (Closing) // woken by Close, whatever the socket now says
            throw CQuietException();
        int failure = 0;
        socklen_t size = sizeof failure;
        if (::getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &failure, &size) != 0)
            failure = errno;
        if (failure != 0) {
            error = failure;
            return -1;
        }
    }
    ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK);
    return fd.Release();
}

void CCoolSocket::PublishConnecting(int fd) {
    std::lock_guard<std::mutex> hold(ConnectingMutex);
    ConnectingDescriptor = fd;
}

void CCoolSocket::InstallDescriptor(int fd) {
    const int current = Descriptor.load();
    if (current < 0) {
        Descriptor = fd;
    } else {
        // A second connection of the same attempt takes the old one's number, so a Close racing with
        // the switch shuts down either connection, never a number another part of the process reuses.
        CLockGuard reading(*Reading);
        CLockGuard writing(*Writing);
        ::dup2(fd, current);
        ::close(fd);
    }
    Open = true;
}

void CCoolSocket::FailConnect(int error) {
    if (Closing)
        throw CQuietException();
    throw CErrorException(codes::SocketConnect, texts::SocketConnect, FailureCause(error));
}

void CCoolSocket::AttachConnected(int descriptor) {
    CLockGuard hold(*this);
    Closing = false;
    Descriptor = descriptor;
    Open = descriptor >= 0;
}

bool CCoolSocket::ReadThroughStream() const {
    if (!Stream)
        return false;
    if (ForceStream)
        return true;
    if (!StreamCodingActive)
        return false;
    CLockGuard hold(State);
    return State.StreamCodingMessage[1] == 1;
}

void CCoolSocket::FailRead(long result, int error) {
    if (Closing)
        throw CQuietException();
    if (result == 0)
        throw CErrorException(codes::SocketClosed, texts::SocketClosed);
    if (Tls && error == EPROTO)
        throw CErrorException(codes::SocketRead, std::string(texts::SocketRead) + " TLS: " + Tls->Failure());
    throw CErrorException(codes::SocketRead, texts::SocketRead, FailureCause(error));
}

long CCoolSocket::ReceiveRaw(uint8_t* buffer, size_t capacity, int flags, int& error) {
    for (;;) {
        const int fd = Descriptor.load();
        if (fd < 0 || !Open) {
            error = 0;
            return -1;
        }
        if (!LimitNextReceive(fd)) { // the handshake's time is up
            error = EAGAIN;
            return -1;
        }
        if (Tls)
            return Tls->Receive(buffer, capacity, (flags & PeekFlag) != 0, error);
        const long got = ::recv(fd, buffer, capacity, flags);
        if (got < 0 && errno == EINTR)
            continue;
        error = got < 0 ? errno : 0;
        return got;
    }
}

void CCoolSocket::StartTls(TlsMode mode, const std::string& serverName, const std::string& caFile) {
    CLockGuard reading(*Reading);
    CLockGuard writing(*Writing);
    if (Closing)
        throw CQuietException();
    auto channel = std::make_unique<CTlsChannel>(Descriptor.load(), BytesRead, BytesWritten);
    int error = 0;
    if (!channel->Handshake(mode, serverName, caFile, error)) {
        if (Closing)
            throw CQuietException();
        if (error == EPROTO)
            throw CErrorException(codes::Encryption, "The TLS handshake failed: " + channel->Failure());
        if (error == 0)
            throw CErrorException(codes::SocketClosed, texts::SocketClosed);
        throw CErrorException(codes::SocketRead, texts::SocketRead, FailureCause(error));
    }
    Tls = std::move(channel);
    Encrypted = true;
    NotifyTransfer();
}

void CCoolSocket::ReadBytes(void* buffer, size_t length, int flags) {
    if (!buffer || length == 0)
        return;
    CLockGuard hold(*Reading);
    auto* out = static_cast<uint8_t*>(buffer);
    size_t filled = 0;
    while (filled < length) {
        long got;
        int error = 0;
        if (ReadThroughStream()) {
            got = Stream->ReadExact(out + filled, length - filled, flags);
            BytesRead = Stream->TotalIn();
        } else if (Tls && (flags & PeekFlag)) {
            got = Tls->PeekWhole(out, length, error);
        } else {
            got = ReceiveRaw(out + filled, length - filled, flags, error);
            if (got > 0 && !Tls)
                BytesRead += uint32_t(got);
        }
        if (got <= 0)
            FailRead(got, error);
        // A peek that saw fewer bytes than asked looks again from the start of the buffer.
        if (flags & PeekFlag) {
            if (size_t(got) >= length)
                break;
            continue;
        }
        filled += size_t(got);
    }
    NotifyTransfer();
}

size_t CCoolSocket::ReceiveSome(uint8_t* buffer, size_t capacity, bool peek) {
    CLockGuard hold(*Reading);
    int error = 0;
    const long got = ReceiveRaw(buffer, capacity, peek ? PeekFlag : 0, error);
    if (got <= 0)
        FailRead(got, error);
    if (!peek) {
        if (!Tls)
            BytesRead += uint32_t(got);
        NotifyTransfer();
    }
    return size_t(got);
}

void CCoolSocket::DropPeeked(uint8_t* at, size_t length) {
    if (length == 0)
        return;
    CLockGuard hold(*Reading);
    if (Tls) {
        // The bytes were counted as they came off the wire, before decryption.
        Tls->Consume(length);
        NotifyTransfer();
        return;
    }
    // MSG_TRUNC spares TCP the copy; where it is not honoured the same bytes land where they were.
    for (size_t dropped = 0; dropped < length;) {
        const int fd = Descriptor.load();
        if (fd < 0 || !Open)
            FailRead(-1, 0);
        if (!LimitNextReceive(fd))
            FailRead(-1, EAGAIN);
        const long got = ::recv(fd, at + dropped, length - dropped, MSG_TRUNC);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            FailRead(got, got < 0 ? errno : 0);
        dropped += size_t(got);
    }
    BytesRead += uint32_t(length);
    NotifyTransfer();
}

uint8_t CCoolSocket::ReadByte(int flags) {
    uint8_t value = 0;
    ReadBytes(&value, 1, flags);
    return value;
}

uint32_t CCoolSocket::ReadUInt32() {
    uint8_t b[4];
    ReadBytes(b, 4);
    return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | uint32_t(b[3]);
}

uint16_t CCoolSocket::ReadUInt16() {
    uint8_t b[2];
    ReadBytes(b, 2);
    return uint16_t((b[0] << 8) | b[1]);
}

void CCoolSocket::WriteBytes(const void* buffer, size_t length) {
    if (!buffer || length == 0)
        return;
    CLockGuard hold(*Writing);
    const auto* in = static_cast<const uint8_t*>(buffer);
    size_t sent = 0;
    bool failed = false;
    int error = 0;
    if (Tls) {
        failed = !Open || !Tls->Send(in, length, error);
        sent = length;
    }
    while (sent < length) {
        const int fd = Descriptor.load();
        if (fd < 0 || !Open) {
            failed = true;
            break;
        }
        const long put = ::send(fd, in + sent, length - sent, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            error = put < 0 ? errno : 0;
            failed = true;
            break;
        }
        BytesWritten += uint32_t(put);
        sent += size_t(put);
    }
    if (failed) {
        if (Closing)
            throw CQuietException();
        throw CErrorException(codes::SocketWrite, texts::SocketWrite, FailureCause(error));
    }
    NotifyTransfer();
}

void CCoolSocket::NotifyTransfer() {
    if (State.FireDataTransfers)
        State.Post(HostMessage::DataTransfer, BytesRead.load(), BytesWritten.load());
}

void CCoolSocket::Close() {
    {
        // A connect still waiting for its answer (an address that swallows packets) wakes at once,
        // so a viewer's Stop does not wait out a poll slice.
        std::lock_guard<std::mutex> hold(ConnectingMutex);
        if (ConnectingDescriptor >= 0)
            ::shutdown(ConnectingDescriptor, SHUT_RDWR);
    }
    // Likewise a connect still waiting for its name lookup (a name server that never answers).
    LookupWake.Wake();
    // Shut down only: a receive blocked in another thread returns at once. The descriptor itself is
    // released in the destructor, once no thread can still be using it.
    if (Open.exchange(false)) {
        const int fd = Descriptor.load();
        if (fd >= 0)
            ::shutdown(fd, SHUT_RDWR);
        State.State = states::NotConnected;
    }
}

void CCoolSocket::CloseByOwner(bool closing) {
    Closing = closing;
    Close();
}

void CCoolSocket::SetReceiveDeadline(std::chrono::steady_clock::time_point deadline) {
    Deadline = deadline.time_since_epoch().count();
    const int fd = Descriptor.load();
    if (fd >= 0 && Deadline == 0)
        dova::SetReceiveLimit(fd, std::chrono::milliseconds(0));
}

void CCoolSocket::ExtendReceiveDeadline(std::chrono::steady_clock::duration by) {
    const auto current = Deadline.load();
    if (current != 0)
        Deadline = current + by.count();
}

bool CCoolSocket::LimitNextReceive(int fd) {
    using namespace std::chrono;
    const auto ticks = Deadline.load();
    if (ticks == 0)
        return true;
    const auto left = steady_clock::time_point(steady_clock::duration(ticks)) - steady_clock::now();
    if (left <= steady_clock::duration::zero())
        return false;
    // Rounded up: a zero limit would mean none.
    dova::SetReceiveLimit(fd, duration_cast<milliseconds>(left) + milliseconds(1));
    return true;
}

void CCoolSocket::SetStreamSource(std::unique_ptr<IStreamSource> source) {
    CLockGuard hold(*Reading);
    Stream = std::move(source);
}

} // namespace dova
