// The plain-HTTP control interface tests use to inspect the server and to
// switch faults per scenario. This file holds the request parsing and the
// fault switches; the transport implements the actions behind ControlTarget.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace VelmorServer {

// Every fault is off by default; /clear_faults and /reset return here.
struct Faults {
    unsigned refuseUpgradeStatus = 0;  // 0: upgrades are accepted
    unsigned delayUpgradeMs = 0;       // the 101 answer waits this long after the request
    unsigned trickleUpgradeMs = 0;     // the 101 answer goes out a few bytes at a time, this far apart
    bool wrongAccept = false;
    bool ignorePings = false;
    bool untrustedCert = false;
    bool withholdDmSent = false;
    unsigned delayDmSentMs = 0;
    bool withholdModeration = false;  // block, unblock, transfer and kick go unanswered and undone
    bool closeAfterHandshake = false;
    std::uint16_t closeCode = 0;
    std::string closeReason;
};

// A text (or binary) message injected by a test, optionally fragmented with
// pings between the fragments.
struct InjectedMessage {
    std::string payload;
    bool binary = false;
    unsigned fragments = 1;
    bool pingBetween = false;
    bool dropHalfway = false;  // half of one frame, then the TCP connection ends
};

class ControlTarget {
public:
    virtual ~ControlTarget() = default;
    virtual Faults& faults() = 0;
    virtual bool untrustedCertificateLoaded() const = 0;
    virtual void reset() = 0;
    virtual std::string requestRecord() const = 0;
    virtual std::vector<std::string> connectedUsers() const = 0;
    // False when `user` has no open connection.
    virtual bool sendTo(std::string_view user, InjectedMessage message) = 0;
    virtual bool closeUser(std::string_view user, std::uint16_t code, std::string reason) = 0;
    virtual bool dropUser(std::string_view user) = 0;
    virtual std::uint64_t pingsFrom(std::string_view user) const = 0;
};

struct ControlReply {
    unsigned status = 200;
    std::string body;
};

ControlReply handleControlRequest(bool isGet, std::string_view target, ControlTarget& server);

// Close codes a server may put on the wire (RFC 6455 section 7.4).
bool isSendableCloseCode(unsigned code);

inline constexpr std::size_t kMaxCloseReasonBytes = 123;
inline constexpr std::size_t kMaxLargeMessageBytes = 64u * 1024 * 1024;
inline constexpr unsigned kMaxFragments = 10000;
inline constexpr unsigned kMaxTrickleMs = 100;

// A valid JSON object of exactly `bytes` bytes, padded with a string member;
// empty when `bytes` is below the smallest such object.
std::string largeMessage(std::size_t bytes);

}  // namespace VelmorServer
