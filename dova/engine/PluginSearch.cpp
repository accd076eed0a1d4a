#include "PluginSearch.h"

#include <algorithm>
#include <dirent.h>
#include <dlfcn.h>
#include <mutex>
#include <strings.h>
#include <unistd.h>

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

std::string EngineModuleFolder() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&ProgramFolder), &info) == 0 || !info.dli_fname)
        return std::string();
    char resolved[4096];
    if (!::realpath(info.dli_fname, resolved))
        return std::string();
    return FolderOf(resolved);
}

bool IsPluginFileName(const std::string& name) {
    const bool prefix = name.rfind("dova", 0) == 0 || name.rfind("libdova", 0) == 0;
    const bool suffix = name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0;
    return prefix && suffix;
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
