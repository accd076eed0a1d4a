#pragma once
// CCoolSocket: the one TCP connection of a viewer to its RFB server. Blocking, exact-length reads and
// writes; every failure is an engine exception, and every failure after the owner closed the
// connection is quiet. ReadLock serialises readers and WriteLock writers, so messages of the session
// and input threads never interleave on the wire; reads and writes proceed in parallel.

#include "../base/Lockable.h"
#include "ConnectionHealth.h"
#include "NameLookup.h"
#include "TlsChannel.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace dova {

class CViewerState;

// The read side of a stream-coding plug-in: once in force, every read goes through it.
class IStreamSource {
public:
    virtual ~IStreamSource() = default;
    // Places up to length bytes; 0 = connection closed, -1 = error. Honours the peek flag.
    virtual long ReadExact(uint8_t* buffer, size_t length, int flags) = 0;
    // Bytes taken from the connection so far.
    virtual uint32_t TotalIn() = 0;
};

class CCoolSocket : public CLockable {
public:
    static constexpr int PeekFlag = 2; // MSG_PEEK on Linux as on the original platform
    // An unreachable address gives up after this long, as the original platform's connect did.
    static constexpr std::chrono::milliseconds ConnectTimeout{20000};

    explicit CCoolSocket(CViewerState& owner);
    ~CCoolSocket() override;

    // Returns only once the TCP connection is established. Ends at once when closed by the owner,
    // also when that close came before the call.
    void Connect(const std::string& host, int port);
    // A fresh TCP connection to the same host and port, in place of the current one (a server that
    // answers the handshake only on a new connection). Same failures as Connect.
    void Reconnect();
    // Takes an already connected descriptor (tests, in-memory peers); the socket owns it from now on.
    void AttachConnected(int descriptor);

    void ReadBytes(void* buffer, size_t length, int flags = 0);
    // One receive straight from the connection, never through a plug-in: what has arrived, at least
    // one byte and at most capacity. A peek leaves the bytes in the connection and counts nothing.
    size_t ReceiveSome(uint8_t* buffer, size_t capacity, bool peek);
    // Consumes length bytes a peek has shown; at holds those bytes (the kernel may write them again).
    void DropPeeked(uint8_t* at, size_t length);
    uint8_t ReadByte(int flags = 0);
    uint32_t ReadUInt32();
    uint16_t ReadUInt16();
    void WriteBytes(const void* buffer, size_t length);

    void Close();
    void CloseByOwner(bool closing);

    // Bounds all receives from now on by one moment (a default time point: no bound), however the
    // bytes trickle in; a receive still waiting then fails with the cause causes::Silent.
    void SetReceiveDeadline(std::chrono::steady_clock::time_point deadline);
    // Moves a deadline in force later (time spent waiting for the host, not for the server).
    void ExtendReceiveDeadline(std::chrono::steady_clock::duration by);

    bool IsClosing() const { return Closing.load(); }
    bool IsOpen() const { return Open.load(); }
    uint32_t TotalRead() const { return BytesRead.load(); }
    uint32_t TotalWritten() const { return BytesWritten.load(); }
    int Port() const { return LastPort; }
    // The platform socket, for a stream plug-in bound to this connection.
    int Handle() const { return Descriptor.load(); }
    const std::string& Host() const { return LastHost; }

    CLockable& WriteLock() { return *Writing; }
    CLockable& ReadLock() { return *Reading; }

    // Switches the connection to TLS: from now on every read and write is encrypted, and the byte
    // counts stay those of the wire. Runs on the connect thread before any other thread uses the
    // socket. Failures: CQuietException after an owner close, CErrorException otherwise
    // (codes::Encryption for what TLS refused, the read codes for a closed or silent peer).
    void StartTls(TlsMode mode, const std::string& serverName, const std::string& caFile);
    bool IsEncrypted() const { return Encrypted.load(); }
    CTlsChannel* Channel() { return Tls.get(); }

    // Stream coding.
    void SetStreamSource(std::unique_ptr<IStreamSource> source);
    IStreamSource* StreamSource() const { return Stream.get(); }
    std::atomic<bool> StreamCodingActive{false};
    std::atomic<bool> ForceStream{false};

    CViewerState& Owner() { return State; }

private:
    ConnectionLimits CurrentLimits();
    void ConnectToHost(const ConnectionLimits& limits);
    // A connected descriptor, or -1 (with the reason in error) when this address did not answer.
    int ConnectTo(const SocketAddress& address, std::chrono::steady_clock::time_point deadline, int& error);
    void PublishConnecting(int fd); // -1 withdraws
    void InstallDescriptor(int fd);
    [[noreturn]] void FailRead(long result, int error);
    // One receive from the connection, decrypted when TLS is on; as recv.
    long ReceiveRaw(uint8_t* buffer, size_t capacity, int flags, int& error);
    [[noreturn]] void FailConnect(int error);
    bool ReadThroughStream() const;
    // Before each receive: what is left of the deadline becomes the receive's limit; false once it
    // has passed.
    bool LimitNextReceive(int fd);
    void NotifyTransfer();

    CViewerState& State;
    // The descriptor of a connect in progress, so that Close can cut the wait short; a leaf lock,
    // held only to publish, withdraw or shut it down (never while closing the descriptor's number).
    std::mutex ConnectingMutex;
    int ConnectingDescriptor = -1;
    CLookupWake LookupWake; // wakes a connect waiting for its name lookup
    std::atomic<bool> Closing{false};
    std::atomic<bool> Open{false};
    std::atomic<int> Descriptor{-1};
    std::atomic<uint32_t> BytesRead{0};
    std::atomic<uint32_t> BytesWritten{0};
    std::atomic<std::chrono::steady_clock::rep> Deadline{0}; // ticks since the clock's epoch; 0: none
    std::unique_ptr<CLockable> Writing;
    std::unique_ptr<CLockable> Reading;
    std::unique_ptr<IStreamSource> Stream;
    std::unique_ptr<CTlsChannel> Tls; // set before the session's threads start, never changed then
    std::atomic<bool> Encrypted{false};
    int LastPort = 0;
    std::string LastHost;
};

} // namespace dova
