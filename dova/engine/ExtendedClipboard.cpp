#include "ExtendedClipboard.h"

#include "../base/ByteSource.h"
#include "../base/EngineExceptions.h"
#include "RfbProtocol.h"

#include <cstdio>
#include <cstring>
#include <zlib.h>

namespace dova {

namespace {

using namespace clipboard_flags;

[[noreturn]] void RaiseMalformedClipboard() {
    throw CErrorException(codes::ProtocolSync, texts::ProtocolSync);
}

[[noreturn]] void RaiseTooLong(uint32_t size) {
    char text[128];
    std::snprintf(text, sizeof text, "Server cut text too long (%u bytes).", unsigned(size));
    throw CErrorException(codes::Validity, text);
}

// Pulls exactly n bytes out of a zlib stream; false when the stream is corrupt or ends first.
bool InflateExactly(z_stream& z, uint8_t* out, size_t n) {
    z.next_out = out;
    z.avail_out = uInt(n);
    while (z.avail_out > 0) {
        const int result = ::inflate(&z, Z_NO_FLUSH);
        if (result == Z_STREAM_END)
            return z.avail_out == 0;
        if (result != Z_OK)
            return false;
    }
    return true;
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& plain) {
    uLongf size = ::compressBound(uLong(plain.size()));
    std::vector<uint8_t> packed(size);
    if (::compress2(packed.data(), &size, plain.data(), uLong(plain.size()), Z_DEFAULT_COMPRESSION) != Z_OK)
        throw CErrorException(0, "Out of memory.");
    packed.resize(size);
    return packed;
}

// Local text as the extension carries it: CR LF line ends, a terminating NUL counted in its size.
std::string ToCrLfWithNul(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size() + utf8.size() / 8 + 1);
    for (char c : utf8) {
        if (c == '\0')
            break;
        if (c == '\r')
            continue;
        if (c == '\n')
            out.push_back('\r');
        out.push_back(c);
    }
    out.push_back('\0');
    return out;
}

void Send(CRfbProtocol& protocol, const std::vector<uint8_t>& message) {
    protocol.Output().Write(message.data(), message.size());
}

void PutFlags(std::vector<uint8_t>& data, uint32_t value) {
    uint8_t bytes[4];
    PutU32(bytes, value);
    data.insert(data.end(), bytes, bytes + 4);
}

} // namespace

std::vector<uint8_t> ExtendedCutTextMessage(uint8_t type, uint32_t flags, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> message(12 + data.size());
    message[0] = type;
    PutU32(&message[4], uint32_t(-int64_t(4 + data.size())));
    PutU32(&message[8], flags);
    if (!data.empty())
        std::memcpy(&message[12], data.data(), data.size());
    return message;
}

void CExtendedClipboard::Reset() {
    std::lock_guard<std::mutex> hold(Mutex);
    IsActive = false;
    ServerFlags = 0;
    ServerTextLimit = 0;
    LocalText.reset();
}

