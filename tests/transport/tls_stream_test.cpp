// The TLS stream under the connection, against tls_test_peer (a scripted
// OpenSSL server on 127.0.0.1:443 that controls every raw byte it sends):
// records split over TCP segments or sharing one, a frame in the record of the
// handshake response, record sizes of a long write, the server's close
// notification and renegotiation request, a dropped connection, and a
// handshake response that never ends; and what cancelled connections leave
// behind.
#include "transport/connection_test_support.h"
#include "transport/transport_testing.h"

#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <tlhelp32.h>

#include <thread>
#include <vector>

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

namespace {

int processThreadCount()
{
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    EXPECT_NE(snapshot, INVALID_HANDLE_VALUE);
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snapshot, &entry); more; more = ::Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ++count;
    }
    ::CloseHandle(snapshot);
    return count;
}

// Client-side TCP connections to port 443 that are still held open: the
// local end not yet closed, whatever the server did.
int openClientSockets()
{
    ULONG size = 0;
    ::GetTcpTable(nullptr, &size, FALSE);
    std::vector<char> buffer(size + 4096);
    size = static_cast<ULONG>(buffer.size());
    auto* table = reinterpret_cast<MIB_TCPTABLE*>(buffer.data());
    EXPECT_EQ(::GetTcpTable(table, &size, FALSE), static_cast<DWORD>(NO_ERROR));
    int count = 0;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_TCPROW& row = table->table[i];
        const bool held = row.dwState == MIB_TCP_STATE_ESTAB || row.dwState == MIB_TCP_STATE_CLOSE_WAIT;
        if (held && ::ntohs(static_cast<u_short>(row.dwRemotePort)) == 443) ++count;
    }
    return count;
}

}  // namespace

// A receive blocked on a quiet server, cancelled, over and over (a client
// that reconnects): whatever WinHTTP does with a closed handle, threads and
// sockets stay bounded.
TEST_P(RecordLayout, CancelledReceivesDoNotPileUpThreadsOrSockets)
{
    const int threadsBefore = processThreadCount();
    constexpr int kCycles = 8;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        SCOPED_TRACE(cycle);
        auto connection = openScenario(GetParam(), L"/echo");
        ASSERT_TRUE(connection);
        Received blocked;
        std::thread receiver([&] { blocked = receiveWithin(*connection); });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // into the blocking call
        connection->cancel();
        receiver.join();
        EXPECT_FALSE(blocked.timedOut);
        EXPECT_EQ(blocked.error, L"Connection was closed.");
        connection.reset();
    }
    // A few readers may still be on their way out, or lingering where
    // WinHTTP ignores the closed handle; never one per cycle.
    constexpr int kAllowance = 3;
    int threads = 0;
    int sockets = 0;
    for (int wait = 0; wait < 300; ++wait) {
        threads = processThreadCount() - threadsBefore;
        sockets = openClientSockets();
        if (threads <= kAllowance && sockets <= kAllowance) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_LE(threads, kAllowance) << "threads left behind by " << kCycles << " cancelled connections";
    EXPECT_LE(sockets, kAllowance) << "sockets left open by " << kCycles << " cancelled connections";
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

TEST(TlsStream, ServerCloseIsEchoedWithTheIdenticalPayload)
{
    const auto connection = openScenario(BackendKind::Compatibility, L"/close-echo");
    ASSERT_TRUE(connection);
    const Received closed = receiveWithin(*connection);
    ASSERT_TRUE(closed.ok) << narrow(closed.error);
    EXPECT_EQ(closed.kind, ReceivedKind::Close);
    EXPECT_EQ(closed.message, "");
    // Status 4001 (0x0FA1) and "going away", as the server sent them.
    expectText(*connection, "close echo 0fa1676f696e672061776179");
}

TEST(TlsStream, HandshakeResponseThatNeverEndsIsGivenUp)
{
    std::wstring error;
    EXPECT_FALSE(openOn(BackendKind::Compatibility, L"/endless-headers", error));
    EXPECT_EQ(error, L"The WebSocket handshake response was too large or incomplete.");
}

// The open as a whole is bounded, not only each wait in it: a server that
// trickles its handshake gets the open's time limit (made short here), and
// the wait that runs out of it fails as a timed-out recv does.
TEST(TlsStream, TrickledHandshakesRunOutOfTheOpensTime)
{
    struct ShortOpenTime {
        ShortOpenTime() { VelmorTransport::Testing::limitCompatibilityOpenTime(1000); }
        ~ShortOpenTime() { VelmorTransport::Testing::limitCompatibilityOpenTime(0); }
    } limit;
    std::wstring error;
    EXPECT_FALSE(openOn(BackendKind::Compatibility, L"/trickle-response", error));
    EXPECT_EQ(error, L"Network receive failed (Winsock 10060)");

    // The TLS handshake itself, a byte at a time.
    ASSERT_TRUE(openOn(BackendKind::Compatibility, L"/trickle-next-handshake", error)) << narrow(error);
    EXPECT_FALSE(openOn(BackendKind::Compatibility, L"/echo", error));
    EXPECT_EQ(error, L"Network receive failed (Winsock 10060)");
}

// Handshake data a byte at a time keeps Schannel asking for more; with time
// to spare, the handshake loop gives up after its 64 passes.
TEST(TlsStream, HandshakeThatKeepsAskingForMoreIsGivenUpAfter64Passes)
{
    std::wstring error;
    ASSERT_TRUE(openOn(BackendKind::Compatibility, L"/trickle-next-handshake", error)) << narrow(error);
    EXPECT_FALSE(openOn(BackendKind::Compatibility, L"/echo", error));
    EXPECT_EQ(error, L"TLS handshake ended before a security context was established.");
}

TEST(TlsStream, OpenFailuresBeforeTheWebSocketHandshake)
{
    std::wstring error;
    EXPECT_FALSE(openOn(BackendKind::Compatibility, L"/echo", error, L"velmor-no-such-host.invalid"));
    // Host not found, or (where no name server can be reached, as in a
    // network namespace of its own) try again later.
    EXPECT_TRUE(error == L"DNS lookup failed (Winsock 11001)" || error == L"DNS lookup failed (Winsock 11002)")
        << narrow(error);

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
