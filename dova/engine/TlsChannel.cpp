#include "TlsChannel.h"

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace dova {

namespace {

// Room for a few records, so one peek brings in what has arrived already.
constexpr size_t PendingCapacity = size_t(128) << 10;
constexpr size_t RawCapacity = size_t(128) << 10;
constexpr size_t MaxRecord = size_t(16) << 10;

// AES-128-GCM first: as strong as the connection needs and the cheapest to decrypt at screen rates.
// Anonymous key exchange is not part of the normal set: finite-field DH first, since elliptic-curve
// anonymous exchange has no GCM suites in TLS 1.2; certificate key exchanges stay in for servers
// that offer both.
constexpr const char* AnonymousPriority = "NORMAL:-CIPHER-ALL:+AES-128-GCM:+AES-256-GCM:+CHACHA20-POLY1305:+"
                                          "AES-128-CBC:+AES-256-CBC:+ANON-DH:+ANON-ECDH";
constexpr const char* CertificatePriority =
    "NORMAL:-CIPHER-ALL:+AES-128-GCM:+AES-256-GCM:+CHACHA20-POLY1305:+AES-128-CBC:+AES-256-CBC";

bool IsAddress(const std::string& host) {
    unsigned char scratch[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, host.c_str(), scratch) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), scratch) == 1;
}

// The library's one-time set-up, shared by every channel of the process.
struct GlobalTls {
    GlobalTls() { gnutls_global_init(); }
    ~GlobalTls() { gnutls_global_deinit(); }
};

} // namespace

struct CTlsChannel::Session {
    gnutls_session_t Handle = nullptr;
    gnutls_anon_client_credentials_t Anonymous = nullptr;
    gnutls_certificate_credentials_t Certificates = nullptr;
    ~Session() {
        if (Handle)
            gnutls_deinit(Handle);
        if (Anonymous)
            gnutls_anon_free_client_credentials(Anonymous);
        if (Certificates)
            gnutls_certificate_free_credentials(Certificates);
    }
};

CTlsChannel::CTlsChannel(int descriptor, std::atomic<uint32_t>& bytesIn, std::atomic<uint32_t>& bytesOut)
    : Tls(std::make_unique<Session>()), Descriptor(descriptor), BytesIn(bytesIn), BytesOut(bytesOut) {
    static GlobalTls global;
}

CTlsChannel::~CTlsChannel() = default;

long CTlsChannel::Pull(void* self, void* buffer, size_t size) {
    auto* channel = static_cast<CTlsChannel*>(self);
    if (channel->RawAt == channel->RawEnd) {
        channel->Starved = true;
        errno = EAGAIN; // the library reads errno itself
        return -1;
    }
    const size_t count = std::min(size, channel->RawEnd - channel->RawAt);
    std::memcpy(buffer, channel->Raw.data() + channel->RawAt, count);
    channel->RawAt += count;
    return long(count);
}

