// A control library of another build: same entry point, a newer major interface version, so it
// refuses to serve this host.
#include "IVNCViewer.h"

namespace {
constexpr uint32_t ForeignMajor = dova::DOVA_INTERFACE_MAJOR + 1;
}

extern "C" __attribute__((visibility("default"))) dova::IVNCViewer*
DovaCreateViewer(uint32_t hostVersion, QWidget*, const char** message) {
    if ((hostVersion >> 16) != ForeignMajor) {
        if (message)
            *message = "interface version not served by this library";
        return nullptr;
    }
    return nullptr;
}
