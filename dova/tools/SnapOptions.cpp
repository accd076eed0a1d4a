#include "SnapOptions.h"

#include "engine/ServerAddress.h"

#include <algorithm>
#include <functional>
#include <vector>

namespace dova_snap {

const char* const Usage =
    "usage: dova-snap HOST[:PORT] [--password P] [--bpp 8|16|32] [--encodings LIST] [--updates N]\n"
    "                 [--quality 0-9] [--compress 0-9] [--out FILE.png] [--click X,Y] [--type TEXT]\n"
    "                 [--encryption off|prefer|require] [--user NAME] [--known-certs FILE] [--accept-new]\n"
    "  HOST:N with N below 100 is display N (port 5900 + N); HOST:PN is port N.\n"
    "  --encodings: comma-separated encoding numbers, asked for in that order (0 Raw, 1 CopyRect,\n"
    "  2 RRE, 4 CoRRE, 5 Hextile, 7 Tight, 16 ZRLE). --updates N: decode N updates and print what\n"
    "  arrived. --quality: Tight's JPEG quality (without it no JPEG); --compress: its zlib level.\n"
    "  --out: write the framebuffer after the updates (1 unless --updates says more) as PNG.\n"
    "  --click moves the remote pointer to X,Y and clicks the left button; --type\n"
    "  then types TEXT (capitals through Shift). Both once the connection is up.\n"
    "  --encryption (default prefer): VeNCrypt over TLS where the server offers it; require refuses\n"
    "  a server that does not, off never asks. --user: the user name for Plain authentication.\n"
    "  --known-certs: the file of remembered server certificates (default: the user's);\n"
    "  --accept-new remembers a certificate not seen before instead of refusing it.\n";

namespace {

struct Option {
    const char* Name;
    bool TakesValue;
    // Applies the value; returns an error text, empty when fine.
    std::function<std::string(SnapOptions&, const std::string&)> Apply;
};

bool ParseInt(const std::string& text, int& out) {
    if (text.empty() || text.size() > 9)
        return false;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

// "5,1,-239": at most as many numbers as the viewer has codec slots.
bool ParseEncodings(const std::string& text, std::vector<int32_t>& out) {
    out.clear();
    size_t at = 0;
    while (at <= text.size()) {
        const size_t comma = std::min(text.find(',', at), text.size());
        std::string item = text.substr(at, comma - at);
        const bool negative = !item.empty() && item[0] == '-';
        int value;
        if (!ParseInt(negative ? item.substr(1) : item, value) || out.size() >= 16)
            return false;
        out.push_back(negative ? -value : value);
        at = comma + 1;
    }
    return !out.empty();
}

const std::vector<Option>& OptionTable() {
    static const std::vector<Option> table = {
        {"--password", true,
         [](SnapOptions& o, const std::string& v) {
             o.HasPassword = true;
             o.Password = v;
             return std::string();
         }},
        {"--bpp", true,
         [](SnapOptions& o, const std::string& v) {
             if (!ParseInt(v, o.BitsPerPixel) ||
                 (o.BitsPerPixel != 8 && o.BitsPerPixel != 16 && o.BitsPerPixel != 32))
                 return std::string("--bpp takes 8, 16 or 32");
             return std::string();
         }},
        {"--encodings", true,
         [](SnapOptions& o, const std::string& v) {
             if (!ParseEncodings(v, o.Encodings))
                 return std::string("--encodings takes up to 16 comma-separated numbers, e.g. 5,1,0");
             return std::string();
         }},
        {"--updates", true,
         [](SnapOptions& o, const std::string& v) {
             if (!ParseInt(v, o.Updates) || o.Updates < 1)
                 return std::string("--updates takes a number of at least 1");
             return std::string();
         }},
        {"--quality", true,
         [](SnapOptions& o, const std::string& v) {
             if (!ParseInt(v, o.QualityLevel) || o.QualityLevel > 9)
                 return std::string("--quality takes 0 to 9");
             return std::string();
         }},
        {"--compress", true,
         [](SnapOptions& o, const std::string& v) {
             if (!ParseInt(v, o.CompressLevel) || o.CompressLevel > 9)
                 return std::string("--compress takes 0 to 9");
             return std::string();
         }},
        {"--click", true,
         [](SnapOptions& o, const std::string& v) {
             const size_t comma = v.find(',');
             if (comma == std::string::npos || !ParseInt(v.substr(0, comma), o.ClickX) ||
                 !ParseInt(v.substr(comma + 1), o.ClickY) || o.ClickX > 65535 || o.ClickY > 65535)
                 return std::string("--click takes X,Y (0 to 65535 each)");
             o.HasClick = true;
             return std::string();
         }},
        {"--type", true,
         [](SnapOptions& o, const std::string& v) {
             o.TypeText = v;
             return std::string();
         }},
        {"--encryption", true,
         [](SnapOptions& o, const std::string& v) {
             const char* names[] = {"off", "prefer", "require"};
             for (int i = 0; i < 3; ++i)
                 if (v == names[i]) {
                     o.Encryption = i;
                     return std::string();
                 }
             return std::string("--encryption takes off, prefer or require");
         }},
        {"--user", true,
         [](SnapOptions& o, const std::string& v) {
             o.User = v;
             return std::string();
         }},
        {"--known-certs", true,
         [](SnapOptions& o, const std::string& v) {
             o.KnownCertificates = v;
             return std::string();
         }},
        {"--accept-new", false,
         [](SnapOptions& o, const std::string&) {
             o.AcceptNew = true;
             return std::string();
         }},
        {"--out", true,
         [](SnapOptions& o, const std::string& v) {
             o.OutPath = v;
             return std::string();
         }},
    };
    return table;
}

} // namespace

bool ParseSnapOptions(int argc, char** argv, SnapOptions& options, std::string& error) {
    bool haveServer = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind("--", 0) != 0) {
            if (haveServer) {
                error = "more than one server given: " + argument;
                return false;
            }
            if (!dova::SplitServerText(argument, options.Host, options.Port)) {
                error = "port out of range (at most 65535): " + argument;
                return false;
            }
            haveServer = true;
            continue;
        }
        const Option* found = nullptr;
        for (const Option& option : OptionTable())
            if (argument == option.Name)
                found = &option;
        if (!found) {
            error = "unknown option " + argument;
            return false;
        }
        std::string value;
        if (found->TakesValue) {
            if (i + 1 >= argc) {
                error = argument + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        error = found->Apply(options, value);
        if (!error.empty())
            return false;
    }
    if (!haveServer || options.Host.empty()) {
        error = "no server given";
        return false;
    }
    if (options.Port <= 0 || options.Port > 65535) {
        error = "port out of range";
        return false;
    }
    return true;
}

} // namespace dova_snap
