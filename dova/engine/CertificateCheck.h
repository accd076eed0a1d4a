#pragma once
// Whether the server's certificate is to be trusted: first by the chain and the host name against
// the trusted authorities, then by trust on first use. A fingerprint remembered for the address
// connects silently; an unknown one is refused until the operator confirms it (codes::
// CertificateUnknown, the fingerprint in the message and in the state's outcome); a changed one is
// refused loudly (codes::CertificateChanged) and is not confirmed by a click.

#include <string>

namespace dova {

class CViewerState;
class CCoolSocket;

// Returns how the identity was established, e.g. "certificate verified by pin SHA256:...", and sets
// state.Security's Verified and Fingerprint; raises an engine exception when it is not trusted.
std::string CheckServerCertificate(CViewerState& state, CCoolSocket& socket);

} // namespace dova
