#include "PluginSearch.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <mutex>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace dova {

namespace {

std::mutex OverrideMutex;
std::vector<std::string> OverrideFolders;

std::string FolderOf(const std::string& file) {
    const size_t slash = file.rfind('/');
    return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

std::string ProgramFolder() {
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return std::string();
    return FolderOf(std::string(path, size_t(length)));
}

// Larger files are not plug-ins of this kind; reading them whole to check would cost too much.
constexpr off_t LargestPluginFile = 64 * 1024 * 1024;

std::string EngineModuleFile() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&ProgramFolder), &info) == 0 || !info.dli_fname)
        return std::string();
    char resolved[4096];
    if (!::realpath(info.dli_fname, resolved))
        return std::string();
    return resolved;
}

std::string EngineModuleFolder() {
    return FolderOf(EngineModuleFile());
}

// Only dova*.so: the component itself is libdova.so and lies in the same folders.
bool IsPluginFileName(const std::string& name) {
    const bool prefix = name.rfind("dova", 0) == 0;
    const bool suffix = name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0;
    return prefix && suffix;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Loading runs a library's initialisers, so a file is loaded only when it can be a plug-in: a regular
// ELF file, not the library the engine runs in, naming the information entry in its symbols.
bool CanBePlugin(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat file {};
    bool possible = ::fstat(fd, &file) == 0 && S_ISREG(file.st_mode) && file.st_size > 4 &&
                    file.st_size <= LargestPluginFile;
    if (possible) {
        const std::string own = EngineModuleFile();
        struct stat engine {};
        possible = own.empty() || ::stat(own.c_str(), &engine) != 0 || !SameFile(file, engine);
    }
    std::vector<char> bytes;
    if (possible) {
        bytes.resize(size_t(file.st_size));
        size_t have = 0;
        while (have < bytes.size()) {
            const ssize_t got = ::read(fd, bytes.data() + have, bytes.size() - have);
            if (got <= 0)
                break;
            have += size_t(got);
        }
        bytes.resize(have);
        possible = have > 4 && std::memcmp(bytes.data(),
                                           "\x7f"
                                           "ELF",
                                           4) == 0;
    }
    ::close(fd);
    if (!possible)
        return false;
    static const char entry[] = "query_info"; // with its terminating zero, as the symbol table holds it
    return std::search(bytes.begin(), bytes.end(), entry, entry + sizeof entry) != bytes.end();
}

std::vector<std::string> PluginFilesIn(const std::string& folder) {
    std::vector<std::string> names;
    DIR* directory = ::opendir(folder.c_str());
    if (!directory)
        return names;
    while (const dirent* entry = ::readdir(directory)) {
        const std::string name = entry->d_name;
        if (IsPluginFileName(name))
            names.push_back(name);
    }
    ::closedir(directory);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

std::vector<std::string> PluginFolders() {
    {
        std::lock_guard<std::mutex> hold(OverrideMutex);
        if (!OverrideFolders.empty())
            return OverrideFolders;
    }
    std::vector<std::string> folders;
    auto add = [&](const std::string& folder) {
        if (!folder.empty() && std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);
    };
    const std::string program = ProgramFolder();
    add(program);
    if (!program.empty())
        add(program + "/plugins");
    add(EngineModuleFolder());
    add("/usr/local/lib/dova");
    add("/usr/lib/dova");
    return folders;
}

void OverridePluginFolders(std::vector<std::string> folders) {
    std::lock_guard<std::mutex> hold(OverrideMutex);
    OverrideFolders = std::move(folders);
}

std::unique_ptr<CStreamPlugin> FindPlugin(const std::string& name) {
    return FindPlugin(name, PluginFolders());
}

std::unique_ptr<CStreamPlugin> FindPlugin(const std::string& name, const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        for (const std::string& file : PluginFilesIn(folder)) {
            const std::string path = folder + "/" + file;
            if (!CanBePlugin(path))
                continue;
            int privateCopy = -1;
            void* module = LoadPluginModule(path, privateCopy);
            if (!module)
                continue;
            auto plugin = std::make_unique<CStreamPlugin>(module, privateCopy, path);
            if (plugin->BindInfo() && plugin->Info().Kind == PluginKindStream &&
                ::strcasecmp(plugin->Info().Name, name.c_str()) == 0)
                return plugin;
        }
    }
    return nullptr;
}

} // namespace dova
