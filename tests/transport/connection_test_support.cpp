#include "transport/connection_test_support.h"

#include "transport/transport_testing.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace VelmorTest {

std::string narrow(const std::wstring& text)
{
    std::string out;
    for (const wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

const char* backendName(BackendKind backend)
{
    return backend == BackendKind::WinHttp ? "WinHTTP" : "compatibility transport";
}

std::shared_ptr<WebSocketConnection> openOn(BackendKind backend, const std::wstring& path, std::wstring& error,
                                            const std::wstring& host)
{
    VelmorTransport::Testing::forceCompatibilityTransport(backend == BackendKind::Compatibility);
    auto connection = WebSocketConnection::open(host, path, error);
    VelmorTransport::Testing::forceCompatibilityTransport(false);
    if (connection) {
        EXPECT_EQ(connection->backend(), backend);
    }
    return connection;
}

Received receiveWithin(WebSocketConnection& connection, std::chrono::milliseconds limit)
{
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    bool timedOut = false;
    std::thread watchdog([&] {
        std::unique_lock guard(lock);
        if (!done.wait_for(guard, limit, [&] { return finished; })) {
            timedOut = true;
            guard.unlock();
            connection.cancel();
        }
    });
    Received received;
    received.ok = connection.receive(received.message, received.kind, received.error);
    {
        std::lock_guard guard(lock);
        finished = true;
    }
    done.notify_all();
    watchdog.join();
    received.timedOut = timedOut;
    return received;
}

Received receiveText(WebSocketConnection& connection, const std::string& skipPrefix)
{
    for (;;) {
        Received received = receiveWithin(connection);
        if (!received.ok || received.kind != ReceivedKind::Text || skipPrefix.empty() ||
            received.message.compare(0, skipPrefix.size(), skipPrefix) != 0) {
            return received;
        }
    }
}

}  // namespace VelmorTest
