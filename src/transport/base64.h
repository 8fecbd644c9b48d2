// Standard Base64 (RFC 4648 alphabet, "=" padding, no line breaks), used for
// the WebSocket handshake key and accept value. Byte-level: no platform header.
#pragma once

#include <string>
#include <string_view>

namespace VelmorTransport {

std::string base64Encode(std::string_view bytes);

}  // namespace VelmorTransport
