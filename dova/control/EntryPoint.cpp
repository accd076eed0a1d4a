// The library's one exported symbol.
#include "VNCViewer.h"

extern "C" __attribute__((visibility("default"))) dova::IVNCViewer*
DovaCreateViewer(uint32_t hostInterfaceVersion, QWidget* parent, const char** message) {
    using namespace dova;
    const uint32_t major = hostInterfaceVersion >> 16, minor = hostInterfaceVersion & 0xFFFF;
    if (major != DOVA_INTERFACE_MAJOR || minor > DOVA_INTERFACE_MINOR) {
        if (message)
            *message = "DOVA: the host was built for another version of the viewer interface; "
                       "no viewer was created.";
        return nullptr;
    }
    if (message)
        *message = nullptr;
    return new CVNCViewer(parent);
}
