// WinHTTP's four WebSocket functions, looked up at run time because older
// Windows lacks them. The lookup happens once per process; only a failure to
// load the library at all is retried on the next call.
#pragma once

#include "transport/transport_handles.h"

#include <functional>
#include <mutex>
#include <optional>

namespace VelmorTransport {

struct WinHttpEntryPoints {
    decltype(&::WinHttpWebSocketCompleteUpgrade) completeUpgrade = nullptr;
    decltype(&::WinHttpWebSocketSend) send = nullptr;
    decltype(&::WinHttpWebSocketReceive) receive = nullptr;
    decltype(&::WinHttpWebSocketClose) close = nullptr;  // required, though the client ends connections by closing handles
    // Optional, not part of the choice: used only to free a receive that a
    // closed handle did not end (see winhttp_backend.cpp).
    decltype(&::WinHttpWebSocketShutdown) shutdown = nullptr;

    bool complete() const { return completeUpgrade && send && receive && close; }
};

// Where the entry points come from: the library (its handle if it is loaded,
// else loaded; null when it cannot be) and a lookup by name in it. The process
// uses winhttp.dll; tests stand in for it.
struct WinHttpLibrary {
    std::function<HMODULE()> module;
    std::function<FARPROC(HMODULE, const char*)> find;
};

// The once-only lookup: when the library is had, the results, found or not,
// stand for the life of the cache; when it is not, nothing is remembered and
// the next get tries again.
class WinHttpEntryPointCache {
public:
    explicit WinHttpEntryPointCache(WinHttpLibrary library) : library_(std::move(library)) {}

    WinHttpEntryPoints get();

private:
    WinHttpLibrary library_;
    std::mutex lock_;
    bool lookedUp_ = false;
    WinHttpEntryPoints entryPoints_;
};

// The process's entry points, from winhttp.dll (or a test's stand-in).
WinHttpEntryPoints winHttpEntryPoints();

namespace Testing {

// From now on open() looks the functions up in `library`, with a fresh cache
// of its own, as if the process had just started; nullopt goes back to the
// real winhttp.dll (whose earlier lookup still stands).
void useWinHttpLibrary(std::optional<WinHttpLibrary> library);

}  // namespace Testing

}  // namespace VelmorTransport
