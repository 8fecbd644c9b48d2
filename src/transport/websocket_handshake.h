// The client side of the RFC 6455 opening handshake (section 4.1): the upgrade
// request, reading the response up to its blank line, and checking the status
// and the Sec-WebSocket-Accept signature. Byte-level: no platform header.
#pragma once

#include "transport/stream_functions.h"

#include <string>
#include <string_view>

namespace VelmorTransport {

inline constexpr std::size_t kHandshakeKeyBytes = 16;
inline constexpr std::size_t kHandshakeReadBytes = 4096;
inline constexpr std::size_t kMaxHandshakeResponseBytes = 32768;
inline constexpr std::string_view kWebSocketGuid = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";

struct HandshakeFunctions {
    RandomFunction random;
    Sha1Function sha1;
    WriteFunction write;
    ReadFunction read;
};

// The request lines in their fixed order, ended by the blank line.
std::string buildHandshakeRequest(std::string_view hostUtf8, std::string_view pathUtf8, std::string_view key);

// Base64 of SHA-1(key + GUID); false when the hash fails or is not 20 bytes.
bool computeAcceptValue(std::string_view key, const Sha1Function& sha1, std::string& accept);

// Looks a header up by name, ignoring letter case in the name, in a header
// block that starts with the status line and whose lines end in CRLF. The
// value comes back with surrounding blanks removed.
bool findHeader(std::string_view headerBlock, std::string_view name, std::string& value);

// True for a status line whose status code is 101.
bool isSwitchingProtocolsStatus(std::string_view statusLine);

// Sends the upgrade request with a fresh key and validates the response. Bytes
// that arrived behind the response belong to the first frames and are
// appended to pending. Host and path are UTF-8; an empty one (the caller's
// sign of a failed conversion) or one that could not stand in a request line
// is refused.
bool performClientHandshake(std::string_view hostUtf8, std::string_view pathUtf8, const HandshakeFunctions& io,
                            std::string& pending, std::wstring& error);

}  // namespace VelmorTransport
