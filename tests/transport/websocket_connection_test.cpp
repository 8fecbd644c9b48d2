// WebSocketConnection on both back-ends against the local community server
// over real TLS on 127.0.0.1:443 (started around this program by
// with_local_server.sh; steered through its control interface): open, send,
// receive, the bare ping, cancel from another thread, the 2 MiB limit,
// fragmented and binary messages, the server's close, and the upgrade faults.
#include "support/server_control.h"
#include "transport/connection_test_support.h"
#include "transport/websocket_frames.h"

#include <gtest/gtest.h>

#include <thread>

using namespace VelmorTest;
using VelmorTransport::kMaxMessageBytes;

namespace {

const std::wstring kPath = L"/websocket?user=transport";
const std::string kUser = "transport";

class ConnectionTest : public ::testing::TestWithParam<BackendKind> {
protected:
    void SetUp() override { server.get("/reset"); }

    // Opens and waits until the server lists the user as connected.
    std::shared_ptr<WebSocketConnection> openConnected()
    {
        std::wstring error;
        auto connection = openOn(GetParam(), kPath, error);
        EXPECT_TRUE(connection) << "open over the " << backendName(GetParam()) << " failed: " << narrow(error);
        EXPECT_TRUE(error.empty());
        if (connection) {
            EXPECT_TRUE(server.waitForUser(kUser)) << "the server never listed the user";
        }
        return connection;
    }

    // Sends text to the client through the server; the server's own
    // unsolicited messages (presence and the like) are skipped on receipt.
    void push(const std::string& query) { server.get("/send?user=" + kUser + "&" + query); }

    Received receiveExpected(WebSocketConnection& connection, const std::string& marker)
    {
        for (;;) {
            Received received = receiveWithin(connection);
            if (!received.ok || received.kind != ReceivedKind::Text || received.message.find(marker) != std::string::npos) {
                return received;
            }
        }
    }

    std::wstring failedOpen()
    {
        std::wstring error;
        EXPECT_FALSE(openOn(GetParam(), kPath, error));
        return error;
    }

    ServerControl server;
};

}  // namespace

TEST_P(ConnectionTest, SendsAndReceivesWholeMessages)
{
    const auto connection = openConnected();
    ASSERT_TRUE(connection);
    const std::string request = "{\"type\":\"list_users\",\"note\":\"Zo\xC3\xAB\"}";
    std::wstring error;
    ASSERT_TRUE(connection->sendText(request, error)) << narrow(error);
    // The bare keep-alive text is answered with "pong".
    ASSERT_TRUE(connection->sendText("ping", error)) << narrow(error);
    const Received pong = receiveExpected(*connection, "pong");
    ASSERT_TRUE(pong.ok) << narrow(pong.error);
    EXPECT_EQ(pong.message, "pong");
    EXPECT_EQ(server.get("/pings?user=" + kUser), "1");
    EXPECT_NE(server.get("/requests").find("list_users"), std::string::npos);

    push("text=marker-%C3%A9");
    const Received pushed = receiveExpected(*connection, "marker-");
    ASSERT_TRUE(pushed.ok) << narrow(pushed.error);
    EXPECT_EQ(pushed.message, "marker-\xC3\xA9");
}

TEST_P(ConnectionTest, FragmentedAndBinaryMessagesComeBackWhole)
{
    const auto connection = openConnected();
    ASSERT_TRUE(connection);
    const std::string body = "fragmented-" + std::string(5000, 'f');
    push("text=" + body + "&fragments=5");
    const Received fragmented = receiveExpected(*connection, "fragmented-");
    ASSERT_TRUE(fragmented.ok) << narrow(fragmented.error);
    EXPECT_EQ(fragmented.message, body);

    push("text=binary-marker&binary=1");
    Received binary = receiveWithin(*connection);
    while (binary.ok && binary.kind == ReceivedKind::Text) binary = receiveWithin(*connection);
    ASSERT_TRUE(binary.ok) << narrow(binary.error);
    EXPECT_EQ(binary.kind, ReceivedKind::Binary);
    EXPECT_EQ(binary.message, "binary-marker");
}

