#include "ScriptedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace latis_test {

std::unique_ptr<dova::CSimpleException> AwaitConnectOutcome(RecordingHost& host, dova::CViewerState& state) {
    using dova::HostMessage;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!host.WaitFor(HostMessage::Connected, 1, std::chrono::milliseconds(20)) &&
           host.Count(HostMessage::Exception) == 0 && std::chrono::steady_clock::now() < deadline) {
    }
    std::unique_ptr<dova::CSimpleException> failure;
    if (!state.TakeException(failure) && host.Count(HostMessage::Connected) == 0)
        failure = std::make_unique<dova::CSimpleException>(-1, "no outcome", dova::ExceptionLevel::Error);
    return failure;
}

ScriptedPeer::ScriptedPeer() {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        throw std::runtime_error("socketpair failed");
    Server = pair[0];
    Client = pair[1];
}

ScriptedPeer::ScriptedPeer(int acceptedServerSide) : Server(acceptedServerSide) {
    if (Server < 0)
        throw std::runtime_error("no accepted connection");
}

ScriptedPeer::~ScriptedPeer() {
    if (Server >= 0)
        ::close(Server);
    if (Client >= 0)
        ::close(Client);
}

int ScriptedPeer::TakeClientSide() {
    const int fd = Client;
    Client = -1;
    return fd;
}

void ScriptedPeer::Send(const std::vector<uint8_t>& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const long put = ::send(Server, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (put <= 0)
            return;
        sent += size_t(put);
    }
}

void ScriptedPeer::Send(const std::string& bytes) {
    Send(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

std::vector<uint8_t> ScriptedPeer::Receive(size_t n, std::chrono::milliseconds limit) {
    std::vector<uint8_t> out;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (out.size() < n) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{Server, POLLIN, 0};
        if (::poll(&p, 1, int(left.count())) <= 0)
            break;
        uint8_t buffer[4096];
        const long got = ::recv(Server, buffer, std::min(sizeof buffer, n - out.size()), 0);
        if (got <= 0)
            break;
        out.insert(out.end(), buffer, buffer + got);
    }
    return out;
}

std::vector<uint8_t> ScriptedPeer::Drain(std::chrono::milliseconds wait) {
    std::vector<uint8_t> out;
    for (;;) {
        pollfd p{Server, POLLIN, 0};
        if (::poll(&p, 1, int(wait.count())) <= 0)
            break;
        uint8_t buffer[4096];
        const long got = ::recv(Server, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        out.insert(out.end(), buffer, buffer + got);
    }
    return out;
}

void ScriptedPeer::CloseServerSide() {
    if (Server >= 0) {
        ::shutdown(Server, SHUT_RDWR);
        ::close(Server);
        Server = -1;
    }
}

LoopbackListener::LoopbackListener() {
    Listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    if (::bind(Listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(Listener, 8) != 0)
        throw std::runtime_error("cannot listen on loopback");
    socklen_t size = sizeof a;
    ::getsockname(Listener, reinterpret_cast<sockaddr*>(&a), &size);
    ListenPort = ntohs(a.sin_port);
}

LoopbackListener::~LoopbackListener() {
    Close();
}

int LoopbackListener::Accept(std::chrono::milliseconds limit) {
    pollfd p{Listener, POLLIN, 0};
    if (::poll(&p, 1, int(limit.count())) <= 0)
        return -1;
    return ::accept4(Listener, nullptr, nullptr, SOCK_CLOEXEC);
}

void LoopbackListener::Close() {
    if (Listener >= 0) {
        ::close(Listener);
        Listener = -1;
    }
}

StalledListener::StalledListener() {
    Listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(Listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(Listener, 0) != 0)
        throw std::runtime_error("cannot listen on loopback");
    socklen_t size = sizeof a;
    ::getsockname(Listener, reinterpret_cast<sockaddr*>(&a), &size);
    ListenPort = ntohs(a.sin_port);
    // Never accepted: these fill the queue, and the kernel then drops further connection requests.
    for (int i = 0; i < 4; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        Queued.push_back(fd);
    }
}

StalledListener::~StalledListener() {
    for (int fd : Queued)
        ::close(fd);
    ::close(Listener);
}

int FreeLoopbackPort() {
    LoopbackListener probe;
    return probe.Port();
}

void RecordingHost::Post(dova::HostMessage message, uint32_t wParam, uint32_t lParam) {
    {
        std::lock_guard<std::mutex> hold(Mutex);
        Posted.push_back({message, wParam, lParam});
    }
    Changed.notify_all();
}

std::vector<PostedMessage> RecordingHost::Messages() {
    std::lock_guard<std::mutex> hold(Mutex);
    return Posted;
}

size_t RecordingHost::Count(dova::HostMessage message) {
    std::lock_guard<std::mutex> hold(Mutex);
    size_t n = 0;
    for (const auto& p : Posted)
        n += p.Message == message;
    return n;
}

bool RecordingHost::WaitFor(dova::HostMessage message, size_t count, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> hold(Mutex);
    return Changed.wait_for(hold, limit, [&] {
        size_t n = 0;
        for (const auto& p : Posted)
            n += p.Message == message;
        return n >= count;
    });
}

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values)
        out.push_back(uint8_t(v));
    return out;
}

void AppendU16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

void AppendU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(uint8_t(v >> shift));
}

} // namespace latis_test
