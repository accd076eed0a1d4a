#pragma once
// Root writes into any folder. With the file-system identity of an unprivileged user (this thread
// only), a folder without write permission is read-only for the test as it is for a user.

#include <sys/fsuid.h>
#include <unistd.h>

class UnprivilegedFiles {
public:
    static constexpr uid_t Nobody = 65534;

    UnprivilegedFiles() {
        if (::geteuid() == 0)
            ::setfsuid(Nobody);
    }
    ~UnprivilegedFiles() {
        if (::geteuid() == 0)
            ::setfsuid(0);
    }
    UnprivilegedFiles(const UnprivilegedFiles&) = delete;
    UnprivilegedFiles& operator=(const UnprivilegedFiles&) = delete;
};
