// Windows-side access to the local community server's control interface
// (plain HTTP on 127.0.0.1, port 7443 under scripts/lib/with_local_server.sh):
// read what the server received, list who is connected, switch faults and
// inject messages. Every request is a WinHTTP GET; see server/README.md for
// the requests themselves.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace VelmorTest {

class ServerControl {
public:
    static constexpr std::uint16_t kDefaultPort = 7443;

    explicit ServerControl(std::uint16_t port = kDefaultPort) : port_(port) {}

    struct Reply {
        bool answered = false;  // false: no HTTP answer at all (see error)
        unsigned status = 0;
        std::string body;
        std::wstring error;
    };

    // GET `pathAndQuery` (already percent-encoded) and return whatever came back.
    Reply request(std::string_view pathAndQuery) const;

    // GET that must succeed: the body of a 200 answer. Any other outcome
    // fails the current test with the reason and returns an empty string.
    std::string get(std::string_view pathAndQuery) const;

    // Percent-encodes one query value (its UTF-8 bytes).
    static std::string encode(std::string_view value);

    // The users connected now, from /users.
    std::vector<std::string> users() const;

    // The request record, one JSON text per request, oldest first.
    std::vector<std::string> requestLines() const;

    // Polls /users until `user` is listed (or, with present false, no longer
    // listed). False when the time runs out.
    bool waitForUser(std::string_view user, bool present = true,
                     std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;

private:
    std::uint16_t port_;
};

}  // namespace VelmorTest
