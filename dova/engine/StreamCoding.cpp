#include "StreamCoding.h"

#include "../base/EngineExceptions.h"
#include "CoolSocket.h"
#include "PluginSearch.h"
#include "RfbProtocol.h"
#include "ViewerState.h"

#include <algorithm>

namespace dova {

namespace {
constexpr uint8_t CodecNone = 0;
constexpr uint8_t CodecPlugin = 1;
} // namespace

bool LoadStreamPlugin(CCoolSocket& socket) {
    socket.SetStreamSource(nullptr);
    // A plug-in reads the socket itself: over TLS it would see ciphertext, and bypass the encryption.
    if (socket.IsEncrypted())
        return false;
    std::unique_ptr<CStreamPlugin> plugin = FindPlugin(StreamPluginName);
    if (!plugin || !plugin->BindEntries())
        return false;
    plugin->Attach(socket.Handle());
    socket.SetStreamSource(std::move(plugin));
    return true;
}

void StartCompatibleStream(CViewerState& state, CCoolSocket& socket, CRfbProtocol& protocol) {
    bool enabled;
    int32_t level;
    {
        CLockGuard hold(state);
        enabled = state.StreamEnabled;
        level = state.StreamLevel;
    }
    if (!enabled || level == 0)
        return;
    if (socket.IsEncrypted()) {
        state.ReportException(CWarningException(0, StreamCodingEncryptedText));
        return;
    }
    if (!LoadStreamPlugin(socket)) {
        state.ReportException(CWarningException(0, PluginNotFoundText));
        return;
    }
    protocol.SendStreamRequest(uint8_t(level));
}

void HandleStreamStart(CCoolSocket& socket) {
    if (socket.IsEncrypted())
        throw CErrorException(0, StreamCodingEncryptedText);
    // Reads cannot go through a plug-in that does not exist, and reading the coded stream directly
    // would hand garbage to the decoders.
    if (!socket.StreamSource())
        throw CErrorException(0, NoStreamPluginText);
    socket.ForceStream = true;
}

void HandleStreamCoding(CViewerState& state, CCoolSocket& socket, const uint8_t* message) {
    const uint8_t codec = message[1];
    const bool start = message[2] != 0;
    if (codec == CodecPlugin) {
        uint8_t inForce;
        {
            CLockGuard hold(state);
            inForce = state.StreamCodingMessage[1];
        }
        if (socket.IsEncrypted())
            throw CErrorException(0, StreamCodingEncryptedText);
        if (start && inForce != CodecPlugin) {
            if (!LoadStreamPlugin(socket))
                throw CErrorException(0, UnsupportedStreamCodingText);
        } else if (!socket.StreamSource()) {
            throw CErrorException(0, NoStreamPluginText);
        }
    } else if (codec != CodecNone) {
        throw CErrorException(0, UnsupportedStreamCodingText);
    }
    {
        CLockGuard hold(state);
        std::copy(message, message + StreamCodingMessageSize, state.StreamCodingMessage.begin());
    }
    socket.StreamCodingActive = true;
}

} // namespace dova
