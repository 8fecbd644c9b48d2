// Joins the pieces in which the platform's WebSocket receive hands out one
// message. A message of the other family interrupting a partial one replaces
// it (the partial message is dropped); the whole message may not exceed the
// incoming limit. Byte-level: no platform header.
#pragma once

#include "transport/received_kind.h"

#include <cstddef>
#include <string>

namespace VelmorTransport {

class FragmentCollector {
public:
    enum class Result { More, Complete, TooLarge };

    // family is Text or Binary; last marks the message's final piece.
    Result add(ReceivedKind family, const char* data, std::size_t size, bool last);

    std::string takeMessage() { return std::move(message_); }
    ReceivedKind kind() const { return family_; }

private:
    std::string message_;
    ReceivedKind family_ = ReceivedKind::Text;
    bool collecting_ = false;
};

}  // namespace VelmorTransport
