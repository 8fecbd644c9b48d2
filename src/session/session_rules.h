// The session's timing decisions as pure functions of time, so that they can
// be tested without waiting: the reconnect back-off, the keep-alive schedule
// and the silence limit. Byte-level: no Windows header.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace Velmor {

inline constexpr int kFirstReconnectDelaySeconds = 1;
inline constexpr int kMaxReconnectDelaySeconds = 60;
inline constexpr std::chrono::seconds kKeepAliveTick{10};
inline constexpr std::uint64_t kSilenceLimitMs = 55000;

// The wait after `delay`: doubled, capped at 60 seconds.
constexpr int nextReconnectDelay(int delaySeconds)
{
    return delaySeconds * 2 < kMaxReconnectDelaySeconds ? delaySeconds * 2 : kMaxReconnectDelaySeconds;
}

// What the keep-alive thread sends on a connected tick, given the tick
// counter after it was advanced (1 on the first connected tick).
struct KeepAliveActions {
    bool ping = false;       // every 2nd tick: 20 s
    bool listUsers = false;  // every 3rd tick: 30 s
    bool listRooms = false;  // every 6th tick: 60 s
};

constexpr KeepAliveActions keepAliveActions(unsigned tick)
{
    return KeepAliveActions{tick % 2 == 0, tick % 3 == 0, tick % 6 == 0};
}

// The link counts as silent when the last sign of life is known, lies in the
// past and is more than 55,000 ms old.
constexpr bool linkIsSilent(std::uint64_t lastActivityTick, std::uint64_t now)
{
    return lastActivityTick != 0 && lastActivityTick < now && now - lastActivityTick > kSilenceLimitMs;
}

// Back-pressure on received messages: the worker posts each one to the
// interface thread, and a server that sends faster than the interface
// dispatches must not grow the window's message queue without end (Windows
// caps it at 10,000 posted messages, after which posts fail and messages are
// lost). The bytes are what the messages hold once read (text and parsed
// form). Above these figures the worker waits before posting; a message on its
// own always goes, whatever its size.
inline constexpr std::size_t kMaxServerTextsInFlight = 1000;
inline constexpr std::size_t kMaxServerTextBytesInFlight = 8u * 1024 * 1024;

constexpr bool mayPostServerText(std::size_t messagesInFlight, std::size_t bytesInFlight, std::size_t size)
{
    if (messagesInFlight == 0) return true;
    return messagesInFlight < kMaxServerTextsInFlight && size <= kMaxServerTextBytesInFlight &&
           bytesInFlight <= kMaxServerTextBytesInFlight - size;
}

}  // namespace Velmor
