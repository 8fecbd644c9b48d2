// The opening handshake over scripted streams: request text, response
// reading in pieces, status and signature checks, and every failure text.
// Runs natively and under Wine.
#include "transport/base64.h"
#include "transport/scripted_stream.h"
#include "transport/websocket_handshake.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace VelmorTransport;
using VelmorTest::describePlan;
using VelmorTest::everySplit;
using VelmorTest::ScriptedStream;

namespace {

// RFC 6455 section 1.3: the nonce "the sample nonce" and its accept value.
constexpr char kSampleNonce[] = "the sample nonce";
constexpr char kSampleKey[] = "dGhlIHNhbXBsZSBub25jZQ==";
constexpr char kSampleAccept[] = "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=";

bool sampleNonce(unsigned char* buffer, std::size_t size)
{
    if (size != 16) return false;
    std::memcpy(buffer, kSampleNonce, 16);
    return true;
}

std::string response(const std::string& statusLine, const std::string& headers)
{
    return statusLine + "\r\n" + headers + "\r\n";
}

std::string goodResponse()
{
    return response("HTTP/1.1 101 Switching Protocols",
                    "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Accept: " + std::string(kSampleAccept) +
                        "\r\n");
}

struct HandshakeRun {
    bool ok = false;
    std::wstring error;
    std::string written;
    std::string pending;
    std::size_t writes = 0;
    std::size_t reads = 0;
    std::size_t delivered = 0;
};

HandshakeRun runHandshake(ScriptedStream& stream, std::string_view host = "localhost",
                          std::string_view path = "/websocket?user=Zo%C3%AB",
                          RandomFunction random = sampleNonce, Sha1Function sha1 = VelmorTest::sha1Digest)
{
    HandshakeRun run;
    HandshakeFunctions io;
    io.random = std::move(random);
    io.sha1 = std::move(sha1);
    io.write = [&run](std::string_view bytes, std::wstring&) {
        ++run.writes;
        run.written.append(bytes);
        return true;
    };
    io.read = stream.reader();
    run.ok = performClientHandshake(host, path, io, run.pending, run.error);
    run.reads = stream.reads;
    run.delivered = stream.delivered;
    return run;
}

HandshakeRun runHandshake(const std::string& bytes)
{
    ScriptedStream stream(bytes);
    return runHandshake(stream);
}

}  // namespace

