#pragma once
// A program started by a test in a process group of its own, so the whole group can be ended when the
// test ends, whether it passed or failed. If the test process dies without cleaning up, the program
// gets SIGTERM (parent-death signal: start children from a thread that outlives them, e.g. the test's
// main thread).

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace latis_test {

struct ChildOptions {
    std::vector<std::string> Environment; // "NAME=value" entries added to the test's environment
    std::string LogPath;                  // stdout and stderr go here; empty = /dev/null
    int PassFd = -1;                      // a descriptor handed to the child as descriptor 3
};

class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const std::vector<std::string>& argv, const ChildOptions& options = {});
    ~ChildProcess();
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return ProcessId; }
    bool Running();
    // Waits for the child to end by itself; returns its exit status, or -1 after the time limit.
    int Wait(std::chrono::milliseconds limit);
    // SIGTERM to the whole group, SIGKILL after a grace period; always reaps the child.
    void Stop();

private:
    pid_t ProcessId = -1;
    int ExitStatus = -1;
};

// Runs a program to its end and returns what it wrote to stdout; throws when it cannot start, fails,
// or takes longer than the limit.
std::string RunAndCapture(const std::vector<std::string>& argv,
                          const std::vector<std::string>& environment = {}, const std::string& input = {},
                          std::chrono::milliseconds limit = std::chrono::seconds(30));

} // namespace latis_test
