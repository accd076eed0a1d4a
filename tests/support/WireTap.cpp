#include "WireTap.h"

#include "ChildProcess.h"
#include "ScriptedServer.h"

#include <arpa/inet.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace latis_test {

WireTap::WireTap(int serverPort) : ServerPort(serverPort) {
    Listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(Listener, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(Listener, 1) != 0 ||
        ::getsockname(Listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error("wire tap: no listener");
    ListenPort = ntohs(address.sin_port);
    Worker = std::thread([this] { Relay(); });
}

WireTap::~WireTap() {
    Stopping = true;
    Worker.join();
    ::close(Listener);
}

std::string WireTap::Captured() {
    std::lock_guard<std::mutex> hold(Mutex);
    return Bytes;
}

void WireTap::Relay() {
    int client = -1;
    while (!Stopping && client < 0) {
        pollfd waitFor{Listener, POLLIN, 0};
        if (::poll(&waitFor, 1, 50) > 0)
            client = ::accept4(Listener, nullptr, nullptr, SOCK_CLOEXEC);
    }
    if (client < 0)
        return;
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(uint16_t(ServerPort));
    if (::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        pollfd ends[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        char buffer[65536];
        bool open = true;
        while (open && !Stopping) {
            if (::poll(ends, 2, 50) <= 0)
                continue;
            for (int i = 0; i < 2 && open; ++i) {
                if (!(ends[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                const long got = ::recv(ends[i].fd, buffer, sizeof buffer, 0);
                if (got <= 0) {
                    open = false;
                    break;
                }
                {
                    std::lock_guard<std::mutex> hold(Mutex);
                    Bytes.append(buffer, size_t(got));
                }
                for (long sent = 0; sent < got;) {
                    const long put = ::send(ends[1 - i].fd, buffer + sent, size_t(got - sent), MSG_NOSIGNAL);
                    if (put <= 0) {
                        open = false;
                        break;
                    }
                    sent += put;
                }
            }
        }
    }
    ::close(server);
    ::close(client);
}

TestCertificate MakeTestCertificate(const std::string& folder, const std::string& name, bool rsa) {
    TestCertificate made;
    made.KeyFile = folder + "/" + name + "-key.pem";
    made.CertificateFile = folder + "/" + name + "-cert.pem";
    made.BothFile = folder + "/" + name + "-both.pem";
    const std::string templateFile = folder + "/" + name + ".cfg";
    std::ofstream(templateFile) << "cn = \"127.0.0.1\"\n"
                                   "dns_name = \"localhost\"\n"
                                   "ip_address = \"127.0.0.1\"\n"
                                   "expiration_days = 2\n"
                                   "tls_www_server\n"
                                   "encryption_key\n"
                                   "signing_key\n";
    ChildOptions quiet;
    std::vector<std::string> keyCommand = {"certtool", "--generate-privkey", "--outfile", made.KeyFile};
    if (rsa)
        keyCommand.insert(keyCommand.end(), {"--key-type", "rsa", "--sec-param", "medium"});
    else
        keyCommand.insert(keyCommand.end(), {"--key-type", "ecdsa"});
    ChildProcess key(keyCommand, quiet);
    if (key.Wait(std::chrono::seconds(30)) != 0)
        throw std::runtime_error("certtool could not make a key");
    ChildProcess certificate({"certtool", "--generate-self-signed", "--load-privkey", made.KeyFile,
                              "--template", templateFile, "--outfile", made.CertificateFile},
                             quiet);
    if (certificate.Wait(std::chrono::seconds(30)) != 0)
        throw std::runtime_error("certtool could not make a certificate");
    std::ofstream both(made.BothFile);
    both << std::ifstream(made.KeyFile).rdbuf() << std::ifstream(made.CertificateFile).rdbuf();
    return made;
}

} // namespace latis_test
