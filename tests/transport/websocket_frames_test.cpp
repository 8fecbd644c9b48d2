// Frame writing and reading over scripted streams: every length form at its
// boundaries, masking, fragments with control frames between them, the close
// echo, and every failure text, each vector fed whole, split at every byte and
// one byte at a time. Runs natively and under Wine.
#include "transport/scripted_stream.h"
#include "transport/websocket_frames.h"

#include <gtest/gtest.h>

#include <random>

using namespace VelmorTransport;
using VelmorTest::describePlan;
using VelmorTest::everySplit;
using VelmorTest::ScriptedStream;

namespace {

// A server frame: unmasked unless a mask is given, length in the shortest
// form unless lengthForm (7, 16 or 64 bits) says otherwise.
std::string serverFrame(unsigned char firstByte, const std::string& payload, int lengthForm = 0,
                        const unsigned char* mask = nullptr)
{
    std::string frame(1, static_cast<char>(firstByte));
    const std::uint64_t size = payload.size();
    if (lengthForm == 0) lengthForm = size <= 125 ? 7 : size <= 0xFFFF ? 16 : 64;
    const char maskBit = mask ? static_cast<char>(0x80) : 0;
    if (lengthForm == 7) {
        frame += static_cast<char>(maskBit | static_cast<char>(size));
    } else if (lengthForm == 16) {
        frame += static_cast<char>(maskBit | 126);
        frame += static_cast<char>(size >> 8 & 0xFF);
        frame += static_cast<char>(size & 0xFF);
    } else {
        frame += static_cast<char>(maskBit | 127);
        for (int shift = 56; shift >= 0; shift -= 8) frame += static_cast<char>(size >> shift & 0xFF);
    }
    if (!mask) return frame + payload;
    frame.append(reinterpret_cast<const char*>(mask), 4);
    for (std::size_t i = 0; i < payload.size(); ++i) frame += static_cast<char>(payload[i] ^ mask[i & 3]);
    return frame;
}

std::string header64(unsigned char firstByte, std::uint64_t size)
{
    std::string frame(1, static_cast<char>(firstByte));
    frame += static_cast<char>(127);
    for (int shift = 56; shift >= 0; shift -= 8) frame += static_cast<char>(size >> shift & 0xFF);
    return frame;
}

struct Sent {
    unsigned char opcode;
    std::string payload;
    bool operator==(const Sent&) const = default;
};

struct Received {
    ReceivedKind kind;
    std::string message;
    bool operator==(const Received&) const = default;
};

// What one connection's reader made of a stream: the messages it returned
// until the first failure or the end, the control frames it sent, the failure.
struct ReadOutcome {
    std::vector<Received> messages;
    std::vector<Sent> sent;
    std::wstring failure;
    std::size_t reads = 0;
};

enum class ControlReplies { Succeed, Cancelled, Fail };

ReadOutcome readAll(ScriptedStream& stream, std::size_t maxMessages = 16, ControlReplies replies = ControlReplies::Succeed)
{
    ReadOutcome outcome;
    FrameReader reader;
    PendingBytes pending;
    const ControlSender send = [&](unsigned char opcode, std::string_view payload, std::wstring& error) {
        if (replies == ControlReplies::Cancelled) return false;
        if (replies == ControlReplies::Fail) {
            error = L"Network send failed (Winsock 10053)";
            return false;
        }
        outcome.sent.push_back({opcode, std::string(payload)});
        return true;
    };
    const ReadFunction read = stream.reader();
    for (std::size_t i = 0; i < maxMessages; ++i) {
        std::string message = "stale";
        ReceivedKind kind = ReceivedKind::Binary;
        std::wstring error = L"stale";
        if (!readWebSocketMessage(reader, pending, read, send, message, kind, error)) {
            outcome.failure = error;
            EXPECT_TRUE(message.empty());
            break;
        }
        EXPECT_TRUE(error.empty());
        outcome.messages.push_back({kind, message});
        if (kind == ReceivedKind::Close) break;
    }
    outcome.reads = stream.reads;
    return outcome;
}

ReadOutcome readAll(const std::string& bytes, const std::vector<std::size_t>& plan = {})
{
    ScriptedStream stream(bytes, plan);
    return readAll(stream);
}

// Feeds the vector whole, split at every byte and byte by byte, and checks
// each time the same messages, control replies and final failure text.
void expectEverySplit(const std::string& bytes, const std::vector<Received>& messages, const std::vector<Sent>& sent,
                      const std::wstring& failure)
{
    for (const auto& plan : everySplit(bytes.size())) {
        const ReadOutcome outcome = readAll(bytes, plan);
        EXPECT_EQ(outcome.messages, messages) << describePlan(plan);
        EXPECT_EQ(outcome.sent, sent) << describePlan(plan);
        EXPECT_EQ(outcome.failure, failure) << describePlan(plan);
    }
}

const std::wstring kEnd = L"Unexpected end of WebSocket stream.";
const std::wstring kBadFrame = L"The server sent an invalid or oversized WebSocket frame.";

bool countingMask(unsigned char* buffer, std::size_t size)
{
    static unsigned char next = 0x10;
    for (std::size_t i = 0; i < size; ++i) buffer[i] = next++;
    return true;
}

}  // namespace