TEST(Base64, EncodesTheRfc4648VectorsAndEveryAlphabetCharacter)
{
    EXPECT_EQ(base64Encode(""), "");
    EXPECT_EQ(base64Encode("f"), "Zg==");
    EXPECT_EQ(base64Encode("fo"), "Zm8=");
    EXPECT_EQ(base64Encode("foo"), "Zm9v");
    EXPECT_EQ(base64Encode("foob"), "Zm9vYg==");
    EXPECT_EQ(base64Encode("fooba"), "Zm9vYmE=");
    EXPECT_EQ(base64Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(base64Encode(kSampleNonce), kSampleKey);
    // 0x00 0x10 0x83 0x10 0x51 0x87 ... walks the alphabet in order.
    std::string bytes;
    for (unsigned value = 0; value < 64; value += 4) {
        const unsigned group = value << 18 | (value + 1) << 12 | (value + 2) << 6 | (value + 3);
        bytes += static_cast<char>(group >> 16);
        bytes += static_cast<char>(group >> 8 & 0xFF);
        bytes += static_cast<char>(group & 0xFF);
    }
    EXPECT_EQ(base64Encode(bytes), "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
}

TEST(Handshake, AcceptValueOfTheSampleKey)
{
    std::string accept;
    ASSERT_TRUE(computeAcceptValue(kSampleKey, VelmorTest::sha1Digest, accept));
    EXPECT_EQ(accept, kSampleAccept);

    const Sha1Function failing = [](std::string_view, std::string&) { return false; };
    const Sha1Function shortDigest = [](std::string_view, std::string& digest) {
        digest.assign(19, 'x');
        return true;
    };
    EXPECT_FALSE(computeAcceptValue(kSampleKey, failing, accept));
    EXPECT_FALSE(computeAcceptValue(kSampleKey, shortDigest, accept));
}

TEST(Handshake, SendsTheRequestLinesInOrderInOneWrite)
{
    ScriptedStream stream(goodResponse());
    const HandshakeRun run = runHandshake(stream);
    ASSERT_TRUE(run.ok) << std::string(run.error.begin(), run.error.end());
    EXPECT_EQ(run.writes, 1u);
    EXPECT_EQ(run.written,
              "GET /websocket?user=Zo%C3%AB HTTP/1.1\r\n"
              "Host: localhost\r\n"
              "Upgrade: websocket\r\n"
              "Connection: Upgrade\r\n"
              "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
              "Sec-WebSocket-Version: 13\r\n"
              "User-Agent: VelmorChatClient/1.0\r\n"
              "\r\n");
    EXPECT_TRUE(run.pending.empty());
}

TEST(Handshake, ResponseInAnyPiecesKeepsTheBytesBehindItPending)
{
    const std::string frame("\x81\x02hi", 4);
    const std::string bytes = goodResponse() + frame;
    for (const auto& plan : everySplit(bytes.size())) {
        ScriptedStream stream(bytes, plan);
        const HandshakeRun run = runHandshake(stream);
        ASSERT_TRUE(run.ok) << describePlan(plan);
        // Reading stops at the blank line: whatever arrived with it waits for
        // the frame reader, the rest stays in the stream.
        EXPECT_EQ(run.pending, bytes.substr(goodResponse().size(), run.delivered - goodResponse().size()))
            << describePlan(plan);
    }
    ScriptedStream whole(bytes);
    EXPECT_EQ(runHandshake(whole).pending, frame);
}

TEST(Handshake, StatusLines)
{
    const std::string headers = "Sec-WebSocket-Accept: " + std::string(kSampleAccept) + "\r\n";
    EXPECT_TRUE(runHandshake(response("HTTP/1.1 101 Switching Protocols", headers)).ok);
    EXPECT_TRUE(runHandshake(response("HTTP/1.1 101", headers)).ok);

    const HandshakeRun refused = runHandshake(response("HTTP/1.1 200 OK", headers));
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.error, L"The server rejected the WebSocket upgrade: HTTP/1.1 200 OK");

    // Only the status code counts, not a reason phrase that mentions 101.
    const HandshakeRun disguised = runHandshake(response("HTTP/1.1 200 Not 101 Here", headers));
    EXPECT_EQ(disguised.error, L"The server rejected the WebSocket upgrade: HTTP/1.1 200 Not 101 Here");
    EXPECT_FALSE(runHandshake(response("HTTP/1.1 1010 Odd", headers)).ok);

    // The status line is shown byte for byte, each byte one character.
    const HandshakeRun latin = runHandshake(response("HTTP/1.1 403 Verboten \xE9", headers));
    EXPECT_EQ(latin.error, L"The server rejected the WebSocket upgrade: HTTP/1.1 403 Verboten \u00E9");
}

TEST(Handshake, AcceptHeaderLookup)
{
    const std::string status = "HTTP/1.1 101 Switching Protocols";
    for (const std::string name : {"sec-websocket-accept", "SEC-WEBSOCKET-ACCEPT", "Sec-WebSocket-Accept"}) {
        EXPECT_TRUE(runHandshake(response(status, name + ":  \t" + kSampleAccept + " \t\r\n")).ok) << name;
    }
    // A header line without a colon is skipped, the first match wins.
    EXPECT_TRUE(runHandshake(response(status, "Garbage line\r\nSec-WebSocket-Accept: " + std::string(kSampleAccept) +
                                                  "\r\nSec-WebSocket-Accept: wrong\r\n"))
                    .ok);

    std::string lowered = kSampleAccept;
    lowered[0] = 's' == lowered[0] ? 'S' : 's';
    const std::wstring badSignature = L"The server returned an invalid WebSocket handshake signature.";
    EXPECT_EQ(runHandshake(response(status, "Sec-WebSocket-Accept: " + lowered + "\r\n")).error, badSignature);
    EXPECT_EQ(runHandshake(response(status, "Upgrade: websocket\r\n")).error, badSignature);
    EXPECT_EQ(runHandshake(response(status, "Sec-WebSocket-Accept: " + std::string(kSampleAccept) + "x\r\n")).error,
              badSignature);
    // A header after the blank line belongs to the body, not to the response.
    EXPECT_EQ(runHandshake(status + "\r\n\r\nSec-WebSocket-Accept: " + kSampleAccept + "\r\n\r\n").error,
              badSignature);
}

TEST(Handshake, FindHeaderStopsAtTheEndOfTheHeaders)
{
    const std::string block = "HTTP/1.1 101 X\r\nA: 1\r\nNoColon\r\n Spaced Name :  two words \r\n";
    std::string value;
    ASSERT_TRUE(findHeader(block, "spaced name", value));
    EXPECT_EQ(value, "two words");
    ASSERT_TRUE(findHeader(block, "a", value));
    EXPECT_EQ(value, "1");
    EXPECT_FALSE(findHeader(block, "NoColon", value));
    EXPECT_FALSE(findHeader("HTTP/1.1 101 X\r\n\r\nB: 2\r\n", "b", value));
    EXPECT_FALSE(findHeader("HTTP/1.1 101 X", "b", value));
    EXPECT_FALSE(findHeader("HTTP/1.1 101 X\r\nB: unterminated", "b", value));
}

TEST(Handshake, AResponseThatNeverEndsIsGivenUpWithBoundedMemory)
{
    // An endless header block: reading stops once 32,768 bytes hold no blank line.
    ScriptedStream endless("HTTP/1.1 101 OK\r\n" + std::string(1 << 20, 'a'));
    const HandshakeRun run = runHandshake(endless);
    EXPECT_EQ(run.error, L"The WebSocket handshake response was too large or incomplete.");
    EXPECT_GE(run.delivered, kMaxHandshakeResponseBytes);
    EXPECT_LT(run.delivered, kMaxHandshakeResponseBytes + kHandshakeReadBytes);

    // A blank line found in the read that crosses the limit still counts.
    const std::string longHeaders = "X-Padding: " + std::string(kMaxHandshakeResponseBytes, 'p') + "\r\n" +
                                    "Sec-WebSocket-Accept: " + kSampleAccept + "\r\n";
    const std::string big = response("HTTP/1.1 101 Switching Protocols", longHeaders);
    ScriptedStream crossing(big, {kMaxHandshakeResponseBytes - 10});
    EXPECT_TRUE(runHandshake(crossing).ok);
}

TEST(Handshake, StreamEndsAndFailures)
{
    for (std::size_t cut = 0; cut < goodResponse().size(); ++cut) {
        const HandshakeRun run = runHandshake(goodResponse().substr(0, cut));
        EXPECT_EQ(run.error, L"The server closed during the WebSocket handshake.") << cut;
    }

    ScriptedStream failing("HTTP/1.1 101");
    failing.failAtEnd(L"The server closed the TLS connection.");
    EXPECT_EQ(runHandshake(failing).error, L"The server closed the TLS connection.");

    ScriptedStream unused(goodResponse());
    const HandshakeRun noKey =
        runHandshake(unused, "localhost", "/websocket", [](unsigned char*, std::size_t) { return false; });
    EXPECT_EQ(noKey.error, L"Could not generate a secure WebSocket handshake key.");
    EXPECT_EQ(noKey.writes, 0u);

    ScriptedStream noHash(goodResponse());
    const HandshakeRun hashFailed = runHandshake(noHash, "localhost", "/websocket", sampleNonce,
                                                 [](std::string_view, std::string&) { return false; });
    EXPECT_EQ(hashFailed.error, L"Could not validate the WebSocket handshake.");

    HandshakeFunctions io;
    io.random = sampleNonce;
    io.sha1 = VelmorTest::sha1Digest;
    io.write = [](std::string_view, std::wstring& error) {
        error = L"Network send failed (Winsock 10054)";
        return false;
    };
    ScriptedStream neverRead(goodResponse());
    io.read = neverRead.reader();
    std::string pending;
    std::wstring error;
    EXPECT_FALSE(performClientHandshake("localhost", "/websocket", io, pending, error));
    EXPECT_EQ(error, L"Network send failed (Winsock 10054)");
    EXPECT_EQ(neverRead.reads, 0u);
}

TEST(Handshake, RefusesPathsAndHostsThatCannotStandInTheRequest)
{
    const std::wstring invalid = L"The WebSocket request path is invalid.";
    const std::pair<std::string, std::string> cases[] = {
        {"localhost", ""},
        {"", "/websocket"},
        {"localhost", "/websocket?user=a b"},
        {"localhost", "/websocket\r\nX-Injected: 1"},
        {"localhost\r\nX-Injected: 1", "/websocket"},
        {"localhost", std::string("/websocket\0", 11)},
        {"localhost", "/websocket\x7F"},
    };
    for (const auto& [host, path] : cases) {
        ScriptedStream stream(goodResponse());
        const HandshakeRun run = runHandshake(stream, host, path);
        EXPECT_EQ(run.error, invalid) << host << " " << path;
        EXPECT_EQ(run.writes, 0u);
    }
    ScriptedStream stream(goodResponse());
    EXPECT_TRUE(runHandshake(stream, "chat.example", "/websocket?user=%D8%B3").ok);
}
