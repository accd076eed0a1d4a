#pragma once
// Name lookup that the owner can abandon. getaddrinfo cannot be interrupted, and with an unreachable
// name server it may take many seconds; the viewer's Stop waits for the connect thread, so the lookup
// runs on a helper thread that the connect thread stops waiting for as soon as the owner closes.

#include <atomic>
#include <netinet/in.h>
#include <string>

namespace dova {

enum class LookupResult { Found, NotFound, Abandoned };

// Dotted IPv4 text is taken as it is, with no lookup; otherwise the first IPv4 address of the name.
LookupResult LookUpIPv4(const std::string& host, in_addr& out, const std::atomic<bool>& abandon);

} // namespace dova
