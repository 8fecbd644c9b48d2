// Choosing the back-end: WinHTTP only when its library offers all four
// WebSocket functions, found once per process; a library that cannot be
// loaded is tried again. The library is a stand-in here, so a system that
// lacks a function can be played under any WinHTTP.
#include "transport/connection_test_support.h"
#include "transport/winhttp_entry_points.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace VelmorTest;
using VelmorTransport::WinHttpEntryPointCache;
using VelmorTransport::WinHttpLibrary;

namespace {

const char* const kFunctions[] = {"WinHttpWebSocketCompleteUpgrade", "WinHttpWebSocketSend", "WinHttpWebSocketReceive",
                                  "WinHttpWebSocketClose"};

// winhttp.dll as it is, except that `missing` is not found, and the library
// loads only from the `loadsFrom`-th attempt on. Counts what it is asked.
struct StandIn {
    std::string missing;
    int loadsFrom = 1;
    int loadAttempts = 0;
    int lookups = 0;

    WinHttpLibrary library()
    {
        WinHttpLibrary library;
        library.module = [this]() -> HMODULE {
            ++loadAttempts;
            return loadAttempts >= loadsFrom ? ::LoadLibraryW(L"winhttp.dll") : nullptr;
        };
        library.find = [this](HMODULE module, const char* name) -> FARPROC {
            ++lookups;
            return name == missing ? nullptr : ::GetProcAddress(module, name);
        };
        return library;
    }
};

// open() goes back to the real library however the test ends.
struct RealLibraryAfterwards {
    ~RealLibraryAfterwards() { VelmorTransport::Testing::useWinHttpLibrary(std::nullopt); }
};

}  // namespace

TEST(BackendSelection, EntryPointsAreLookedUpOnceAndALibraryThatFailsToLoadIsRetried)
{
    StandIn standIn;
    standIn.missing = "WinHttpWebSocketSend";
    standIn.loadsFrom = 3;
    WinHttpEntryPointCache cache(standIn.library());

    // Not loadable yet: nothing is remembered, every call tries again.
    EXPECT_FALSE(cache.get().complete());
    EXPECT_FALSE(cache.get().complete());
    EXPECT_EQ(standIn.loadAttempts, 2);
    EXPECT_EQ(standIn.lookups, 0);

    // Loaded, one function missing: the result stands from then on.
    const auto points = cache.get();
    EXPECT_FALSE(points.complete());
    EXPECT_EQ(points.send, nullptr);
    EXPECT_NE(points.completeUpgrade, nullptr);
    EXPECT_NE(points.receive, nullptr);
    EXPECT_NE(points.close, nullptr);
    const int lookups = standIn.lookups;
    EXPECT_GE(lookups, 4);
    EXPECT_FALSE(cache.get().complete());
    EXPECT_EQ(standIn.loadAttempts, 3);
    EXPECT_EQ(standIn.lookups, lookups);
}

TEST(BackendSelection, AnyOneMissingFunctionRulesWinHttpOut)
{
    for (const char* missing : kFunctions) {
        SCOPED_TRACE(missing);
        StandIn standIn;
        standIn.missing = missing;
        WinHttpEntryPointCache cache(standIn.library());
        EXPECT_FALSE(cache.get().complete());
    }
    StandIn whole;
    WinHttpEntryPointCache cache(whole.library());
    EXPECT_TRUE(cache.get().complete());
}

TEST(BackendSelection, OpenGoesStraightToTheCompatibilityTransportWithoutTheFunctions)
{
    const RealLibraryAfterwards restore;
    StandIn standIn;
    standIn.missing = "WinHttpWebSocketClose";
    VelmorTransport::Testing::useWinHttpLibrary(standIn.library());
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::wstring error;
        const auto connection = WebSocketConnection::open(kTestHost, L"/echo", error);
        ASSERT_TRUE(connection) << narrow(error);
        EXPECT_EQ(connection->backend(), BackendKind::Compatibility);
        ASSERT_TRUE(connection->sendText("over our own framing", error)) << narrow(error);
        const Received echo = receiveWithin(*connection);
        EXPECT_TRUE(echo.ok) << narrow(echo.error);
        EXPECT_EQ(echo.message, "over our own framing");
    }
    // The second open did not look again.
    EXPECT_EQ(standIn.loadAttempts, 1);

    // A library that cannot be loaded: compatibility transport, and the
    // next open tries to load it again.
    StandIn unloadable;
    unloadable.loadsFrom = 1000;
    VelmorTransport::Testing::useWinHttpLibrary(unloadable.library());
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::wstring error;
        const auto connection = WebSocketConnection::open(kTestHost, L"/echo", error);
        ASSERT_TRUE(connection) << narrow(error);
        EXPECT_EQ(connection->backend(), BackendKind::Compatibility);
    }
    EXPECT_EQ(unloadable.loadAttempts, 2);

    // Back to the real library, which has all four here.
    VelmorTransport::Testing::useWinHttpLibrary(std::nullopt);
    std::wstring error;
    const auto connection = WebSocketConnection::open(kTestHost, L"/echo", error);
    ASSERT_TRUE(connection) << narrow(error);
    EXPECT_EQ(connection->backend(), BackendKind::WinHttp);
}