TEST(FrameWriting, LengthFormsAtTheirBoundaries)
{
    const unsigned char mask[4] = {0x37, 0xFA, 0x21, 0x3D};
    struct Case {
        std::size_t size;
        std::string header;
    };
    const Case cases[] = {
        {0, std::string("\x81\x80", 2)},
        {125, std::string("\x81\xFD", 2)},
        {126, std::string("\x81\xFE\x00\x7E", 4)},
        {65535, std::string("\x81\xFE\xFF\xFF", 4)},
        {65536, std::string("\x81\xFF\x00\x00\x00\x00\x00\x01\x00\x00", 10)},
        {kMaxMessageBytes, std::string("\x81\xFF\x00\x00\x00\x00\x00\x20\x00\x00", 10)},
    };
    for (const Case& c : cases) {
        const std::string payload(c.size, 'x');
        const std::string frame = encodeClientFrame(kOpcodeText, payload, mask);
        ASSERT_EQ(frame.size(), c.header.size() + 4 + c.size) << c.size;
        EXPECT_EQ(frame.substr(0, c.header.size()), c.header) << c.size;
        EXPECT_EQ(frame.substr(c.header.size(), 4), std::string(reinterpret_cast<const char*>(mask), 4));
    }
}

TEST(FrameWriting, MasksEveryPayloadByteWithTheKey)
{
    // RFC 6455 section 5.7: a masked "Hello".
    const unsigned char mask[4] = {0x37, 0xFA, 0x21, 0x3D};
    EXPECT_EQ(encodeClientFrame(kOpcodeText, "Hello", mask),
              std::string("\x81\x85\x37\xFA\x21\x3D\x7F\x9F\x4D\x51\x58", 11));
    EXPECT_EQ(encodeClientFrame(kOpcodePong, "", mask), std::string("\x8A\x80\x37\xFA\x21\x3D", 6));
    EXPECT_EQ(encodeClientFrame(kOpcodeClose, std::string("\x03\xE8", 2), mask)[0], '\x88');

    // The key bytes come from the injected source, fresh for each frame, and a
    // frame read back through the reader gives the payload again.
    std::string first, second;
    std::wstring error;
    ASSERT_TRUE(buildClientFrame(kOpcodeText, "same payload", countingMask, first, error));
    ASSERT_TRUE(buildClientFrame(kOpcodeText, "same payload", countingMask, second, error));
    EXPECT_NE(first.substr(2, 4), second.substr(2, 4));
    EXPECT_NE(first.substr(6), second.substr(6));
    EXPECT_EQ(readAll(first).messages, (std::vector<Received>{{ReceivedKind::Text, "same payload"}}));
}

TEST(FrameWriting, SizeLimitAndMaskFailure)
{
    std::size_t masksAsked = 0;
    const RandomFunction random = [&](unsigned char* buffer, std::size_t size) {
        ++masksAsked;
        return countingMask(buffer, size);
    };
    std::string frame;
    std::wstring error;
    EXPECT_TRUE(buildClientFrame(kOpcodeText, std::string(kMaxMessageBytes, 'a'), random, frame, error));
    EXPECT_EQ(frame.size(), kMaxMessageBytes + 14);
    EXPECT_EQ(masksAsked, 1u);

    EXPECT_FALSE(buildClientFrame(kOpcodeText, std::string(kMaxMessageBytes + 1, 'a'), random, frame, error));
    EXPECT_EQ(error, L"WebSocket message is too large.");
    EXPECT_EQ(masksAsked, 1u);

    EXPECT_FALSE(buildClientFrame(kOpcodeText, "x", [](unsigned char*, std::size_t) { return false; }, frame, error));
    EXPECT_EQ(error, L"Could not generate a secure WebSocket mask.");
}

