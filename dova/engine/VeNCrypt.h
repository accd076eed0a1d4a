#pragma once
// VeNCrypt (security type 19): the viewer and the server agree on a subtype, the connection switches
// to TLS (anonymous for the TLS* subtypes, with the server's certificate for X509*), and the inner
// authentication then runs encrypted. Plain credentials are only ever sent inside TLS.

#include "Encryption.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace dova {

class CViewerState;
class CCoolSocket;

namespace security_types {
inline constexpr uint8_t VeNCrypt = 19;
} // namespace security_types

namespace vencrypt_subtypes {
inline constexpr uint32_t Plain = 256; // credentials in clear: never chosen
inline constexpr uint32_t TLSNone = 257;
inline constexpr uint32_t TLSVnc = 258;
inline constexpr uint32_t TLSPlain = 259;
inline constexpr uint32_t X509None = 260;
inline constexpr uint32_t X509Vnc = 261;
inline constexpr uint32_t X509Plain = 262;
} // namespace vencrypt_subtypes

enum class InnerAuthentication { None, Vnc, Plain };

// From a 3.7/3.8 security-type list: VeNCrypt when it is offered and the policy wants encryption,
// otherwise 0 (the classic choice applies). Require without VeNCrypt on offer raises
// codes::EncryptionRequired.
uint8_t EncryptedSecurityType(const uint8_t* offered, unsigned count, EncryptionPolicy policy);

// The strongest subtype offered (X509 over TLS; within one kind the server's order), Plain ones only
// when a user name is set; 0 when none fits.
uint32_t ChooseVeNCryptSubtype(const uint32_t* offered, size_t count, bool haveUserName);

// The subtype's name, e.g. "X509Vnc".
const char* VeNCryptSubtypeName(uint32_t subtype);

// After the viewer sent type 19: the VeNCrypt exchange, TLS, the certificate check and, for Plain,
// the credentials (password() gives the password, asking the host when needed). Returns what the
// caller still has to run inside TLS before SecurityResult.
InnerAuthentication NegotiateVeNCrypt(CViewerState& state, CCoolSocket& socket,
                                      const std::function<std::string()>& password);

// Text for the operator when the server offers no encryption at all.
inline constexpr const char* EncryptionRequiredText =
    "Encryption is required, but the server offers no encrypted connection.";

} // namespace dova
