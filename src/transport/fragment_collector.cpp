#include "transport/fragment_collector.h"

#include "transport/websocket_frames.h"

namespace VelmorTransport {

FragmentCollector::Result FragmentCollector::add(ReceivedKind family, const char* data, std::size_t size, bool last)
{
    // A new message, or one of the other family cutting in, starts afresh.
    if (!collecting_ || family != family_) message_.clear();
    if (size > kMaxMessageBytes - message_.size()) {
        message_.clear();
        collecting_ = false;
        return Result::TooLarge;
    }
    message_.append(data, size);
    family_ = family;
    collecting_ = !last;
    return last ? Result::Complete : Result::More;
}

}  // namespace VelmorTransport
