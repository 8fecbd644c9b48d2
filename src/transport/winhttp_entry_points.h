// WinHTTP's four WebSocket functions, looked up at run time because older
// Windows lacks them. The lookup happens once per process; only a failure to
// load the library at all is retried on the next call.
#pragma once

#include "transport/transport_handles.h"

namespace VelmorTransport {

struct WinHttpEntryPoints {
    decltype(&::WinHttpWebSocketCompleteUpgrade) completeUpgrade = nullptr;
    decltype(&::WinHttpWebSocketSend) send = nullptr;
    decltype(&::WinHttpWebSocketReceive) receive = nullptr;
    decltype(&::WinHttpWebSocketClose) close = nullptr;  // required, though the client ends connections by closing handles

    bool complete() const { return completeUpgrade && send && receive && close; }
};

WinHttpEntryPoints winHttpEntryPoints();

}  // namespace VelmorTransport