std::optional<std::string> CExtendedClipboard::ReadServerMessage(CRfbProtocol& protocol, uint32_t size,
                                                                 bool fetchText) {
    if (size < 4)
        RaiseMalformedClipboard();
    if (size > MaxClipboardText)
        RaiseTooLong(size);
    const uint8_t* message = protocol.Input().Take(size);
    const uint32_t flags = GetU32(message);
    const uint8_t* data = message + 4;
    const size_t dataSize = size - 4;

    if (flags & Caps) {
        // One u32 size limit per format the server handles, lowest format bit first.
        size_t at = 0;
        uint32_t textLimit = 0;
        for (int bit = 0; bit < 16; ++bit) {
            if (!(flags & (1u << bit)))
                continue;
            if (at + 4 > dataSize)
                RaiseMalformedClipboard();
            if (bit == 0)
                textLimit = GetU32(data + at);
            at += 4;
        }
        {
            std::lock_guard<std::mutex> hold(Mutex);
            ServerFlags = flags;
            ServerTextLimit = textLimit;
        }
        IsActive = true;
        AnswerCaps(protocol);
        return std::nullopt;
    }
    if (!IsActive)
        RaiseMalformedClipboard(); // the extension's messages only come after its capabilities
    if (flags & Provide)
        return ReadProvidedText(data, dataSize, flags);
    if (flags & Request) {
        if (flags & Text) {
            std::lock_guard<std::mutex> order(WireOrder);
            ProvideLocalText(protocol);
        }
        return std::nullopt;
    }
    if (flags & Peek) {
        bool hasText;
        {
            std::lock_guard<std::mutex> hold(Mutex);
            hasText = LocalText.has_value();
        }
        Send(protocol,
             ExtendedCutTextMessage(client_messages::ClientCutText, Notify | (hasText ? Text : 0), {}));
        return std::nullopt;
    }
    // New text on the server: asked for only where the server takes requests, and only when the user
    // relays it (fetched and dropped would cost the transfer for nothing).
    uint32_t serverFlags;
    {
        std::lock_guard<std::mutex> hold(Mutex);
        serverFlags = ServerFlags;
    }
    if ((flags & Notify) && (flags & Text) && (serverFlags & Request) && (serverFlags & Text) && fetchText)
        Send(protocol, ExtendedCutTextMessage(client_messages::ClientCutText, Request | Text, {}));
    return std::nullopt;
}

std::optional<std::string> CExtendedClipboard::ReadProvidedText(const uint8_t* data, size_t size,
                                                                uint32_t flags) {
    if (!(flags & Text))
        return std::nullopt; // formats this viewer does not take
    z_stream z{};
    if (::inflateInit(&z) != Z_OK)
        throw CErrorException(0, "Out of memory.");
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = uInt(size);
    std::optional<std::string> text;
    uint8_t head[4];
    bool ok = InflateExactly(z, head, sizeof head);
    const uint32_t length = ok ? GetU32(head) : 0;
    if (ok && length <= MaxClipboardText) {
        text.emplace(length, '\0');
        ok = InflateExactly(z, reinterpret_cast<uint8_t*>(text->data()), length);
    }
    ::inflateEnd(&z);
    if (!ok)
        RaiseMalformedClipboard();
    if (!text)
        RaiseTooLong(length);
    return text;
}

void CExtendedClipboard::AnswerCaps(CRfbProtocol& protocol) {
    std::vector<uint8_t> limits;
    PutFlags(limits, MaxClipboardText);
    Send(protocol, ExtendedCutTextMessage(client_messages::ClientCutText,
                                          Text | Caps | Request | Peek | Notify | Provide, limits));
}

void CExtendedClipboard::ProvideLocalText(CRfbProtocol& protocol) {
    std::vector<uint8_t> plain;
    {
        std::lock_guard<std::mutex> hold(Mutex);
        if (LocalText) {
            PutFlags(plain, uint32_t(LocalText->size()));
            plain.insert(plain.end(), LocalText->begin(), LocalText->end());
        }
    }
    // With no text to give, a provide of no formats still answers the request.
    Send(protocol, ExtendedCutTextMessage(client_messages::ClientCutText,
                                          Provide | (plain.empty() ? 0 : Text), Deflate(plain)));
}

void CExtendedClipboard::LocalTextChanged(CRfbProtocol& protocol, const std::string& utf8) {
    std::lock_guard<std::mutex> order(WireOrder);
    uint32_t serverFlags;
    bool fits;
    {
        std::lock_guard<std::mutex> hold(Mutex);
        LocalText = ToCrLfWithNul(utf8);
        serverFlags = ServerFlags;
        fits = LocalText->size() <= ServerTextLimit;
    }
    // Told, the server asks when it needs the text; a server that is never told takes it unasked, up
    // to the size it said it takes. A server whose capabilities leave out text hears of none.
    if (!(serverFlags & Text))
        return;
    if (serverFlags & Notify)
        Send(protocol, ExtendedCutTextMessage(client_messages::ClientCutText, Notify | Text, {}));
    else if ((serverFlags & Provide) && fits)
        ProvideLocalText(protocol);
}

} // namespace dova
