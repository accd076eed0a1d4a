#include "Plugin.h"

#include <climits>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace dova {

void* LoadPluginModule(const std::string& path, int& privateCopy) {
    privateCopy = -1;
    // The loader shares a library opened twice by the same file; a copy in memory is a new file.
    const int source = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (source < 0)
        return nullptr;
    const int copy = ::memfd_create("dova-plugin", MFD_CLOEXEC);
    bool copied = copy >= 0;
    char buffer[65536];
    while (copied) {
        const ssize_t got = ::read(source, buffer, sizeof buffer);
        if (got == 0)
            break;
        copied = got > 0 && ::write(copy, buffer, size_t(got)) == got;
    }
    ::close(source);
    if (copied) {
        const std::string copyPath = "/proc/self/fd/" + std::to_string(copy);
        if (void* module = ::dlopen(copyPath.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            // Kept open while loaded: the loader knows the module by this path, and a new copy
            // under the same descriptor number must not be taken for it.
            privateCopy = copy;
            return module;
        }
    }
    if (copy >= 0)
        ::close(copy);
    // No private copy possible (no /proc, no memfd): load the file itself.
    return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

CPlugin::CPlugin(void* module, int privateCopy, std::string path)
    : Module(module), PrivateCopy(privateCopy), File(std::move(path)) {}

CPlugin::~CPlugin() {
    if (Module)
        ::dlclose(Module);
    if (PrivateCopy >= 0)
        ::close(PrivateCopy);
}

void* CPlugin::Entry(const char* name) const {
    return Module ? ::dlsym(Module, name) : nullptr;
}

bool CPlugin::BindInfo() {
    QueryInfo = reinterpret_cast<void (*)(DovaPluginInfo*)>(Entry("query_info"));
    GetLastError = Entry("get_last_error");
    GetLastErrorMessage = Entry("get_last_error_message");
    if (!QueryInfo || !GetLastError || !GetLastErrorMessage)
        return false;
    Information = DovaPluginInfo{};
    Information.Size = sizeof(DovaPluginInfo);
    QueryInfo(&Information);
    Information.Name[PluginNameSize - 1] = '\0'; // whatever the plug-in wrote, the name ends here
    return true;
}

CStreamPlugin::CStreamPlugin(void* module, int privateCopy, std::string path)
    : CPlugin(module, privateCopy, std::move(path)) {}

CStreamPlugin::~CStreamPlugin() = default;

bool CStreamPlugin::BindEntries() {
    ReadEntry = reinterpret_cast<int (*)(char*, int, int)>(Entry("read_exact"));
    InitStream = reinterpret_cast<void (*)(int, int)>(Entry("init_stream"));
    RecvEntry = Entry("stream_recv");
    GetTotalIn = reinterpret_cast<unsigned (*)()>(Entry("get_total_in"));
    return ReadEntry && InitStream && RecvEntry && GetTotalIn;
}

void CStreamPlugin::Attach(int socketHandle) {
    Socket = socketHandle;
    InitStream(Socket, Socket);
}

long CStreamPlugin::ReadExact(uint8_t* buffer, size_t length, int flags) {
    const int asked = length > size_t(INT_MAX) ? INT_MAX : int(length);
    const int got = ReadEntry(reinterpret_cast<char*>(buffer), asked, flags);
    // A plug-in claiming more than it was asked for is broken; treat it as a read error.
    if (got > asked)
        return -1;
    return got < 0 ? -1 : got;
}

uint32_t CStreamPlugin::TotalIn() {
    return uint32_t(GetTotalIn());
}

} // namespace dova
