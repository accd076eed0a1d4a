#include "TlsServerSide.h"

#include <gnutls/gnutls.h>

#include <cerrno>
#include <sys/socket.h>

namespace latis_test {

struct TlsServerSide::Session {
    gnutls_session_t Handle = nullptr;
    gnutls_anon_server_credentials_t Credentials = nullptr;
    gnutls_certificate_credentials_t Certificate = nullptr;
};

TlsServerSide::TlsServerSide(int descriptor) : Tls(new Session), Descriptor(descriptor) {
    gnutls_anon_allocate_server_credentials(&Tls->Credentials);
    gnutls_anon_set_server_known_dh_params(Tls->Credentials, GNUTLS_SEC_PARAM_MEDIUM);
    gnutls_init(&Tls->Handle, GNUTLS_SERVER);
    gnutls_priority_set_direct(Tls->Handle, "NORMAL:+ANON-ECDH:+ANON-DH", nullptr);
    gnutls_credentials_set(Tls->Handle, GNUTLS_CRD_ANON, Tls->Credentials);
    Attach();
}

TlsServerSide::TlsServerSide(int descriptor, const std::string& certificateFile, const std::string& keyFile)
    : Tls(new Session), Descriptor(descriptor) {
    gnutls_certificate_allocate_credentials(&Tls->Certificate);
    gnutls_certificate_set_x509_key_file(Tls->Certificate, certificateFile.c_str(), keyFile.c_str(),
                                         GNUTLS_X509_FMT_PEM);
    gnutls_init(&Tls->Handle, GNUTLS_SERVER);
    gnutls_set_default_priority(Tls->Handle);
    gnutls_credentials_set(Tls->Handle, GNUTLS_CRD_CERTIFICATE, Tls->Certificate);
    Attach();
}

void TlsServerSide::Attach() {
    gnutls_transport_set_ptr(Tls->Handle, this);
    gnutls_transport_set_pull_function(
        Tls->Handle, [](gnutls_transport_ptr_t self, void* buffer, size_t size) {
            // A receive limit the test set on the descriptor ends the session like a hang-up.
            const ssize_t got = ::recv(static_cast<TlsServerSide*>(self)->Descriptor, buffer, size, 0);
            return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? ssize_t(0) : got;
        });
    gnutls_transport_set_push_function(
        Tls->Handle, [](gnutls_transport_ptr_t self, const void* buffer, size_t size) {
            auto* side = static_cast<TlsServerSide*>(self);
            const ssize_t put = ::send(side->Descriptor, buffer, size, MSG_NOSIGNAL);
            if (put > 0)
                side->Sent += uint64_t(put);
            return put;
        });
}

TlsServerSide::~TlsServerSide() {
    gnutls_deinit(Tls->Handle);
    if (Tls->Credentials)
        gnutls_anon_free_server_credentials(Tls->Credentials);
    if (Tls->Certificate)
        gnutls_certificate_free_credentials(Tls->Certificate);
    delete Tls;
}

bool TlsServerSide::Handshake() {
    int result;
    do {
        result = gnutls_handshake(Tls->Handle);
    } while (result < 0 && !gnutls_error_is_fatal(result));
    return result == 0;
}

bool TlsServerSide::Send(const uint8_t* bytes, size_t size) {
    // Corked: the records of one message leave together, as a plain server's one send would.
    gnutls_record_cork(Tls->Handle);
    size_t sent = 0;
    bool ok = true;
    while (ok && sent < size) {
        const ssize_t put = gnutls_record_send(Tls->Handle, bytes + sent, size - sent);
        if (put == GNUTLS_E_AGAIN || put == GNUTLS_E_INTERRUPTED)
            continue;
        ok = put > 0;
        if (ok)
            sent += size_t(put);
    }
    int flushed;
    do {
        flushed = gnutls_record_uncork(Tls->Handle, GNUTLS_RECORD_WAIT);
    } while (flushed == GNUTLS_E_AGAIN || flushed == GNUTLS_E_INTERRUPTED);
    return ok && flushed >= 0;
}

bool TlsServerSide::UpdateKeys() {
    int result;
    do {
        result = gnutls_session_key_update(Tls->Handle, GNUTLS_KU_PEER);
    } while (result == GNUTLS_E_AGAIN || result == GNUTLS_E_INTERRUPTED);
    return result == 0;
}

std::vector<uint8_t> TlsServerSide::Receive(size_t n) {
    std::vector<uint8_t> out(n);
    size_t got = 0;
    while (got < n) {
        const ssize_t r = gnutls_record_recv(Tls->Handle, out.data() + got, n - got);
        if (r == GNUTLS_E_AGAIN || r == GNUTLS_E_INTERRUPTED)
            continue;
        if (r <= 0)
            break;
        got += size_t(r);
    }
    out.resize(got);
    return out;
}

bool TlsServerSide::Pending() const {
    return gnutls_record_check_pending(Tls->Handle) > 0;
}

} // namespace latis_test
