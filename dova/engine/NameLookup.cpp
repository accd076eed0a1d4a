#include "NameLookup.h"

#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <sys/socket.h>
#include <thread>

namespace dova {

namespace {
// How often a waiting connect thread looks at the abandon flag.
constexpr std::chrono::milliseconds AbandonCheckSlice{50};

struct PendingLookup {
    std::mutex Mutex;
    std::condition_variable Done;
    bool Finished = false;
    bool Found = false;
    in_addr Address{};
};

void RunLookup(const std::string& host, const std::shared_ptr<PendingLookup>& pending) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const bool ok = ::getaddrinfo(host.c_str(), nullptr, &hints, &found) == 0 && found;
    std::lock_guard<std::mutex> hold(pending->Mutex);
    if (ok)
        pending->Address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    if (found)
        ::freeaddrinfo(found);
    pending->Found = ok;
    pending->Finished = true;
    pending->Done.notify_all();
}
} // namespace

LookupResult LookUpIPv4(const std::string& host, in_addr& out, const std::atomic<bool>& abandon) {
    if (::inet_pton(AF_INET, host.c_str(), &out) == 1)
        return LookupResult::Found;
    auto pending = std::make_shared<PendingLookup>();
    // The helper owns its copies of the name and the result, so it may finish after we have left;
    // it is the one thread that is not joined, because nothing can make getaddrinfo return early.
    std::thread(RunLookup, host, pending).detach();
    std::unique_lock<std::mutex> hold(pending->Mutex);
    while (!pending->Finished) {
        if (abandon)
            return LookupResult::Abandoned;
        pending->Done.wait_for(hold, AbandonCheckSlice);
    }
    if (!pending->Found)
        return LookupResult::NotFound;
    out = pending->Address;
    return LookupResult::Found;
}

} // namespace dova