TEST_P(ConnectionTest, MessagesAtTheTwoMebibyteLimit)
{
    const auto connection = openConnected();
    ASSERT_TRUE(connection);
    std::wstring error;
    EXPECT_TRUE(connection->sendText(std::string(kMaxMessageBytes, 'x'), error)) << narrow(error);
    if (GetParam() == BackendKind::Compatibility) {
        // Refused before anything is sent; the connection stays usable.
        EXPECT_FALSE(connection->sendText(std::string(kMaxMessageBytes + 1, 'x'), error));
        EXPECT_EQ(error, L"WebSocket message is too large.");
    }

    server.get("/send_large?user=" + kUser + "&bytes=" + std::to_string(kMaxMessageBytes));
    Received largest = receiveWithin(*connection);
    while (largest.ok && largest.message.size() < 1000) largest = receiveWithin(*connection);
    ASSERT_TRUE(largest.ok) << narrow(largest.error);
    EXPECT_EQ(largest.message.size(), kMaxMessageBytes);

    server.get("/send_large?user=" + kUser + "&bytes=" + std::to_string(kMaxMessageBytes + 1));
    Received tooLarge = receiveWithin(*connection);
    while (tooLarge.ok) tooLarge = receiveWithin(*connection);
    EXPECT_FALSE(tooLarge.timedOut);
    // The server sends it as one frame: our framing refuses the frame from its
    // header, WinHTTP counts the message as it arrives.
    EXPECT_EQ(tooLarge.error, GetParam() == BackendKind::WinHttp
                                  ? L"The server sent a WebSocket message larger than 2 MiB."
                                  : L"The server sent an invalid or oversized WebSocket frame.");
}

TEST_P(ConnectionTest, CancelWakesABlockedReceiveAndEndsTheConnection)
{
    const auto connection = openConnected();
    ASSERT_TRUE(connection);
    Received blocked;
    std::thread receiver([&] {
        do {
            blocked = receiveWithin(*connection);
        } while (blocked.ok);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    connection->cancel();
    receiver.join();
    EXPECT_FALSE(blocked.timedOut);
    EXPECT_EQ(blocked.error, L"Connection was closed.");
    std::wstring error;
    EXPECT_FALSE(connection->sendText("{\"type\":\"list_users\"}", error));
    EXPECT_EQ(error, L"Connection was closed.");
    connection->cancel();
}

TEST_P(ConnectionTest, ServerCloseWithStatusAndReason)
{
    const auto connection = openConnected();
    ASSERT_TRUE(connection);
    server.get("/close?user=" + kUser + "&code=4001&reason=going%20away");
    Received closed = receiveWithin(*connection);
    while (closed.ok && closed.kind != ReceivedKind::Close) closed = receiveWithin(*connection);
    ASSERT_TRUE(closed.ok) << narrow(closed.error);
    EXPECT_TRUE(closed.message.empty());
}

TEST_P(ConnectionTest, UpgradeRefusedWithStatus200)
{
    server.get("/fault?name=refuse_upgrade&status=200");
    const std::wstring error = failedOpen();
    if (GetParam() == BackendKind::WinHttp) {
        EXPECT_EQ(error, L"The server rejected the WebSocket upgrade (HTTP 200).");
    } else {
        EXPECT_EQ(error, L"The server rejected the WebSocket upgrade: HTTP/1.1 200 OK");
    }
}

TEST_P(ConnectionTest, WrongAcceptValueIsRefused)
{
    server.get("/fault?name=wrong_accept");
    EXPECT_EQ(failedOpen(), L"The server returned an invalid WebSocket handshake signature.");
}

TEST_P(ConnectionTest, UntrustedCertificateIsRefused)
{
    server.get("/fault?name=untrusted_cert");
    const std::wstring error = failedOpen();
    if (GetParam() == BackendKind::WinHttp) {
        EXPECT_TRUE(error == L"WinHTTP WebSocket upgrade failed (12175)" ||
                    error == L"WinHTTP WebSocket upgrade failed (12157)")
            << narrow(error);
    } else {
        EXPECT_EQ(error, L"The server's TLS certificate could not be verified (-2146762487).");
    }
}

INSTANTIATE_TEST_SUITE_P(BothBackEnds, ConnectionTest, ::testing::Values(BackendKind::WinHttp, BackendKind::Compatibility),
                         BackendNamer());

// Wine's WinHTTP answers a ping with an empty pong and then misreads the
// ping's payload as the next frame, so pings with payload between fragments
// are checked on the compatibility transport only.
TEST(ConnectionCompatibility, PingsBetweenFragmentsAreAnsweredAndTheMessageStaysWhole)
{
    ServerControl server;
    server.get("/reset");
    std::wstring error;
    const auto connection = openOn(BackendKind::Compatibility, kPath, error);
    ASSERT_TRUE(connection) << narrow(error);
    ASSERT_TRUE(server.waitForUser(kUser));
    server.get("/send?user=" + kUser + "&text=pinged-fragments-" + std::string(300, 'p') + "&fragments=4&ping_between=1");
    Received received = receiveWithin(*connection);
    while (received.ok && received.message.rfind("pinged-fragments-", 0) != 0) received = receiveWithin(*connection);
    ASSERT_TRUE(received.ok) << narrow(received.error);
    EXPECT_EQ(received.message, "pinged-fragments-" + std::string(300, 'p'));
    // The connection is still in step: the bare ping is answered.
    ASSERT_TRUE(connection->sendText("ping", error)) << narrow(error);
    received = receiveWithin(*connection);
    while (received.ok && received.message != "pong") received = receiveWithin(*connection);
    EXPECT_TRUE(received.ok) << narrow(received.error);
}
