#pragma once
// TLS over the connection's socket (GnuTLS). The channel reads and writes the descriptor itself, so
// every byte that crosses the network is counted as it crosses (the counts stay those of the wire,
// not of the decrypted stream), and a shutdown of the descriptor by another thread ends a blocked
// receive at once. Decrypted bytes that a peek has shown stay in the channel until they are
// consumed, so the read window on top works as it does over plain TCP.
//
// One thread may receive while another sends; the handshake runs before either starts. The library
// is entered by one thread at a time (a TLS 1.3 key update the server asks for copies the state of
// both directions, so a send and a receive in parallel would break the session), and never while a
// thread waits on the network: ciphertext is read ahead outside the library, and sends that would
// block wait for room outside it.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace dova {

enum class TlsMode {
    Anonymous,  // anonymous Diffie-Hellman: encrypted, the server's identity unknown
    Certificate // the server shows an X.509 certificate
};

class CTlsChannel {
public:
    CTlsChannel(int descriptor, std::atomic<uint32_t>& bytesIn, std::atomic<uint32_t>& bytesOut);
    ~CTlsChannel();
    CTlsChannel(const CTlsChannel&) = delete;
    CTlsChannel& operator=(const CTlsChannel&) = delete;

    // Runs the TLS handshake. serverName goes out as SNI when it is a name, not an address; caFile,
    // when given, is trusted beside the system's authorities. False on failure, with error: 0 when
    // the peer closed, an errno of the receive (EAGAIN: a receive limit ran out), or EPROTO when TLS
    // refused (Failure() says why).
    bool Handshake(TlsMode mode, const std::string& serverName, const std::string& caFile, int& error);

    // Decrypted bytes: at least one and at most capacity, blocking until one is there. A peek leaves
    // them for the next receive. Returns the count, 0 when the peer closed, -1 on an error (error
    // holds errno, or EPROTO when TLS failed; Failure() then says why).
    long Receive(uint8_t* buffer, size_t capacity, bool peek, int& error);
    // A peek of exactly length bytes (at most 16 KiB), waiting until all have arrived.
    long PeekWhole(uint8_t* buffer, size_t length, int& error);
    // Consumes n bytes a peek has shown.
    void Consume(size_t n);
    // Sends all bytes; false on failure (error as for Receive).
    bool Send(const uint8_t* buffer, size_t length, int& error);

    // The chain and the host name against the trusted authorities; true when both hold. why tells
    // what failed otherwise.
    bool VerifyPeer(const std::string& hostName, std::string& why);
    // "SHA256:" and the lowercase hex SHA-256 of the server's certificate; empty without one.
    std::string PeerFingerprint() const;
    // e.g. "TLS1.3, AES-256-GCM".
    std::string Details() const;
    std::string Failure() const {
        std::lock_guard<std::mutex> hold(FailureLock);
        return LastFailure;
    }

private:
    // The library's transport: never waits. Pull hands out read-ahead ciphertext and reports
    // "again" when there is none; Push reports "again" when the socket has no room.
    static long Pull(void* self, void* buffer, size_t size);
    static long Push(void* self, const void* buffer, size_t size);
    // One receive from the socket into the read-ahead (blocking, outside the library). The count,
    // 0 when the peer closed, -1 with error set on failure.
    long ReadAhead(int& error);
    // Waits until the socket takes more bytes (or fails, which the next send reports).
    void WaitUntilWritable() const;
    // Decrypted bytes into out: waits for the network only when wait is set; NothingYet when it
    // would have to.
    static constexpr long NothingYet = -2;
    long Decrypt(uint8_t* out, size_t capacity, bool wait, int& error);
    // One receive of the session into Pending's free room (at least one byte), and whatever the
    // session can decrypt without waiting.
    long FillPending(int& error);
    long RecordError(long result, int& error);

    struct Session;
    std::unique_ptr<Session> Tls;
    int Descriptor;
    std::atomic<uint32_t>& BytesIn;
    std::atomic<uint32_t>& BytesOut;

    // Held by whichever thread is inside the library, never across a wait on the network.
    mutable std::mutex Engine;
    // Set by Pull and Push under Engine: the library stopped for want of ciphertext, or of room.
    bool Starved = false;
    bool Blocked = false;
    // errno of the last failed send (under Engine).
    int PushError = 0;

    // Ciphertext read ahead from the socket: one receive brings in what has arrived, so a record
    // costs no receive calls of its own. Raw[RawAt, RawEnd) is not yet given to the session. Only
    // the receiving thread touches it.
    std::vector<uint8_t> Raw;
    size_t RawAt = 0;
    size_t RawEnd = 0;
    // Decrypted, shown by a peek, not consumed: Pending[PendingAt, PendingEnd).
    std::vector<uint8_t> Pending;
    size_t PendingAt = 0;
    size_t PendingEnd = 0;
    // The receiving and the sending thread may both fail at once.
    void NoteFailure(std::string text) {
        std::lock_guard<std::mutex> hold(FailureLock);
        LastFailure = std::move(text);
    }
    mutable std::mutex FailureLock;
    std::string LastFailure;
};

} // namespace dova
