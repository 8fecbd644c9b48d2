// Which HTTP requests on the service port may become a WebSocket: a GET
// upgrade of "/websocket" with one acceptable "user" query value. Everything
// else is answered with a clear HTTP error. Transport-free, tested natively.
#pragma once

#include <string>
#include <string_view>

namespace VelmorServer {

inline constexpr std::string_view kServicePath = "/websocket";

struct UpgradeDecision {
    unsigned status = 0;  // 0: upgrade; otherwise the HTTP status to answer with
    std::string reason;   // the answer's body when refused
    std::string user;     // the decoded name when accepted
};

// `isGet` and `isUpgrade` come from the request's method and headers; the
// handshake headers themselves (key, version) are checked by the WebSocket
// library when it accepts.
UpgradeDecision decideUpgrade(bool isGet, bool isUpgrade, std::string_view target);

}  // namespace VelmorServer
