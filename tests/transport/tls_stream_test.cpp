// The TLS stream under the connection, against tls_test_peer (a scripted
// OpenSSL server on 127.0.0.1:443 that controls every raw byte it sends):
// records split over TCP segments or sharing one, a frame in the record of the
// handshake response, record sizes of a long write, the server's close
// notification and renegotiation request, a dropped connection, and a
// handshake response that never ends.
#include "transport/connection_test_support.h"

#include <gtest/gtest.h>

using namespace VelmorTest;

namespace {

std::shared_ptr<WebSocketConnection> openScenario(BackendKind backend, const std::wstring& scenario)
{
    std::wstring error;
    auto connection = openOn(backend, scenario, error);
    EXPECT_TRUE(connection) << "open " << narrow(scenario) << ": " << narrow(error);
    return connection;
}

void expectText(WebSocketConnection& connection, const std::string& text)
{
    const Received received = receiveWithin(connection);
    ASSERT_TRUE(received.ok) << narrow(received.error) << (received.timedOut ? " (timed out)" : "");
    EXPECT_EQ(received.kind, ReceivedKind::Text);
    EXPECT_EQ(received.message, text);
}

void expectFailure(WebSocketConnection& connection, const std::wstring& error)
{
    const Received received = receiveWithin(connection);
    EXPECT_FALSE(received.ok) << "received " << received.message;
    EXPECT_FALSE(received.timedOut) << "the receive hung until the watchdog cancelled it";
    EXPECT_EQ(received.error, error);
}

class RecordLayout : public ::testing::TestWithParam<BackendKind> {};

}  // namespace

TEST_P(RecordLayout, RecordSplitAcrossSegmentsIsReassembled)
{
    const auto connection = openScenario(GetParam(), L"/split-record");
    ASSERT_TRUE(connection);
    expectText(*connection, "split across segments");
}

TEST_P(RecordLayout, TwoRecordsInOneSegmentAreBothDelivered)
{
    const auto connection = openScenario(GetParam(), L"/two-records");
    ASSERT_TRUE(connection);
    expectText(*connection, "first record");
    expectText(*connection, "second record");
}

TEST_P(RecordLayout, FrameInTheRecordOfTheHandshakeResponse)
{
    const auto connection = openScenario(GetParam(), L"/frame-with-response");
    ASSERT_TRUE(connection);
    expectText(*connection, "right behind the headers");
    // The stream goes on normally afterwards.
    std::wstring error;
    ASSERT_TRUE(connection->sendText("echo me", error)) << narrow(error);
    expectText(*connection, "echo me");
}

INSTANTIATE_TEST_SUITE_P(BothBackEnds, RecordLayout, ::testing::Values(BackendKind::WinHttp, BackendKind::Compatibility),
                         BackendNamer());

TEST(TlsStream, LongWriteGoesOutInRecordsOfTheMaximumMessageSize)
{
    const auto connection = openScenario(BackendKind::Compatibility, L"/record-sizes");
    ASSERT_TRUE(connection);
    // 40,000 bytes of text are a 40,008-byte frame: two full records and the rest.
    std::wstring error;
    ASSERT_TRUE(connection->sendText(std::string(40000, 'w'), error)) << narrow(error);
    expectText(*connection, "records 16384 16384 7240");
}

TEST(TlsStream, WaysTheServerEndsTheStream)
{
    struct Case {
        const wchar_t* scenario;
        const char* lastMessage;
        const wchar_t* failure;
    };
    const Case cases[] = {
        // The peer keeps its socket open after the close notification and
        // the renegotiation request: only recognising them ends the read.
        {L"/close-notify", "before close notify", L"The server closed the TLS connection."},
        {L"/renegotiate", "before renegotiation",
         L"The server requested a TLS renegotiation unsupported by this compatibility transport."},
        {L"/tcp-close", "before the connection drops", L"The server closed the connection."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.scenario));
        const auto connection = openScenario(BackendKind::Compatibility, c.scenario);
        ASSERT_TRUE(connection);
        expectText(*connection, c.lastMessage);
        expectFailure(*connection, c.failure);
    }
}

TEST(TlsStream, HandshakeResponseThatNeverEndsIsGivenUp)
{
    std::wstring error;
    EXPECT_FALSE(openOn(BackendKind::Compatibility, L"/endless-headers", error));
    EXPECT_EQ(error, L"The WebSocket handshake response was too large or incomplete.");
}

TEST(TlsStream, OpenFailuresBeforeTheWebSocketHandshake)
{
    std::wstring error;
    EXPECT_FALSE(openOn(BackendKind::Compatibility, L"/echo", error, L"velmor-no-such-host.invalid"));
    EXPECT_EQ(error, L"DNS lookup failed (Winsock 11001)");

    // An unpaired surrogate is refused before any network activity.
    EXPECT_FALSE(openOn(BackendKind::Compatibility, L"/echo", error, std::wstring(L"local\xD800host")));
    EXPECT_EQ(error, L"Invalid WebSocket host name.");
    EXPECT_FALSE(openOn(BackendKind::Compatibility, L"/echo", error, L""));
    EXPECT_EQ(error, L"Invalid WebSocket host name.");

    for (const std::wstring& path : {std::wstring(), std::wstring(L"/echo\r\nX-Injected: 1"), std::wstring(L"/\xDC00")}) {
        EXPECT_FALSE(openOn(BackendKind::Compatibility, path, error));
        EXPECT_EQ(error, L"The WebSocket request path is invalid.");
    }
}
