#pragma once
// Certificates remembered on first use, as SSH remembers host keys: a text file of lines
// "address fingerprint" (address "host:port", fingerprint "SHA256:" and 64 hex digits), readable by
// its owner only. Lines it does not understand are kept as they are.

#include <string>

namespace dova {

class CTrustStore {
public:
    explicit CTrustStore(std::string path) : Path(std::move(path)) {}

    // The fingerprint remembered for the address; empty when none (or no file).
    std::string Lookup(const std::string& address) const;
    // Remembers the fingerprint for the address, replacing an older one. The file is written anew
    // (0600, its folder made when missing) and replaced in one step. False when it cannot be written.
    bool Remember(const std::string& address, const std::string& fingerprint) const;

    // The key for a host and port: the host in lower case, then ":" and the port.
    static std::string Address(const std::string& host, int port);
    // The default store of the user: $XDG_DATA_HOME/latisvnc/known-certificates (~/.local/share/...).
    static std::string DefaultPath();

private:
    std::string Path;
};

} // namespace dova
