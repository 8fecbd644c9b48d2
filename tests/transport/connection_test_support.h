// Helpers for the tests that open real WebSocketConnections under Wine: open
// on a chosen back-end, and receive with a watchdog so that a receive that
// never returns fails the test instead of hanging it.
#pragma once

#include "transport/websocket_connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

namespace VelmorTest {

using VelmorTransport::BackendKind;
using VelmorTransport::ReceivedKind;
using VelmorTransport::WebSocketConnection;

// The certificates of the local test servers name localhost and 127.0.0.1.
inline const std::wstring kTestHost = L"localhost";

std::string narrow(const std::wstring& text);

// Opens with the compatibility transport forced or not; the back-end the
// connection reports must be the one asked for.
std::shared_ptr<WebSocketConnection> openOn(BackendKind backend, const std::wstring& path, std::wstring& error,
                                            const std::wstring& host = kTestHost);

struct Received {
    bool ok = false;
    bool timedOut = false;  // the watchdog had to cancel the connection
    std::string message;
    ReceivedKind kind = ReceivedKind::Text;
    std::wstring error;
};

// One receive; after `limit` the connection is cancelled and timedOut set.
Received receiveWithin(WebSocketConnection& connection,
                       std::chrono::milliseconds limit = std::chrono::seconds(20));

// Receives until a text message arrives that is not one of the server's
// unsolicited ones (those starting with skipPrefix, if given).
Received receiveText(WebSocketConnection& connection, const std::string& skipPrefix = {});

const char* backendName(BackendKind backend);

struct BackendNamer {
    std::string operator()(const ::testing::TestParamInfo<BackendKind>& info) const
    {
        return info.param == BackendKind::WinHttp ? "WinHttp" : "Compatibility";
    }
};

}  // namespace VelmorTest
