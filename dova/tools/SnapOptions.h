#pragma once
// Command line of dova-snap. To add an option: a field here, an entry in the option table of
// SnapOptions.cpp, a line in the usage text.

#include <cstdint>
#include <string>
#include <vector>

namespace dova_snap {

struct SnapOptions {
    std::string Host;
    int Port = 5900;
    bool HasPassword = false;
    std::string Password;
    int BitsPerPixel = 32;
    std::string OutPath;            // --out FILE.png: the framebuffer after the updates
    std::vector<int32_t> Encodings; // --encodings 5,1,0: the codec list in that order (empty: default)
    int Updates = 0;                // --updates N: decode N updates (1 when only --out is given)
    int QualityLevel = -1;          // --quality 0-9: Tight's JPEG quality (none: no JPEG)
    int CompressLevel = -1;         // --compress 0-9: Tight's zlib level (none: the server's choice)

    // Whether the session runs after the handshake, and for how many updates.
    bool Captures() const { return Updates > 0 || !OutPath.empty(); }
    int UpdatesToCapture() const { return Updates > 0 ? Updates : 1; }
    bool HasClick = false; // --click X,Y: move the remote pointer there and click the left button
    int ClickX = 0, ClickY = 0;
    std::string TypeText;          // --type TEXT (UTF-8), typed after the click
    int Encryption = 1;            // --encryption off|prefer|require: 0, 1, 2
    std::string User;              // --user NAME, for Plain authentication inside TLS
    std::string KnownCertificates; // --known-certs FILE (empty: the user's store)
    bool AcceptNew = false;        // --accept-new: remember an unknown certificate
};

extern const char* const Usage;

// Fills options from the arguments; false with a message on a bad command line.
bool ParseSnapOptions(int argc, char** argv, SnapOptions& options, std::string& error);

} // namespace dova_snap
