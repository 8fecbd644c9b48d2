// The kind of one whole message handed out by a WebSocket connection. Shared by
// the public connection interface and the byte-level frame reader, so it needs
// no platform header.
#pragma once

#include <cstdint>

namespace VelmorTransport {

enum class ReceivedKind : std::int32_t {
    Text = 0,
    Binary = 1,
    Close = 2,  // the server's close frame; the message is empty
};

}  // namespace VelmorTransport
