// Stream plug-ins for the tests, built in several variants (see tests/CMakeLists.txt):
//   PLUGIN_NAME, PLUGIN_KIND   what query_info reports
//   PLUGIN_XOR                 0 passes bytes through; otherwise the "coding" is an XOR with it, so a
//                              test can tell bytes read through the plug-in from bytes read directly
//   PLUGIN_INFO_ENTRIES        0 leaves out get_last_error (the library is then unusable)
//   PLUGIN_STREAM_ENTRIES      0 leaves out the stream entries
//   PLUGIN_NO_QUERY_INFO       defined: no query_info, so the library is no plug-in at all
// Every variant notes in LATIS_TEST_PLUGINS_LOADED that it was loaded (its initialiser ran).

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>

#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
struct Info {
    uint32_t Size;
    char Name[256];
    uint32_t Kind;
};
int Socket = -1;
unsigned TotalIn = 0;
} // namespace

__attribute__((constructor)) void NoteLoaded() {
    const char* before = std::getenv("LATIS_TEST_PLUGINS_LOADED");
    const std::string loaded = std::string(before ? before : "") + PLUGIN_TARGET ";";
    ::setenv("LATIS_TEST_PLUGINS_LOADED", loaded.c_str(), 1);
}

#ifndef PLUGIN_NO_QUERY_INFO
PLUGIN_EXPORT void query_info(Info* info) {
    if (!info || info->Size < sizeof(Info))
        return;
    std::strncpy(info->Name, PLUGIN_NAME, sizeof info->Name - 1);
    info->Kind = PLUGIN_KIND;
}
#endif

#if PLUGIN_INFO_ENTRIES
PLUGIN_EXPORT int get_last_error() {
    return 0;
}
#endif
PLUGIN_EXPORT const char* get_last_error_message() {
    return "";
}

#if PLUGIN_STREAM_ENTRIES
PLUGIN_EXPORT void init_stream(int socket, int) {
    Socket = socket;
    TotalIn = 0;
}

PLUGIN_EXPORT int read_exact(char* buffer, int length, int flags) {
    for (;;) {
        const ssize_t got = ::recv(Socket, buffer, size_t(length), flags);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got < 0 ? -1 : 0;
        TotalIn += unsigned(got);
        for (ssize_t i = 0; i < got; ++i)
            buffer[i] = char(uint8_t(buffer[i]) ^ uint8_t(PLUGIN_XOR));
        return int(got);
    }
}

PLUGIN_EXPORT int stream_recv() {
    return 0;
}

PLUGIN_EXPORT unsigned get_total_in() {
    return TotalIn;
}
#endif
