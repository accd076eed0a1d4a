#pragma once
// A relay on a free port of 127.0.0.1 that forwards one connection to a server and keeps a copy of
// every byte in both directions: what an eavesdropper on the wire would see.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace latis_test {

class WireTap {
public:
    explicit WireTap(int serverPort);
    ~WireTap();
    WireTap(const WireTap&) = delete;
    WireTap& operator=(const WireTap&) = delete;

    int Port() const { return ListenPort; }
    // Everything relayed so far, both directions in the order seen.
    std::string Captured();
    // True when the text occurs anywhere in the captured bytes.
    bool Saw(const std::string& text) { return Captured().find(text) != std::string::npos; }

private:
    void Relay();

    int Listener = -1;
    int ListenPort = 0;
    int ServerPort;
    std::atomic<bool> Stopping{false};
    std::mutex Mutex;
    std::string Bytes;
    std::thread Worker;
};

// A self-signed certificate and its key made with certtool, for 127.0.0.1 and "localhost".
struct TestCertificate {
    std::string CertificateFile;
    std::string KeyFile;
    std::string BothFile; // key then certificate in one PEM file (x11vnc -ssl)
};
// rsa: an RSA key (x11vnc takes no other), else ECDSA.
TestCertificate MakeTestCertificate(const std::string& folder, const std::string& name, bool rsa = false);

} // namespace latis_test
