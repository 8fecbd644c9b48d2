// Fuzzes the client's frame reader with arbitrary server bytes through
// readWebSocketMessage, the loop the compatibility transport runs on what it
// receives (pings answered, the close echoed). The same bytes are read whole,
// in pieces the input chooses and, when short, one byte at a time, and each
// outcome must equal that of a plain whole-buffer reading of RFC 6455 written
// out below.
// Also: no message exceeds the limit or holds more bytes than arrived, a
// failed reader stays failed, a close with a valid code and reason is echoed
// unchanged and decodes back from the client's own masked frame.
//
// Messages near the 2 MiB limit take megabytes of input and milliseconds per
// run, so here the limit is met by length claims (unit tests assemble
// fragments up to and over it).
//
// Input: one option byte (0x40: pongs cannot be sent; the low three bits scale
// the piece sizes), four piece sizes, then the server's bytes.
#include "fuzz_check.h"
#include "transport/websocket_frames.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

using namespace VelmorTransport;

namespace {

const std::wstring kEnd = L"Unexpected end of WebSocket stream.";
const std::wstring kBadFrame = L"The server sent an invalid or oversized WebSocket frame.";
const std::wstring kNotSent = L"Connection was closed.";

struct Outcome {
    std::vector<std::pair<ReceivedKind, std::string>> messages;  // a close counts, with an empty message
    std::vector<std::pair<unsigned char, std::string>> sent;
    std::wstring failure;
    bool operator==(const Outcome&) const = default;
};

// Reads messages until a failure or a close, the stream handing out at most
// pieces[i] bytes per read in turn (as much as asked when pieces is empty).
Outcome readStream(const std::string& bytes, const std::vector<std::size_t>& pieces, bool pongFails)
{
    Outcome outcome;
    FrameReader reader;
    PendingBytes pending;
    std::size_t position = 0;
    std::size_t nextPiece = 0;
    const ReadFunction read = [&](char* buffer, std::size_t capacity, std::size_t& count, std::wstring&) {
        const std::size_t piece = pieces.empty() ? capacity : pieces[nextPiece++ % pieces.size()];
        count = std::min({piece, capacity, bytes.size() - position});
        std::memcpy(buffer, bytes.data() + position, count);
        position += count;
        return true;
    };
    const ControlSender send = [&](unsigned char opcode, std::string_view payload, std::wstring&) {
        if (opcode == kOpcodePong && pongFails) return false;
        outcome.sent.emplace_back(opcode, std::string(payload));
        return true;
    };
    std::size_t delivered = 0;
    for (;;) {
        std::string message = "stale";
        ReceivedKind kind = ReceivedKind::Binary;
        std::wstring error = L"stale";
        if (!readWebSocketMessage(reader, pending, read, send, message, kind, error)) {
            FUZZ_CHECK(!error.empty() && message.empty());
            outcome.failure = error;
            break;
        }
        FUZZ_CHECK(error.empty());
        FUZZ_CHECK(message.size() <= kMaxMessageBytes);
        delivered += message.size();
        FUZZ_CHECK(delivered <= bytes.size());
        outcome.messages.emplace_back(kind, message);
        if (kind == ReceivedKind::Close) {
            FUZZ_CHECK(message.empty());
            break;
        }
    }
    if (outcome.failure != kEnd && outcome.failure != kNotSent && !outcome.failure.empty()) {
        FrameReader::Event event = FrameReader::Event::NeedMore;
        FUZZ_CHECK(reader.consume("\x81\x00", 2, event) == 0);
        FUZZ_CHECK(event == FrameReader::Event::Failure && reader.failureText() == outcome.failure);
    }
    return outcome;
}

// RFC 6455 section 5.2 read from one buffer, with the client's rules: masked
// server frames are unmasked, reserved bits ignored, control frames final and
// at most 125 bytes, frames and messages at most 2 MiB.
Outcome expectedOutcome(const std::string& bytes, bool pongFails)
{
    Outcome outcome;
    std::size_t pos = 0;
    const auto have = [&](std::uint64_t count) { return bytes.size() - pos >= count; };
    const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    std::string fragments;
    unsigned char assembling = 0;
    const auto failWith = [&](std::wstring text) {
        outcome.failure = std::move(text);
        return outcome;
    };
    for (;;) {
        if (!have(2)) return failWith(kEnd);
        const bool final = (byteAt(pos) & 0x80) != 0;
        const unsigned char opcode = byteAt(pos) & 0x0F;
        const bool masked = (byteAt(pos + 1) & 0x80) != 0;
        std::uint64_t length = byteAt(pos + 1) & 0x7F;
        pos += 2;
        if (length >= 126) {
            const std::size_t extra = length == 126 ? 2 : 8;
            if (!have(extra)) return failWith(kEnd);
            length = 0;
            for (std::size_t i = 0; i < extra; ++i) length = length << 8 | byteAt(pos + i);
            pos += extra;
            if (length >> 63) return failWith(L"Invalid WebSocket frame length.");
        }
        if (length > kMaxMessageBytes || (opcode >= 8 && (!final || length > kMaxControlPayloadBytes)))
            return failWith(kBadFrame);
        unsigned char mask[4] = {};
        if (masked) {
            if (!have(4)) return failWith(kEnd);
            std::memcpy(mask, bytes.data() + pos, 4);
            pos += 4;
        }
        if (!have(length)) return failWith(kEnd);
        std::string payload = bytes.substr(pos, static_cast<std::size_t>(length));
        pos += static_cast<std::size_t>(length);
        if (masked)
            for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(payload[i] ^ mask[i % 4]);

        const auto kindOf = [](unsigned char data) { return data == kOpcodeText ? ReceivedKind::Text : ReceivedKind::Binary; };
        switch (opcode) {
        case kOpcodeClose:
            outcome.sent.emplace_back(kOpcodeClose, payload);
            outcome.messages.emplace_back(ReceivedKind::Close, "");
            return outcome;
        case kOpcodePing:
            if (pongFails) return failWith(kNotSent);
            outcome.sent.emplace_back(kOpcodePong, payload);
            break;
        case kOpcodePong:
            break;
        case kOpcodeText:
        case kOpcodeBinary:
            if (assembling) return failWith(L"Nested WebSocket data frames are invalid.");
            if (final) {
                outcome.messages.emplace_back(kindOf(opcode), payload);
            } else {
                assembling = opcode;
                fragments = payload;
            }
            break;
        case kOpcodeContinuation:
            if (!assembling) return failWith(L"Unexpected WebSocket continuation frame.");
            if (fragments.size() + payload.size() > kMaxMessageBytes)
                return failWith(L"The server sent a WebSocket message larger than 2 MiB.");
            fragments += payload;
            if (final) {
                outcome.messages.emplace_back(kindOf(assembling), fragments);
                fragments.clear();
                assembling = 0;
            }
            break;
        default:
            return failWith(L"The server sent an unsupported WebSocket opcode.");
        }
    }
}

// A server frame's header for a payload of `size` bytes, the length in the
// given form (7, 16 or 64 bits; the shortest that fits when 0 or too short),
// followed by the mask key when one is given.
std::string frameHeader(unsigned char firstByte, std::uint64_t size, int form, const unsigned char* mask)
{
    if (form == 0 || (form == 7 && size > 125) || (form == 16 && size > 0xFFFF)) form = size <= 125 ? 7 : size <= 0xFFFF ? 16 : 64;
    std::string header(1, static_cast<char>(firstByte));
    const int maskBit = mask ? 0x80 : 0;
    if (form == 7) {
        header += static_cast<char>(maskBit | static_cast<int>(size));
    } else if (form == 16) {
        header += static_cast<char>(maskBit | 126);
        for (int shift = 8; shift >= 0; shift -= 8) header += static_cast<char>(size >> shift & 0xFF);
    } else {
        header += static_cast<char>(maskBit | 127);
        for (int shift = 56; shift >= 0; shift -= 8) header += static_cast<char>(size >> shift & 0xFF);
    }
    if (mask) header.append(reinterpret_cast<const char*>(mask), 4);
    return header;
}

std::string serverFrame(unsigned char firstByte, std::string_view payload, int form = 0, const unsigned char* mask = nullptr)
{
    std::string frame = frameHeader(firstByte, payload.size(), form, mask);
    if (!mask) return frame.append(payload);
    for (std::size_t i = 0; i < payload.size(); ++i) frame += static_cast<char>(payload[i] ^ mask[i % 4]);
    return frame;
}

// A close with a valid code (RFC 6455 section 7.4) and any reason of up to 123
// bytes, after a ping and before a message that must not be read: the client
// reports the close and echoes the identical payload; the echo, framed and
// masked as the client sends it, decodes to the same code and reason.
void checkCloseRoundTrip(std::string_view seed)
{
    if (seed.size() < 2) return;
    const unsigned raw = static_cast<unsigned char>(seed[0]) << 8 | static_cast<unsigned char>(seed[1]);
    static constexpr unsigned kLowCodes[] = {1000, 1001, 1002, 1003, 1007, 1008, 1009, 1010, 1011};
    constexpr unsigned kLowCount = sizeof kLowCodes / sizeof kLowCodes[0];
    const unsigned pick = raw % (kLowCount + 2000);
    const unsigned code = pick < kLowCount ? kLowCodes[pick] : 3000 + (pick - kLowCount);
    const std::string reason(seed.substr(2, kMaxControlPayloadBytes - 2));
    std::string payload{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    payload += reason;

    const unsigned char serverMask[4] = {static_cast<unsigned char>(seed[0]), 1, static_cast<unsigned char>(seed[1]), 2};
    const std::string bytes = serverFrame(0x89, "keep") + serverFrame(0x88, payload, 0, (raw & 1) ? serverMask : nullptr) +
                              serverFrame(0x81, "after the close");
    const Outcome outcome = readStream(bytes, {1 + raw % 7}, false);
    FUZZ_CHECK(outcome.failure.empty());
    FUZZ_CHECK(outcome.messages.size() == 1 && outcome.messages[0].first == ReceivedKind::Close);
    FUZZ_CHECK(outcome.sent.size() == 2 && outcome.sent[0].first == kOpcodePong && outcome.sent[0].second == "keep");
    FUZZ_CHECK(outcome.sent[1].first == kOpcodeClose && outcome.sent[1].second == payload);

    const unsigned char clientMask[4] = {static_cast<unsigned char>(seed[1]), 0x37, 0xFA, static_cast<unsigned char>(seed[0])};
    const std::string echo = encodeClientFrame(kOpcodeClose, outcome.sent[1].second, clientMask);
    FrameReader reader;
    FrameReader::Event event = FrameReader::Event::NeedMore;
    FUZZ_CHECK(reader.consume(echo.data(), echo.size(), event) == echo.size() && event == FrameReader::Event::Close);
    const std::string& decoded = reader.controlPayload();
    FUZZ_CHECK(decoded.size() >= 2);
    FUZZ_CHECK(static_cast<unsigned>(static_cast<unsigned char>(decoded[0]) << 8 | static_cast<unsigned char>(decoded[1])) == code);
    FUZZ_CHECK(decoded.substr(2) == reason);
}

// The client's own frames read back: whatever the payload, one masked text
// frame gives the same message.
void checkClientFrameRoundTrip(const std::string& payload, const unsigned char (&mask)[4])
{
    const std::string frame = encodeClientFrame(kOpcodeText, payload, mask);
    const Outcome outcome = readStream(frame, {}, false);
    FUZZ_CHECK(outcome.failure == kEnd && outcome.sent.empty());
    FUZZ_CHECK(outcome.messages.size() == 1 && outcome.messages[0].first == ReceivedKind::Text &&
               outcome.messages[0].second == payload);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5) return 0;
    const std::uint8_t options = data[0];
    const bool pongFails = (options & 0x40) != 0;
    const std::string bytes(reinterpret_cast<const char*>(data + 5), size - 5);
    // Every read fills a 16 KiB buffer first, so reads are kept to a few
    // hundred per stream: pieces of one byte only for short streams.
    std::vector<std::size_t> pieces;
    for (std::size_t i = 1; i < 5; ++i)
        pieces.push_back(std::max<std::size_t>({1, bytes.size() / 256, std::size_t{data[i]} << (options & 7)}));

    const Outcome expected = expectedOutcome(bytes, pongFails);
    FUZZ_CHECK(readStream(bytes, {}, pongFails) == expected);
    FUZZ_CHECK(readStream(bytes, pieces, pongFails) == expected);
    if (bytes.size() <= 256) FUZZ_CHECK(readStream(bytes, {1}, pongFails) == expected);

    checkCloseRoundTrip(bytes);
    const unsigned char mask[4] = {data[1], data[2], data[3], data[4]};
    checkClientFrameRoundTrip(bytes, mask);
    return 0;
}
