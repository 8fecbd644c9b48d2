// The local server's control interface from Windows code, under Wine, with a
// WinHTTP WebSocket client that validates the server's certificate through
// the system trust store, as the real client does. Runs through
// scripts/lib/with_local_server.sh (server on 127.0.0.1:443, control on 7443).
#include "platform/unique_handle.h"
#include "support/server_control.h"

#include <gtest/gtest.h>
#include <winhttp.h>

#include <string>

using VelmorTest::ServerControl;

namespace {

using UniqueInternetHandle = Velmor::UniqueHandle<Velmor::NullHandleTraits<HINTERNET, &::WinHttpCloseHandle>>;

// "Zoë K" in UTF-8, and as the client puts it in the connection path.
const std::string kUser = "Zo\xC3\xAB K";
const wchar_t kUserPath[] = L"/websocket?user=Zo%C3%AB%20K";

// A minimal blocking WinHTTP WebSocket over TLS to localhost:443.
class WinHttpWebSocket {
public:
    // Empty on success, else what failed with its WinHTTP code.
    std::string open(const wchar_t* path)
    {
        session_.reset(::WinHttpOpen(L"VelmorTest/1.0", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                     WINHTTP_NO_PROXY_BYPASS, 0));
        if (!session_) return failed("WinHttpOpen");
        ::WinHttpSetTimeouts(session_.get(), 10000, 10000, 10000, 10000);
        connection_.reset(::WinHttpConnect(session_.get(), L"localhost", INTERNET_DEFAULT_HTTPS_PORT, 0));
        if (!connection_) return failed("WinHttpConnect");
        UniqueInternetHandle request(::WinHttpOpenRequest(connection_.get(), L"GET", path, nullptr, WINHTTP_NO_REFERER,
                                                          WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
        if (!request) return failed("WinHttpOpenRequest");
        if (!::WinHttpSetOption(request.get(), WINHTTP_OPTION_UPGRADE_TO_WEB_SOCKET, nullptr, 0))
            return failed("WinHttpSetOption(upgrade)");
        if (!::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
            return failed("WinHttpSendRequest (12175 means the local certificate authority is not trusted: run scripts/setup)");
        if (!::WinHttpReceiveResponse(request.get(), nullptr)) return failed("WinHttpReceiveResponse");
        DWORD status = 0;
        DWORD size = sizeof status;
        ::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                              WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
        if (status != 101) return "the upgrade was answered " + std::to_string(status);
        socket_.reset(::WinHttpWebSocketCompleteUpgrade(request.get(), 0));
        return socket_ ? std::string() : failed("WinHttpWebSocketCompleteUpgrade");
    }

    bool sendText(const std::string& text)
    {
        return ::WinHttpWebSocketSend(socket_.get(), WINHTTP_WEB_SOCKET_UTF8_MESSAGE_BUFFER_TYPE,
                                      const_cast<char*>(text.data()), static_cast<DWORD>(text.size())) == NO_ERROR;
    }

    // One whole text message; false on a close (see closeStatus) or an error.
    bool receive(std::string& text)
    {
        text.clear();
        char chunk[4096];
        for (;;) {
            DWORD read = 0;
            WINHTTP_WEB_SOCKET_BUFFER_TYPE type{};
            lastError_ = ::WinHttpWebSocketReceive(socket_.get(), chunk, sizeof chunk, &read, &type);
            if (lastError_ != NO_ERROR) return false;
            lastType_ = type;
            if (type == WINHTTP_WEB_SOCKET_CLOSE_BUFFER_TYPE) return false;
            text.append(chunk, read);
            if (type == WINHTTP_WEB_SOCKET_UTF8_MESSAGE_BUFFER_TYPE) return true;
        }
    }

    // Reads past other messages to the first one containing `needle`.
    bool receiveContaining(const std::string& needle, std::string& text)
    {
        while (receive(text))
            if (text.find(needle) != std::string::npos) return true;
        return false;
    }

    USHORT closeStatus(std::string& reason)
    {
        USHORT status = 0;
        char buffer[WINHTTP_WEB_SOCKET_MAX_CLOSE_REASON_LENGTH] = {};
        DWORD length = 0;
        if (::WinHttpWebSocketQueryCloseStatus(socket_.get(), &status, buffer, sizeof buffer, &length) != NO_ERROR) return 0;
        reason.assign(buffer, length);
        return status;
    }

    // What the last receive ended with, for failure messages.
    std::string lastOutcome() const
    {
        return "receive error " + std::to_string(lastError_) + ", last buffer type " + std::to_string(lastType_);
    }

private:
    static std::string failed(const char* what) { return std::string(what) + " failed (" + std::to_string(::GetLastError()) + ")"; }

    UniqueInternetHandle session_;
    UniqueInternetHandle connection_;
    UniqueInternetHandle socket_;
    DWORD lastError_ = NO_ERROR;
    int lastType_ = -1;
};

class LocalServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(control.get("/health"), "ok") << "start this test through scripts/lib/with_local_server.sh";
        ASSERT_EQ(control.get("/reset"), "ok");
    }

    ServerControl control;
};

TEST_F(LocalServerTest, ControlRequestsAnswerAndRefuseBadArguments)
{
    EXPECT_TRUE(control.users().empty());
    EXPECT_TRUE(control.requestLines().empty());
    EXPECT_EQ(control.get("/fault?name=ignore_pings"), "ok");
    EXPECT_EQ(control.get("/clear_faults"), "ok");

    const ServerControl::Reply refused = control.request("/fault?name=refuse_upgrade&status=oops");
    ASSERT_TRUE(refused.answered);
    EXPECT_EQ(refused.status, 400u);
    EXPECT_FALSE(refused.body.empty());
    EXPECT_EQ(control.request("/send?user=nobody&text=x").status, 400u);
    EXPECT_EQ(control.request("/no-such-request").status, 404u);

    const ServerControl::Reply silent = ServerControl(1).request("/health");  // nothing listens on port 1
    EXPECT_FALSE(silent.answered);
    EXPECT_FALSE(silent.error.empty());
}

TEST_F(LocalServerTest, WindowsWebSocketIsSeenRecordedAndDrivenThroughControl)
{
    WinHttpWebSocket client;
    ASSERT_EQ(client.open(kUserPath), "");
    ASSERT_TRUE(control.waitForUser(kUser));
    std::string text;
    ASSERT_TRUE(client.receiveContaining("\"type\":\"connected\"", text));

    ASSERT_TRUE(client.sendText("ping"));
    ASSERT_TRUE(client.receive(text));
    EXPECT_EQ(text, "pong");
    const auto lines = control.requestLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "{\"user\":\"" + kUser + "\",\"type\":\"ping\",\"text\":\"ping\"}");
    EXPECT_EQ(control.get("/pings?user=" + ServerControl::encode(kUser)), "1");

    const std::string injected = "{\"type\":\"dm\",\"from\":\"server\",\"text\":\"\xC3\xA9t\xC3\xA9 & co\"}";
    ASSERT_EQ(control.get("/send?user=" + ServerControl::encode(kUser) + "&text=" + ServerControl::encode(injected)), "ok");
    ASSERT_TRUE(client.receive(text));
    EXPECT_EQ(text, injected);
    // Without ping_between: Wine 8's WinHTTP fails a message that has a ping
    // between its fragments (12152), which Windows and RFC 6455 allow; the
    // native protocol tests cover the pings.
    ASSERT_EQ(control.get("/send?user=" + ServerControl::encode(kUser) + "&text=" + ServerControl::encode(injected) +
                          "&fragments=3"),
              "ok");
    ASSERT_TRUE(client.receive(text)) << client.lastOutcome();
    EXPECT_EQ(text, injected) << "fragments arrive as one message";

    ASSERT_EQ(control.get("/close?user=" + ServerControl::encode(kUser) + "&code=4000&reason=bye"), "ok");
    EXPECT_FALSE(client.receive(text));
    std::string reason;
    EXPECT_EQ(client.closeStatus(reason), 4000);
    EXPECT_EQ(reason, "bye");
}

}  // namespace
