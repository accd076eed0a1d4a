#pragma once
// Run-time plug-ins: libraries named dova*.so that describe themselves through an
// information entry. CStreamPlugin is the stream-coding kind: once bound to the connection, every
// server byte is read through it.
//
// Exports (C linkage), looked up by name:
//   void query_info(DovaPluginInfo*)            once, right after loading
//   int get_last_error(void)                    must exist, never called
//   const char* get_last_error_message(void)    must exist, never called
//   void init_stream(int socket, int socket)    stream kind: once, when bound to the connection
//   int read_exact(char* buffer, int length, int flags)
//                                               stream kind: up to length bytes; 0 closed, -1 error;
//                                               honours the peek flag (MSG_PEEK)
//   int stream_recv(void)                       stream kind: must exist, never called
//   unsigned get_total_in(void)                 stream kind: bytes taken from the socket so far

#include "CoolSocket.h"

#include <cstdint>
#include <string>

namespace dova {

inline constexpr uint32_t PluginKindStream = 1;
inline constexpr size_t PluginNameSize = 256;

extern "C" {
struct DovaPluginInfo {
    uint32_t Size; // set by the caller before query_info
    char Name[PluginNameSize];
    uint32_t Kind;
};
}
static_assert(sizeof(DovaPluginInfo) == 264, "the plug-in information record is 264 bytes");

class CPlugin {
public:
    // Takes over a loaded module (see LoadPluginModule); unloads it on destruction.
    CPlugin(void* module, int privateCopy, std::string path);
    virtual ~CPlugin();
    CPlugin(const CPlugin&) = delete;
    CPlugin& operator=(const CPlugin&) = delete;

    // Looks up the information entries and asks the plug-in to describe itself; false when unusable.
    virtual bool BindInfo();
    // Looks up the entries of the plug-in's kind; false when one is missing.
    virtual bool BindEntries() = 0;

    const DovaPluginInfo& Info() const { return Information; }
    const std::string& Path() const { return File; }

protected:
    void* Entry(const char* name) const;

    DovaPluginInfo Information{};
    void (*QueryInfo)(DovaPluginInfo*) = nullptr;
    void* GetLastError = nullptr;
    void* GetLastErrorMessage = nullptr;

private:
    void* Module;
    int PrivateCopy;
    std::string File;
};

class CStreamPlugin : public CPlugin, public IStreamSource {
public:
    CStreamPlugin(void* module, int privateCopy, std::string path);
    ~CStreamPlugin() override;

    bool BindEntries() override;
    // Hands the connection to the plug-in (init_stream).
    void Attach(int socketHandle);

    long ReadExact(uint8_t* buffer, size_t length, int flags) override;
    uint32_t TotalIn() override;

private:
    int (*ReadEntry)(char*, int, int) = nullptr;
    void* RecvEntry = nullptr;
    void (*InitStream)(int, int) = nullptr;
    unsigned (*GetTotalIn)() = nullptr;
    int Socket = -1;
};

// Loads a library as an instance of its own: each connection gets its own copy of a plug-in's
// global state, so two viewers coding their streams at once never share a decoder. Returns the
// module or nullptr; privateCopy receives a descriptor to close after unloading (-1 if none).
void* LoadPluginModule(const std::string& path, int& privateCopy);

} // namespace dova
