#pragma once
// Compatible stream coding: the server codes its whole byte stream and a plug-in decodes it. The
// handshake asks for it when the host switched it on; the session thread hands the server's
// stream-coding messages (10 and 26) to the functions here.

#include <cstddef>
#include <cstdint>

namespace dova {

class CViewerState;
class CCoolSocket;
class CRfbProtocol;

namespace server_messages {
inline constexpr uint8_t StreamStart = 10;  // u8 10: every byte from now on is coded
inline constexpr uint8_t StreamCoding = 26; // u8 26, u8 codec, u8 start, u8 reserved
} // namespace server_messages

inline constexpr size_t StreamCodingMessageSize = 4;
inline constexpr const char* PluginNotFoundText =
    "Could not find or initialize compatible zlib plugin (dova_zlib.dll).";
inline constexpr const char* UnsupportedStreamCodingText =
    "Server sent unsupported RFB_SERVER_STREAMCODING message";
// Encryption wins over stream coding: a plug-in reads the network itself and would bypass TLS, so
// an encrypted connection never asks for the coded stream and refuses a server that starts it.
inline constexpr const char* StreamCodingEncryptedText =
    "Stream coding is not used on an encrypted connection.";
inline constexpr const char* NoStreamPluginText =
    "Server switched stream coding on, but no stream plug-in is loaded.";

// Finds the "dova.stream.zlib" plug-in, replacing the socket's current one, and binds it to the
// connection. False (and no plug-in) when none is found or it lacks an entry.
bool LoadStreamPlugin(CCoolSocket& socket);

// Handshake, after ServerInit: when the host switched the compatible stream on (StreamEnabled, level
// not 0), loads the plug-in and asks the server to code its stream; without a plug-in, reports the
// warning and the connection goes on uncoded.
void StartCompatibleStream(CViewerState& state, CCoolSocket& socket, CRfbProtocol& protocol);

// Server message 10 (its type byte already read): every later read goes through the plug-in. With
// no plug-in loaded the stream cannot be read: CErrorException.
void HandleStreamStart(CCoolSocket& socket);

// Server message 26, its 4 bytes read: accepts codec 0, and codec 1 (loading the plug-in on a start
// while codec 0 is in force); raises CErrorException for any other codec, for a failed load, and for
// codec 1 without start while no plug-in is loaded.
void HandleStreamCoding(CViewerState& state, CCoolSocket& socket, const uint8_t* message);

} // namespace dova