TEST(FrameReading, SingleFramesInEveryPiecing)
{
    const unsigned char mask[4] = {0x37, 0xFA, 0x21, 0x3D};
    expectEverySplit(serverFrame(0x81, "Hello"), {{ReceivedKind::Text, "Hello"}}, {}, kEnd);
    expectEverySplit(serverFrame(0x82, std::string("\x00\xFF\x10", 3)), {{ReceivedKind::Binary, std::string("\x00\xFF\x10", 3)}}, {}, kEnd);
    expectEverySplit(serverFrame(0x81, ""), {{ReceivedKind::Text, ""}}, {}, kEnd);
    // A masked server frame is accepted and unmasked.
    expectEverySplit(serverFrame(0x81, "Hello", 0, mask), {{ReceivedKind::Text, "Hello"}}, {}, kEnd);
    // Reserved bits are ignored.
    expectEverySplit(serverFrame(0xF1, "rsv"), {{ReceivedKind::Text, "rsv"}}, {}, kEnd);
    // Length forms longer than needed are accepted.
    expectEverySplit(serverFrame(0x81, "five!", 16), {{ReceivedKind::Text, "five!"}}, {}, kEnd);
    expectEverySplit(serverFrame(0x81, "five!", 64), {{ReceivedKind::Text, "five!"}}, {}, kEnd);
}

TEST(FrameReading, LengthFormsAtTheirBoundaries)
{
    for (const std::size_t size : {std::size_t{125}, std::size_t{126}, std::size_t{65535}, std::size_t{65536},
                                   kMaxMessageBytes}) {
        std::string payload(size, 'a');
        payload.front() = '<';
        payload.back() = '>';
        const std::string bytes = serverFrame(0x81, payload);
        for (const std::vector<std::size_t>& plan : {std::vector<std::size_t>{}, std::vector<std::size_t>{1},
                                                     std::vector<std::size_t>{3, 9}, std::vector<std::size_t>{bytes.size() - 1}}) {
            const ReadOutcome outcome = readAll(bytes, plan);
            ASSERT_EQ(outcome.messages.size(), 1u) << size << " " << describePlan(plan);
            EXPECT_TRUE(outcome.messages[0].message == payload) << size;
        }
    }
    const ReadOutcome over = readAll(header64(0x81, kMaxMessageBytes + 1) + std::string(64, 'a'));
    EXPECT_EQ(over.failure, kBadFrame);
    expectEverySplit(header64(0x81, 0x8000000000000000ull), {}, {}, L"Invalid WebSocket frame length.");
    expectEverySplit(header64(0x81, 0xFFFFFFFFFFFFFFFFull), {}, {}, L"Invalid WebSocket frame length.");
    expectEverySplit(header64(0x81, 0x7FFFFFFFFFFFFFFFull), {}, {}, kBadFrame);
}

TEST(FrameReading, FragmentsWithControlFramesBetweenThem)
{
    // "Hel" + ping "p1" + "l" + pong + ping "" + "o": one message, two pongs
    // echoing the ping payloads in order.
    const std::string bytes = serverFrame(0x01, "Hel") + serverFrame(0x89, "p1") + serverFrame(0x00, "l") +
                              serverFrame(0x8A, "unsolicited") + serverFrame(0x89, "") + serverFrame(0x80, "o") +
                              serverFrame(0x82, "next");
    expectEverySplit(bytes, {{ReceivedKind::Text, "Hello"}, {ReceivedKind::Binary, "next"}},
                     {{kOpcodePong, "p1"}, {kOpcodePong, ""}}, kEnd);

    // Binary fragments come back as a binary message; a 125-byte ping is fine.
    const std::string ping125(125, 'P');
    expectEverySplit(serverFrame(0x02, "ab") + serverFrame(0x89, ping125) + serverFrame(0x80, "cd"),
                     {{ReceivedKind::Binary, "abcd"}}, {{kOpcodePong, ping125}}, kEnd);
}

