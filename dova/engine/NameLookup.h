#pragma once
// Name lookup that the owner can abandon. getaddrinfo cannot be interrupted, and with an unreachable
// name server it may take many seconds; the viewer's Stop waits for the connect thread, so the lookup
// runs on a helper thread that the connect thread stops waiting for as soon as the owner closes.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace dova {

enum class LookupResult { Found, NotFound, Abandoned };

// One address a host name stands for, IPv4 or IPv6, ready for connect.
struct SocketAddress {
    sockaddr_storage Storage{};
    socklen_t Length = 0;

    int Family() const { return Storage.ss_family; }
    const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&Storage); }
};

struct PendingLookup;

// Lets the owner's close wake a thread waiting for a lookup, so that it sees the abandon flag at once
// instead of waiting for the answer. Its lock is a leaf: held only to publish, withdraw or copy the
// waiting lookup, never while taking another.
class CLookupWake {
public:
    // Call after setting the abandon flag the lookup watches; any thread, any time.
    void Wake();

private:
    friend class CWaitingLookup;
    std::mutex Mutex;
    std::shared_ptr<PendingLookup> Waiting;
};

// An address literal (dotted IPv4, IPv6 with an optional "%interface" scope) is taken as it is, with
// no lookup; otherwise every address of the name, of both families, in the resolver's order. Whoever
// sets abandon during the lookup calls wake.Wake() afterwards; until then the wait goes on.
LookupResult LookUpAddresses(const std::string& host, int port, std::vector<SocketAddress>& out,
                             const std::atomic<bool>& abandon, CLookupWake& wake);

} // namespace dova
