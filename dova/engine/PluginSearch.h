#pragma once
// Finding a plug-in by the name it gives itself.
//
// Folders searched, in order (the first accepted file wins):
//   1. the folder of the running program;
//   2. that folder + "/plugins";
//   3. the folder of the library the engine is linked into (libdova.so), when it is another;
//   4. /usr/local/lib/dova;
//   5. /usr/lib/dova.
// In each folder the files named dova*.so are tried in name order; a file is loaded only when it can
// be a plug-in (an ELF file naming query_info, not the library the engine runs in), since loading
// runs its initialisers. The current directory is not changed: the loader does not look there for a
// library's dependencies.

#include "Plugin.h"

#include <memory>
#include <string>
#include <vector>

namespace dova {

// The name of the stream-coding plug-in the engine asks for.
inline constexpr char StreamPluginName[] = "dova.stream.zlib";

std::vector<std::string> PluginFolders();
// Tests point the search at folders of their own; an empty list restores the standard folders.
void OverridePluginFolders(std::vector<std::string> folders);

// A stream plug-in of kind 1 whose name equals name, ignoring case; libraries that cannot be loaded,
// lack the information entries, or are of another kind or name are skipped. nullptr when none.
std::unique_ptr<CStreamPlugin> FindPlugin(const std::string& name);
std::unique_ptr<CStreamPlugin> FindPlugin(const std::string& name, const std::vector<std::string>& folders);

} // namespace dova