TEST(FrameReading, CloseIsEchoedWithTheIdenticalPayload)
{
    const std::string payload = std::string("\x03\xE8", 2) + "going away \xC3\xA9";
    expectEverySplit(serverFrame(0x88, payload) + serverFrame(0x81, "never read"), {{ReceivedKind::Close, ""}},
                     {{kOpcodeClose, payload}}, L"");
    expectEverySplit(serverFrame(0x88, ""), {{ReceivedKind::Close, ""}}, {{kOpcodeClose, ""}}, L"");
    // A close may arrive between fragments too.
    expectEverySplit(serverFrame(0x01, "part") + serverFrame(0x88, "bye"), {{ReceivedKind::Close, ""}},
                     {{kOpcodeClose, "bye"}}, L"");
}

TEST(FrameReading, EveryFramingFailure)
{
    struct Case {
        const char* name;
        std::string bytes;
        std::wstring failure;
        std::vector<Sent> sent;
    };
    const std::string p126(126, 'p');
    const Case cases[] = {
        {"ping of 126 bytes", serverFrame(0x89, p126), kBadFrame, {}},
        {"close of 126 bytes", serverFrame(0x88, p126), kBadFrame, {}},
        {"non-final ping", serverFrame(0x09, "p"), kBadFrame, {}},
        {"non-final close", serverFrame(0x08, ""), kBadFrame, {}},
        {"non-final pong", serverFrame(0x0A, ""), kBadFrame, {}},
        {"continuation without a start", serverFrame(0x80, "x"), L"Unexpected WebSocket continuation frame.", {}},
        {"text inside a fragmented message", serverFrame(0x01, "a") + serverFrame(0x81, "b"),
         L"Nested WebSocket data frames are invalid.", {}},
        {"binary inside a fragmented message", serverFrame(0x01, "a") + serverFrame(0x89, "q") + serverFrame(0x02, "b"),
         L"Nested WebSocket data frames are invalid.", {{kOpcodePong, "q"}}},
        {"opcode 3", serverFrame(0x83, "x"), L"The server sent an unsupported WebSocket opcode.", {}},
        {"opcode 7", serverFrame(0x87, ""), L"The server sent an unsupported WebSocket opcode.", {}},
        {"opcode 11", serverFrame(0x8B, "x"), L"The server sent an unsupported WebSocket opcode.", {}},
        {"opcode 15", serverFrame(0x8F, ""), L"The server sent an unsupported WebSocket opcode.", {}},
        {"non-final opcode 12", serverFrame(0x0C, ""), kBadFrame, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectEverySplit(c.bytes, {}, c.sent, c.failure);
    }
}

TEST(FrameReading, FragmentedMessageLimit)
{
    const std::size_t half = kMaxMessageBytes / 2;
    const std::string atLimit = serverFrame(0x01, std::string(half, 'a')) + serverFrame(0x89, "k") +
                                serverFrame(0x80, std::string(kMaxMessageBytes - half, 'b'));
    const ReadOutcome accepted = readAll(atLimit, {7, half + 3});
    ASSERT_EQ(accepted.messages.size(), 1u);
    EXPECT_EQ(accepted.messages[0].message.size(), kMaxMessageBytes);
    EXPECT_EQ(accepted.sent, (std::vector<Sent>{{kOpcodePong, "k"}}));

    const std::string overLimit = serverFrame(0x01, std::string(half, 'a')) + serverFrame(0x00, std::string(half, 'b')) +
                                  serverFrame(0x80, "!");
    EXPECT_EQ(readAll(overLimit).failure, L"The server sent a WebSocket message larger than 2 MiB.");
}

TEST(FrameReading, TruncatedStreamsEndWithTheEndOfStreamText)
{
    const unsigned char mask[4] = {1, 2, 3, 4};
    const std::string frames[] = {serverFrame(0x81, "Hello"), serverFrame(0x81, std::string(300, 'x')),
                                  serverFrame(0x82, std::string(70000, 'y')), serverFrame(0x81, "masked", 0, mask),
                                  serverFrame(0x01, "a") + serverFrame(0x80, "b")};
    for (const std::string& frame : frames) {
        for (std::size_t cut = 0; cut < frame.size(); cut += frame.size() > 400 ? 997 : 1) {
            const ReadOutcome outcome = readAll(frame.substr(0, cut));
            EXPECT_TRUE(outcome.messages.empty()) << cut;
            EXPECT_EQ(outcome.failure, kEnd) << cut;
        }
    }
    // A failing stream passes its own text through.
    ScriptedStream failing(serverFrame(0x81, "Hel").substr(0, 3));
    failing.failAtEnd(L"The server closed the TLS connection.");
    EXPECT_EQ(readAll(failing).failure, L"The server closed the TLS connection.");
}

TEST(FrameReading, BytesAlreadyReceivedAreServedWithoutAnotherRead)
{
    // Pending bytes (for example those behind the handshake response) come first.
    FrameReader reader;
    PendingBytes pending;
    pending.bytes = serverFrame(0x81, "first") + serverFrame(0x81, "sec");
    ScriptedStream stream("ond");
    const ReadFunction read = stream.reader();
    const ControlSender noSend = [](unsigned char, std::string_view, std::wstring&) { return true; };
    std::string message;
    ReceivedKind kind{};
    std::wstring error;
    ASSERT_TRUE(readWebSocketMessage(reader, pending, read, noSend, message, kind, error));
    EXPECT_EQ(message, "first");
    EXPECT_EQ(stream.reads, 0u);

    // Two whole messages in one piece: the second needs no further read.
    ScriptedStream two(serverFrame(0x81, "one") + serverFrame(0x82, "two"));
    const ReadOutcome outcome = readAll(two, 2);
    EXPECT_EQ(outcome.messages, (std::vector<Received>{{ReceivedKind::Text, "one"}, {ReceivedKind::Binary, "two"}}));
    EXPECT_EQ(outcome.reads, 1u);
}

TEST(FrameReading, PongThatCannotBeSent)
{
    const std::string bytes = serverFrame(0x89, "p") + serverFrame(0x81, "after");
    ScriptedStream cancelled(bytes);
    EXPECT_EQ(readAll(cancelled, 4, ControlReplies::Cancelled).failure, L"Connection was closed.");
    ScriptedStream failing(bytes);
    EXPECT_EQ(readAll(failing, 4, ControlReplies::Fail).failure, L"Network send failed (Winsock 10053)");
    // A close echo that cannot be sent still reports the close.
    ScriptedStream closing(serverFrame(0x88, "bye"));
    const ReadOutcome closed = readAll(closing, 4, ControlReplies::Fail);
    EXPECT_EQ(closed.messages, (std::vector<Received>{{ReceivedKind::Close, ""}}));
}

TEST(FrameReading, OversizedClaimsFailBeforeTheirPayloadIsRead)
{
    // The stream could go on for ever; the reader stops at the header.
    ScriptedStream endless(header64(0x82, 1ull << 40) + std::string(1 << 20, 'z'), {10});
    const ReadOutcome outcome = readAll(endless);
    EXPECT_EQ(outcome.failure, kBadFrame);
    EXPECT_EQ(outcome.reads, 1u);
}

TEST(FrameReading, RandomInputNeverCrashesHangsOrGrowsWithoutBound)
{
    // Random bytes, sometimes after a plausible frame start, in random pieces:
    // every call ends in a message, a close or a failure; nothing exceeds the
    // limit; a failed reader stays failed without reading on.
    std::mt19937 random(20240611);
    for (int round = 0; round < 3000; ++round) {
        std::string bytes(1 + random() % 300, '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        if (round % 3 == 0) bytes[0] = static_cast<char>(0x80 | (random() % 3));
        if (round % 5 == 0 && bytes.size() > 1) bytes[1] = static_cast<char>(random() % 126);
        std::vector<std::size_t> cuts;
        for (std::size_t i = 0; i < 4; ++i) cuts.push_back(random() % bytes.size());
        std::sort(cuts.begin(), cuts.end());
        ScriptedStream stream(bytes, cuts);
        const ReadOutcome outcome = readAll(stream, 1000);
        EXPECT_FALSE(outcome.failure.empty() && (outcome.messages.empty() ||
                                                 outcome.messages.back().kind != ReceivedKind::Close))
            << round;
        for (const Received& received : outcome.messages) EXPECT_LE(received.message.size(), bytes.size());
        EXPECT_LE(outcome.reads, bytes.size() + 1);
    }
}
