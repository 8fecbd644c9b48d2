// Both back-ends against an independent WebSocket server (Python's websockets
// over TLS on 127.0.0.1:443, started by with_test_peer.sh), so that our
// framing and handshake are checked by someone else's implementation.
#include "transport/connection_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

using namespace VelmorTest;

namespace {

const std::wstring kPath = L"/websocket?user=interop";

class Interop : public ::testing::TestWithParam<BackendKind> {
protected:
    void SetUp() override
    {
        std::wstring error;
        connection = openOn(GetParam(), kPath, error);
        ASSERT_TRUE(connection) << "open over the " << backendName(GetParam()) << " failed: " << narrow(error);
        EXPECT_TRUE(error.empty());
    }

    void send(const std::string& message)
    {
        std::wstring error;
        ASSERT_TRUE(connection->sendText(message, error)) << narrow(error);
        EXPECT_TRUE(error.empty());
    }

    void expectMessage(ReceivedKind kind, const std::string& message)
    {
        const Received received = receiveWithin(*connection);
        ASSERT_TRUE(received.ok) << narrow(received.error) << (received.timedOut ? " (timed out)" : "");
        EXPECT_EQ(received.kind, kind);
        EXPECT_TRUE(received.message == message) << "got " << received.message.size() << " bytes, expected "
                                                 << message.size();
    }

    std::shared_ptr<WebSocketConnection> connection;
};

}  // namespace

TEST_P(Interop, EchoesTextIncludingEmptyAndMultibyteMessages)
{
    const std::string messages[] = {"{\"type\":\"ping\"}", "", "Zo\xC3\xAB \xD8\xB3\xD9\x84\xD8\xA7\xD9\x85 \xF0\x9F\x98\x80",
                                    std::string(125, 'a'), std::string(126, 'b'), std::string(65536, 'c')};
    for (const std::string& message : messages) send(message);
    for (const std::string& message : messages) expectMessage(ReceivedKind::Text, message);
}

TEST_P(Interop, BinaryAndFragmentedMessagesFromTheServer)
{
    send("!binary raw bytes");
    expectMessage(ReceivedKind::Binary, "raw bytes");

    std::string body;
    for (int i = 0; i < 3000; ++i) body += static_cast<char>('a' + i % 26);
    send("!fragments 7 " + body);
    expectMessage(ReceivedKind::Text, body);
    // The next message after a fragmented one starts afresh.
    send("after");
    expectMessage(ReceivedKind::Text, "after");
}

TEST_P(Interop, EmptyServerPingIsAnswered)
{
    // The peer only reports back once the pong matching its ping arrived.
    send("!ping ");
    expectMessage(ReceivedKind::Text, "pong ");
}

TEST_P(Interop, ServerCloseWithStatusAndReason)
{
    send("!close 4001 going away now");
    const Received closed = receiveWithin(*connection);
    ASSERT_TRUE(closed.ok) << narrow(closed.error);
    EXPECT_EQ(closed.kind, ReceivedKind::Close);
    EXPECT_TRUE(closed.message.empty());
}

INSTANTIATE_TEST_SUITE_P(BothBackEnds, Interop, ::testing::Values(BackendKind::WinHttp, BackendKind::Compatibility),
                         BackendNamer());

// Wine's WinHTTP answers a ping with an empty pong and misreads the ping's
// payload as the next frame, so a ping with payload is checked on the
// compatibility transport only.
TEST(InteropCompatibility, ServerPingWithPayloadIsAnsweredWithTheSamePayload)
{
    std::wstring error;
    const auto connection = openOn(BackendKind::Compatibility, kPath, error);
    ASSERT_TRUE(connection) << narrow(error);
    ASSERT_TRUE(connection->sendText("!ping p1-\xC3\xA9-payload", error)) << narrow(error);
    const Received received = receiveWithin(*connection);
    ASSERT_TRUE(received.ok) << narrow(received.error);
    EXPECT_EQ(received.message, "pong p1-\xC3\xA9-payload");
}

// A pong owed while this thread sends a large message goes out after it, never
// inside it: the peer reads every message whole and sees every pong. (The
// compatibility transport only: Wine's WinHTTP answers with empty pongs.)
TEST(InteropCompatibility, PongsNeverLandInsideALargeMessageBeingSent)
{
    std::wstring error;
    const auto connection = openOn(BackendKind::Compatibility, kPath, error);
    ASSERT_TRUE(connection) << narrow(error);
    constexpr int kRounds = 6;
    std::vector<std::string> received;
    std::thread reader([&] {
        while (received.size() < 2 * kRounds) {
            const Received message = receiveWithin(*connection);
            if (!message.ok) break;
            received.push_back(message.message);
        }
    });
    std::vector<std::string> expected;
    for (int round = 0; round < kRounds; ++round) {
        const std::string large(1536 * 1024 + round, static_cast<char>('a' + round));
        ASSERT_TRUE(connection->sendText("!ping p" + std::to_string(round), error)) << narrow(error);
        ASSERT_TRUE(connection->sendText(large, error)) << narrow(error);
        expected.push_back("pong p" + std::to_string(round));
        expected.push_back(large);
    }
    reader.join();
    ASSERT_EQ(received.size(), expected.size());
    for (std::size_t index = 0; index < expected.size(); ++index) {
        EXPECT_TRUE(received[index] == expected[index])
            << "message " << index << ": " << received[index].size() << " bytes, expected " << expected[index].size();
    }
}

// After the handshake the socket has no time-out left: a receive waiting
// longer than the 15-second network time-out of the open still succeeds.
TEST(InteropCompatibility, AnIdleLinkOutlivesTheOpenTimeLimit)
{
    std::wstring error;
    const auto connection = openOn(BackendKind::Compatibility, kPath, error);
    ASSERT_TRUE(connection) << narrow(error);
    Received received;
    std::thread reader([&] { received = receiveWithin(*connection, std::chrono::seconds(90)); });
    std::this_thread::sleep_for(std::chrono::seconds(17));  // a receive waits all along
    const bool sent = connection->sendText("still here", error);
    reader.join();
    ASSERT_TRUE(sent) << narrow(error);
    ASSERT_TRUE(received.ok) << narrow(received.error);
    EXPECT_EQ(received.message, "still here");
}
