#include "RecordedServer.h"

#include "ServerStream.h"
#include "screens/BenchScreens.h"
#include "screens/BenchSupport.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace latis_bench {

namespace {

bool ShakeHands(int fd, int bitsPerPixel) {
    latis_test::ServerStream hello;
    hello.Text("RFB 003.008\n");
    uint8_t version[12], choice[1];
    if (!SendAll(fd, hello.Data) || !ReceiveAll(fd, version, sizeof version))
        return false;
    latis_test::ServerStream types;
    types.U8(1).U8(1); // one security type: None
    if (!SendAll(fd, types.Data) || !ReceiveAll(fd, choice, 1) || choice[0] != 1)
        return false;
    latis_test::ServerStream init(bitsPerPixel);
    init.U32(0);                                               // SecurityResult: OK
    if (!SendAll(fd, init.Data) || !ReceiveAll(fd, choice, 1)) // ClientInit
        return false;
    init.Data.clear();
    init.ServerInit(ScreenWidth, ScreenHeight, bitsPerPixel, "bench");
    return SendAll(fd, init.Data);
}

} // namespace

CRecordedServer::CRecordedServer(std::vector<const std::vector<uint8_t>*> updates, int bitsPerPixel,
                                 bool handshake)
    : Updates(std::move(updates)), BitsPerPixel(bitsPerPixel), Handshake(handshake) {
    Listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(Listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(Listener, 1) != 0 ||
        ::getsockname(Listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("listen on 127.0.0.1");
        std::exit(1);
    }
    ListenPort = ntohs(address.sin_port);
    Thread = std::thread([this] { Serve(); });
}

CRecordedServer::~CRecordedServer() {
    Thread.join();
    ::close(Listener);
}

void CRecordedServer::Serve() {
    const int fd = ::accept(Listener, nullptr, nullptr);
    if (fd < 0)
        return;
    if (!Handshake || ShakeHands(fd, BitsPerPixel))
        for (const std::vector<uint8_t>* update : Updates)
            if (!SendAll(fd, *update))
                break;
    ::shutdown(fd, SHUT_WR);
    uint8_t rest[4096];
    while (::recv(fd, rest, sizeof rest, 0) > 0) { // the viewer's requests, until it closes
    }
    ::close(fd);
}

} // namespace latis_bench
