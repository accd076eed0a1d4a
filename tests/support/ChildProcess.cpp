#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace latis_test {

namespace {
// Time a server gets to end cleanly (and remove its lock files) before it is killed.
constexpr auto StopGrace = std::chrono::seconds(3);

// Everything exec needs is built before fork: the child of a threaded process may only make
// async-signal-safe calls.
struct ExecImage {
    std::vector<std::string> Strings;
    std::vector<char*> Argv;
    std::vector<std::string> EnvStrings;
    std::vector<char*> Envp;

    ExecImage(const std::vector<std::string>& argv, const std::vector<std::string>& extra) : Strings(argv) {
        for (auto& s : Strings)
            Argv.push_back(s.data());
        Argv.push_back(nullptr);
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            const std::string name = entry.substr(0, entry.find('='));
            bool replaced = false;
            for (const auto& x : extra)
                replaced |= x.substr(0, x.find('=')) == name;
            if (!replaced)
                EnvStrings.push_back(entry);
        }
        for (const auto& x : extra)
            EnvStrings.push_back(x);
        for (auto& s : EnvStrings)
            Envp.push_back(s.data());
        Envp.push_back(nullptr);
    }
};

int ExitCodeOf(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const ChildOptions& options) {
    ExecImage image(argv, options.Environment);
    const int logFd = ::open(options.LogPath.empty() ? "/dev/null" : options.LogPath.c_str(),
                             O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::setpgid(0, 0);
        // A test process that crashes takes its servers with it (the destructor never runs then).
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        ::dup2(nullFd, 0);
        if (logFd >= 0) {
            ::dup2(logFd, 1);
            ::dup2(logFd, 2);
        }
        if (options.PassFd >= 0)
            ::dup2(options.PassFd, 3);
        ::execvpe(image.Argv[0], image.Argv.data(), image.Envp.data());
        ::_exit(127);
    }
    ::setpgid(pid, pid); // also from here, so the group exists before anyone signals it
    ProcessId = pid;
    if (logFd >= 0)
        ::close(logFd);
    if (nullFd >= 0)
        ::close(nullFd);
}

ChildProcess::~ChildProcess() {
    Stop();
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : ProcessId(other.ProcessId), ExitStatus(other.ExitStatus) {
    other.ProcessId = -1;
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        Stop();
        ProcessId = other.ProcessId;
        ExitStatus = other.ExitStatus;
        other.ProcessId = -1;
    }
    return *this;
}

bool ChildProcess::Running() {
    if (ProcessId < 0)
        return false;
    int status = 0;
    const pid_t done = ::waitpid(ProcessId, &status, WNOHANG);
    if (done == ProcessId) {
        ExitStatus = ExitCodeOf(status);
        ::kill(-ProcessId, SIGKILL); // anything the child left running in its group
        ProcessId = -1;
        return false;
    }
    return true;
}

int ChildProcess::Wait(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (Running()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ExitStatus;
}

void ChildProcess::Stop() {
    if (ProcessId < 0)
        return;
    const pid_t group = ProcessId;
    ::kill(-group, SIGTERM);
    if (Wait(std::chrono::duration_cast<std::chrono::milliseconds>(StopGrace)) < 0 && ProcessId > 0) {
        ::kill(-group, SIGKILL);
        int status = 0;
        ::waitpid(ProcessId, &status, 0);
        ProcessId = -1;
    }
    ::kill(-group, SIGKILL); // grandchildren that ignored the first signal
}

std::string RunAndCapture(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                          const std::string& input, std::chrono::milliseconds limit) {
    int out[2], in[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(in, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    ExecImage image(argv, environment);
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::setpgid(0, 0);
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        const int nullFd = ::open("/dev/null", O_WRONLY);
        ::dup2(nullFd, 2);
        ::execvpe(image.Argv[0], image.Argv.data(), image.Envp.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(in[0]);
    if (!input.empty()) {
        const ssize_t put = ::write(in[1], input.data(), input.size());
        (void)put;
    }
    ::close(in[1]);

    std::string captured;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool timedOut = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, int(left.count())) <= 0)
            continue;
        char buffer[65536];
        const ssize_t got = ::read(out[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        captured.append(buffer, size_t(got));
    }
    ::close(out[0]);
    if (timedOut)
        ::kill(-pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (timedOut)
        throw std::runtime_error(argv[0] + " took too long");
    if (ExitCodeOf(status) != 0)
        throw std::runtime_error(argv[0] + " failed with status " + std::to_string(ExitCodeOf(status)));
    return captured;
}

} // namespace latis_test
