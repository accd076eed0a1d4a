#include "NameLookup.h"

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <system_error>
#include <thread>

namespace dova {

struct PendingLookup {
    std::mutex Mutex;
    std::condition_variable Done; // the answer came, or the owner woke the waiting thread
    bool Finished = false;
    std::vector<SocketAddress> Addresses;
};

// Shows the lookup a thread waits for to the owner's close for as long as the wait lasts.
class CWaitingLookup {
public:
    CWaitingLookup(CLookupWake& wake, std::shared_ptr<PendingLookup> pending) : Wake(wake) {
        std::lock_guard<std::mutex> hold(Wake.Mutex);
        Wake.Waiting = std::move(pending);
    }
    ~CWaitingLookup() {
        std::lock_guard<std::mutex> hold(Wake.Mutex);
        Wake.Waiting.reset();
    }
    CWaitingLookup(const CWaitingLookup&) = delete;
    CWaitingLookup& operator=(const CWaitingLookup&) = delete;

private:
    CLookupWake& Wake;
};

void CLookupWake::Wake() {
    std::shared_ptr<PendingLookup> waiting;
    {
        std::lock_guard<std::mutex> hold(Mutex);
        waiting = Waiting;
    }
    if (!waiting)
        return; // nobody waits yet: the waiter reads the flag after it has shown itself
    // Taken so the notification cannot fall between the waiter's look at the flag and its wait.
    std::lock_guard<std::mutex> hold(waiting->Mutex);
    waiting->Done.notify_all();
}

namespace {
// Runs getaddrinfo and keeps each stream address once, in the resolver's order.
std::vector<SocketAddress> Resolve(const std::string& host, int port, int flags) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    std::vector<SocketAddress> out;
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0)
        return out;
    for (const addrinfo* at = found; at; at = at->ai_next) {
        if ((at->ai_family != AF_INET && at->ai_family != AF_INET6) ||
            at->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        SocketAddress address;
        std::memcpy(&address.Storage, at->ai_addr, at->ai_addrlen);
        address.Length = at->ai_addrlen;
        bool seen = false;
        for (const SocketAddress& earlier : out)
            seen = seen || (earlier.Length == address.Length &&
                            std::memcmp(&earlier.Storage, &address.Storage, address.Length) == 0);
        if (!seen)
            out.push_back(address);
    }
    ::freeaddrinfo(found);
    return out;
}

void RunLookup(const std::string& host, int port, const std::shared_ptr<PendingLookup>& pending) {
    std::vector<SocketAddress> addresses = Resolve(host, port, 0);
    std::lock_guard<std::mutex> hold(pending->Mutex);
    pending->Addresses = std::move(addresses);
    pending->Finished = true;
    pending->Done.notify_all();
}
} // namespace

LookupResult LookUpAddresses(const std::string& host, int port, std::vector<SocketAddress>& out,
                             const std::atomic<bool>& abandon, CLookupWake& wake) {
    out.clear();
    if (host.empty())
        return LookupResult::NotFound;
    out = Resolve(host, port, AI_NUMERICHOST); // never blocks: literals only
    if (!out.empty())
        return LookupResult::Found;
    if (abandon)
        return LookupResult::Abandoned; // no helper for an attempt already given up
    auto pending = std::make_shared<PendingLookup>();
    // The helper owns its copies of the name and the result, so it may finish after we have left;
    // it is the one thread that is not joined, because nothing can make getaddrinfo return early.
    // It touches nothing of the caller's, and the component library is never unmapped under it
    // (linked nodelete); at process exit it ends with the process.
    try {
        std::thread(RunLookup, host, port, pending).detach();
    } catch (const std::system_error&) {
        // No thread to spare: look up here, which an owner close cannot cut short.
        RunLookup(host, port, pending);
    }
    CWaitingLookup shown(wake, pending);
    std::unique_lock<std::mutex> hold(pending->Mutex);
    pending->Done.wait(hold, [&] { return pending->Finished || abandon; });
    if (!pending->Finished)
        return LookupResult::Abandoned;
    if (pending->Addresses.empty())
        return LookupResult::NotFound;
    out = std::move(pending->Addresses);
    return LookupResult::Found;
}

} // namespace dova
