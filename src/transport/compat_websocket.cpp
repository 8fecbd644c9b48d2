// The compatibility transport's WebSocket layer: the opening handshake and the
// frames, run by the byte-level protocol code over the TLS stream.
#include "transport/connection_record.h"
#include "transport/platform_support.h"
#include "transport/transport_testing.h"
#include "transport/websocket_handshake.h"

#include <algorithm>
#include <atomic>

namespace VelmorTransport {

namespace {

std::atomic<DWORD> shortenedOpenTimeLimit{0};

}  // namespace

void Testing::limitCompatibilityOpenTime(unsigned milliseconds)
{
    shortenedOpenTimeLimit = milliseconds;
}

DWORD openTimeLimit()
{
    const DWORD shortened = shortenedOpenTimeLimit;
    return shortened != 0 ? shortened : kOpenTimeLimitMs;
}

DWORD ConnectionRecord::openWaitLimit() const
{
    if (openDeadline == 0) return 0;
    const ULONGLONG now = ::GetTickCount64();
    if (now >= openDeadline) return 0;
    return static_cast<DWORD>(std::min<ULONGLONG>(kNetworkTimeoutMs, openDeadline - now));
}

bool ConnectionRecord::openCompatibility(const std::wstring& host, const std::wstring& path, std::wstring& error)
{
    openDeadline = ::GetTickCount64() + openTimeLimit();
    if (!connectSocket(host, error) || !tlsHandshake(host, error)) return false;

    HandshakeFunctions io;
    io.random = secureRandom;
    io.sha1 = sha1Hash;
    io.write = [this](std::string_view bytes, std::wstring& writeError) {
        return tlsWrite(bytes.data(), bytes.size(), writeError);
    };
    io.read = [this](char* buffer, std::size_t capacity, std::size_t& count, std::wstring& readError) {
        return tlsRead(buffer, capacity, count, readError);
    };
    // A failed conversion gives an empty text, which the handshake refuses.
    if (!performClientHandshake(strictUtf8(host), strictUtf8(path), io, pending.bytes, error)) return false;

    // From now on the connection may be idle for as long as the server likes;
    // a dead link is noticed by the session's keep-alive, not by a time-out.
    openDeadline = 0;
    std::lock_guard lock(stateLock);
    if (socket) setSocketTimeouts(socket.get(), 0);
    return true;
}

bool ConnectionRecord::writeFrame(unsigned char opcode, std::string_view payload, std::wstring& error)
{
    std::string frame;
    if (!buildClientFrame(opcode, payload, secureRandom, frame, error)) return false;
    return tlsWrite(frame.data(), frame.size(), error);
}

bool ConnectionRecord::readMessage(std::string& message, ReceivedKind& receivedKind, std::wstring& error)
{
    const ReadFunction read = [this](char* buffer, std::size_t capacity, std::size_t& count, std::wstring& readError) {
        return tlsRead(buffer, capacity, count, readError);
    };
    // Pongs and the close echo go out under the send lock so that they never
    // interleave with a message another thread is sending.
    const ControlSender reply = [this](unsigned char opcode, std::string_view payload, std::wstring& sendError) {
        std::lock_guard lock(sendLock);
        if (cancelled) return false;
        return writeFrame(opcode, payload, sendError);
    };
    return readWebSocketMessage(frameReader, pending, read, reply, message, receivedKind, error);
}

}  // namespace VelmorTransport
