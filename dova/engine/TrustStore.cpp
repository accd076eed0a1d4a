#include "TrustStore.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace dova {

namespace {

// Viewers of one process remember one after another, so no answer is lost between reading and
// replacing the file.
std::mutex StoreMutex;

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The address and fingerprint of a line; false for comments and lines of another form.
bool Split(const std::string& line, std::string& address, std::string& fingerprint) {
    if (line.empty() || line[0] == '#')
        return false;
    const size_t space = line.find(' ');
    if (space == std::string::npos || space == 0)
        return false;
    address = line.substr(0, space);
    fingerprint = line.substr(space + 1);
    return fingerprint.rfind("SHA256:", 0) == 0;
}

void MakeFolders(const std::string& path) {
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
        ::mkdir(path.substr(0, at).c_str(), 0700);
}

} // namespace

std::string CTrustStore::Address(const std::string& host, int port) {
    std::string key;
    for (char c : host)
        key += char(std::tolower(static_cast<unsigned char>(c)));
    return key + ":" + std::to_string(port);
}

std::string CTrustStore::DefaultPath() {
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (data && *data == '/') {
        base = data;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : "") + "/.local/share";
    }
    return base + "/latisvnc/known-certificates";
}

std::string CTrustStore::Lookup(const std::string& address) const {
    if (Path.empty())
        return std::string();
    std::lock_guard<std::mutex> hold(StoreMutex);
    std::string key, fingerprint;
    for (const std::string& line : ReadLines(Path))
        if (Split(line, key, fingerprint) && key == address)
            return fingerprint;
    return std::string();
}

bool CTrustStore::Remember(const std::string& address, const std::string& fingerprint) const {
    if (Path.empty() || address.find_first_of(" \n") != std::string::npos)
        return false;
    std::lock_guard<std::mutex> hold(StoreMutex);
    std::vector<std::string> lines = ReadLines(Path);
    std::ostringstream text;
    bool replaced = false;
    if (lines.empty())
        text << "# LatisVNC: server certificates accepted by the user (address, SHA-256 fingerprint)\n";
    std::string key, old;
    for (const std::string& line : lines) {
        if (Split(line, key, old) && key == address) {
            if (!replaced)
                text << address << ' ' << fingerprint << '\n';
            replaced = true;
            continue;
        }
        text << line << '\n';
    }
    if (!replaced)
        text << address << ' ' << fingerprint << '\n';

    MakeFolders(Path);
    const std::string temporary = Path + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::fchmod(fd, 0600);
    const std::string bytes = text.str();
    size_t written = 0;
    while (written < bytes.size()) {
        const long put = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            break;
        written += size_t(put);
    }
    const bool complete = written == bytes.size() && ::fsync(fd) == 0;
    ::close(fd);
    if (!complete || ::rename(temporary.c_str(), Path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace dova