long CTlsChannel::ReadAhead(int& error) {
    if (Raw.empty())
        Raw.resize(RawCapacity);
    if (RawAt == RawEnd) {
        RawAt = RawEnd = 0;
    } else if (RawEnd == Raw.size()) {
        // Part of a record at the end: it moves to the front to make room for the rest.
        std::memmove(Raw.data(), Raw.data() + RawAt, RawEnd - RawAt);
        RawEnd -= RawAt;
        RawAt = 0;
    }
    for (;;) {
        const long got = ::recv(Descriptor, Raw.data() + RawEnd, Raw.size() - RawEnd, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            error = errno;
        if (got > 0) {
            BytesIn += uint32_t(got); // counted as it comes off the wire
            RawEnd += size_t(got);
        }
        return got;
    }
}

long CTlsChannel::Push(void* self, const void* buffer, size_t size) {
    auto* channel = static_cast<CTlsChannel*>(self);
    for (;;) {
        const long put = ::send(channel->Descriptor, buffer, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            channel->Blocked = true;
            errno = EAGAIN;
        } else if (put < 0) {
            channel->PushError = errno;
        } else {
            channel->BytesOut += uint32_t(put);
        }
        return put;
    }
}

void CTlsChannel::WaitUntilWritable() const {
    pollfd room{Descriptor, POLLOUT, 0};
    while (::poll(&room, 1, -1) < 0 && errno == EINTR) {
    }
}

bool CTlsChannel::Handshake(TlsMode mode, const std::string& serverName, const std::string& caFile,
                            int& error) {
    auto fail = [&](int code) {
        NoteFailure(gnutls_strerror(code));
        error = EPROTO;
        return false;
    };
    int result = gnutls_init(&Tls->Handle, GNUTLS_CLIENT);
    if (result < 0)
        return fail(result);
    const char* failedAt = nullptr;
    if (mode == TlsMode::Anonymous) {
        if ((result = gnutls_anon_allocate_client_credentials(&Tls->Anonymous)) < 0 ||
            (result = gnutls_credentials_set(Tls->Handle, GNUTLS_CRD_ANON, Tls->Anonymous)) < 0 ||
            (result = gnutls_priority_set_direct(Tls->Handle, AnonymousPriority, &failedAt)) < 0)
            return fail(result);
    } else {
        if ((result = gnutls_certificate_allocate_credentials(&Tls->Certificates)) < 0)
            return fail(result);
        // No system store is not a failure: trust on first use still works.
        gnutls_certificate_set_x509_system_trust(Tls->Certificates);
        if (!caFile.empty() && gnutls_certificate_set_x509_trust_file(Tls->Certificates, caFile.c_str(),
                                                                      GNUTLS_X509_FMT_PEM) < 0) {
            NoteFailure("The certificate authority file " + caFile + " could not be read.");
            error = EPROTO;
            return false;
        }
        if ((result = gnutls_credentials_set(Tls->Handle, GNUTLS_CRD_CERTIFICATE, Tls->Certificates)) < 0 ||
            (result = gnutls_priority_set_direct(Tls->Handle, CertificatePriority, &failedAt)) < 0)
            return fail(result);
        if (!serverName.empty() && !IsAddress(serverName))
            gnutls_server_name_set(Tls->Handle, GNUTLS_NAME_DNS, serverName.data(), serverName.size());
    }
    gnutls_transport_set_ptr(Tls->Handle, this);
    gnutls_transport_set_pull_function(Tls->Handle,
                                       [](gnutls_transport_ptr_t self, void* buffer, size_t size) {
                                           return ssize_t(Pull(self, buffer, size));
                                       });
    gnutls_transport_set_push_function(Tls->Handle,
                                       [](gnutls_transport_ptr_t self, const void* buffer, size_t size) {
                                           return ssize_t(Push(self, buffer, size));
                                       });
    // The receive limit of the socket bounds each wait; the library adds none of its own.
    gnutls_handshake_set_timeout(Tls->Handle, GNUTLS_INDEFINITE_TIMEOUT);
    for (;;) {
        Starved = Blocked = false;
        PushError = 0;
        result = gnutls_handshake(Tls->Handle);
        if (result == GNUTLS_E_SUCCESS)
            return true;
        if (result == GNUTLS_E_INTERRUPTED)
            continue;
        if (result == GNUTLS_E_AGAIN && Starved) {
            const long got = ReadAhead(error);
            if (got == 0)
                error = 0;
            if (got <= 0)
                return false;
            continue;
        }
        if (result == GNUTLS_E_AGAIN) {
            if (Blocked)
                WaitUntilWritable();
            continue;
        }
        if (result == GNUTLS_E_PREMATURE_TERMINATION || result == GNUTLS_E_PULL_ERROR ||
            result == GNUTLS_E_PUSH_ERROR) {
            NoteFailure(gnutls_strerror(result));
            error = PushError;
            return false;
        }
        if (!gnutls_error_is_fatal(result))
            continue;
        return fail(result);
    }
}

long CTlsChannel::RecordError(long result, int& error) {
    switch (result) {
    case GNUTLS_E_PREMATURE_TERMINATION:
        error = 0;
        return 0;
    case GNUTLS_E_PUSH_ERROR:
        error = PushError ? PushError : EPIPE;
        return -1;
    default:
        NoteFailure(gnutls_strerror(int(result)));
        error = EPROTO;
        return -1;
    }
}

long CTlsChannel::Decrypt(uint8_t* out, size_t capacity, bool wait, int& error) {
    for (;;) {
        long got;
        bool starved;
        {
            std::lock_guard<std::mutex> inside(Engine);
            Starved = false;
            got = gnutls_record_recv(Tls->Handle, out, capacity);
            starved = Starved;
        }
        if (got >= 0)
            return got;
        if (got == GNUTLS_E_AGAIN && starved) {
            if (!wait)
                return NothingYet;
            const long more = ReadAhead(error);
            if (more <= 0)
                return more == 0 ? 0 : -1;
            continue;
        }
        // A renegotiation request is declined by not answering it; a warning alert carries nothing;
        // and a post-handshake message (a TLS 1.3 session ticket or key update) is answered with
        // "again" though the connection itself did not fail.
        if (got == GNUTLS_E_AGAIN || got == GNUTLS_E_INTERRUPTED || got == GNUTLS_E_REHANDSHAKE ||
            got == GNUTLS_E_WARNING_ALERT_RECEIVED)
            continue;
        return RecordError(got, error);
    }
}

long CTlsChannel::FillPending(int& error) {
    if (Pending.empty())
        Pending.resize(PendingCapacity);
    if (PendingAt == PendingEnd)
        PendingAt = PendingEnd = 0;
    // The first decrypt waits for the network; the ones after take only what needs no wait.
    for (bool first = true; first || Pending.size() - PendingEnd >= MaxRecord; first = false) {
        const long got = Decrypt(Pending.data() + PendingEnd, Pending.size() - PendingEnd, first, error);
        if (got == NothingYet)
            break;
        if (got <= 0) {
            if (PendingEnd > PendingAt)
                break; // what arrived before still counts
            return got;
        }
        PendingEnd += size_t(got);
    }
    return long(PendingEnd - PendingAt);
}

long CTlsChannel::Receive(uint8_t* buffer, size_t capacity, bool peek, int& error) {
    if (capacity == 0)
        return 0;
    if (PendingAt == PendingEnd && !peek) // nothing held back: decrypt straight into the caller's buffer
        return Decrypt(buffer, capacity, true, error);
    if (PendingAt == PendingEnd) {
        const long got = FillPending(error);
        if (got <= 0)
            return got;
    }
    const size_t count = std::min(capacity, PendingEnd - PendingAt);
    std::memcpy(buffer, Pending.data() + PendingAt, count);
    if (!peek)
        PendingAt += count;
    return long(count);
}

long CTlsChannel::PeekWhole(uint8_t* buffer, size_t length, int& error) {
    if (length > PendingCapacity / 4) {
        NoteFailure("peek too long");
        error = EPROTO;
        return -1;
    }
    while (PendingEnd - PendingAt < length) {
        if (Pending.size() - PendingEnd < PendingCapacity / 4) {
            // Room for the rest: what is held moves to the front.
            std::memmove(Pending.data(), Pending.data() + PendingAt, PendingEnd - PendingAt);
            PendingEnd -= PendingAt;
            PendingAt = 0;
        }
        const size_t before = PendingEnd - PendingAt;
        const long got = FillPending(error);
        if (got <= 0 || size_t(got) == before)
            return got <= 0 ? got : RecordError(GNUTLS_E_PREMATURE_TERMINATION, error);
    }
    std::memcpy(buffer, Pending.data() + PendingAt, length);
    return long(length);
}

void CTlsChannel::Consume(size_t n) {
    PendingAt += std::min(n, PendingEnd - PendingAt);
}

bool CTlsChannel::Send(const uint8_t* buffer, size_t length, int& error) {
    size_t sent = 0;
    while (sent < length) {
        long put;
        bool blocked;
        int pushError;
        {
            std::lock_guard<std::mutex> inside(Engine);
            Blocked = false;
            PushError = 0;
            put = gnutls_record_send(Tls->Handle, buffer + sent, length - sent);
            blocked = Blocked;
            pushError = PushError;
        }
        if (put == GNUTLS_E_AGAIN || put == GNUTLS_E_INTERRUPTED) {
            // The library keeps what it could not hand over; the same call later goes on with it.
            if (blocked)
                WaitUntilWritable();
            continue;
        }
        if (put <= 0) {
            if (put == 0 || put == GNUTLS_E_PUSH_ERROR) {
                error = pushError ? pushError : EPIPE;
            } else {
                std::lock_guard<std::mutex> inside(Engine);
                NoteFailure(gnutls_strerror(int(put)));
                error = EPROTO;
            }
            return false;
        }
        sent += size_t(put);
    }
    return true;
}

bool CTlsChannel::VerifyPeer(const std::string& hostName, std::string& why) {
    std::lock_guard<std::mutex> inside(Engine);
    unsigned status = 0;
    const int result = gnutls_certificate_verify_peers3(Tls->Handle, hostName.c_str(), &status);
    if (result < 0) {
        why = gnutls_strerror(result);
        return false;
    }
    if (status == 0)
        return true;
    gnutls_datum_t text{};
    if (gnutls_certificate_verification_status_print(status, GNUTLS_CRT_X509, &text, 0) >= 0) {
        why.assign(reinterpret_cast<const char*>(text.data), text.size);
        gnutls_free(text.data);
    } else {
        why = "The certificate could not be verified.";
    }
    return false;
}

std::string CTlsChannel::PeerFingerprint() const {
    std::lock_guard<std::mutex> inside(Engine);
    unsigned count = 0;
    const gnutls_datum_t* chain = gnutls_certificate_get_peers(Tls->Handle, &count);
    if (!chain || count == 0)
        return std::string();
    unsigned char digest[32];
    size_t size = sizeof digest;
    if (gnutls_fingerprint(GNUTLS_DIG_SHA256, &chain[0], digest, &size) < 0)
        return std::string();
    static const char hex[] = "0123456789abcdef";
    std::string text = "SHA256:";
    for (size_t i = 0; i < size; ++i) {
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 15];
    }
    return text;
}

std::string CTlsChannel::Details() const {
    std::lock_guard<std::mutex> inside(Engine);
    const char* version = gnutls_protocol_get_name(gnutls_protocol_get_version(Tls->Handle));
    const char* cipher = gnutls_cipher_get_name(gnutls_cipher_get(Tls->Handle));
    std::string text = version ? version : "TLS";
    if (cipher)
        text += std::string(", ") + cipher;
    return text;
}

} // namespace dova
