#pragma once
// The server's end of TLS, for scripted peers: after the test has played the clear part of the
// handshake on a descriptor, Handshake() switches it to TLS and Send/Receive speak inside. Anonymous
// (TLS 1.2), or with a certificate (TLS 1.3). It counts the bytes it puts on the wire, to compare
// with the viewer's counts. One thread at a time.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace latis_test {

class TlsServerSide {
public:
    explicit TlsServerSide(int descriptor); // not owned
    // With the certificate and its key (PEM files).
    TlsServerSide(int descriptor, const std::string& certificateFile, const std::string& keyFile);
    ~TlsServerSide();
    TlsServerSide(const TlsServerSide&) = delete;
    TlsServerSide& operator=(const TlsServerSide&) = delete;

    // False when the client went away or TLS failed.
    bool Handshake();
    // False when the client went away or TLS failed.
    bool Send(const uint8_t* bytes, size_t size);
    bool Send(const std::vector<uint8_t>& bytes) { return Send(bytes.data(), bytes.size()); }
    bool Send(const std::string& bytes) { return Send(std::vector<uint8_t>(bytes.begin(), bytes.end())); }
    // Exactly n bytes (fewer when the client went away).
    std::vector<uint8_t> Receive(size_t n);
    // Decrypted bytes already held: a poll on the descriptor would not see them.
    bool Pending() const;
    // TLS 1.3: new keys for what the server sends, and a request that the client renew its own.
    // False when the library refused.
    bool UpdateKeys();
    uint64_t WireBytesSent() const { return Sent; }

private:
    void Attach();

    struct Session;
    Session* Tls;
    int Descriptor;
    uint64_t Sent = 0;
};

} // namespace latis_test
