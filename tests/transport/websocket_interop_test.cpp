// Both back-ends against an independent WebSocket server (Python's websockets
// over TLS on 127.0.0.1:443, started by with_test_peer.sh), so that our
// framing and handshake are checked by someone else's implementation.
#include "transport/connection_test_support.h"

#include <gtest/gtest.h>

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
