// The server's command line.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace VelmorServer {

// The connection time limits. Tests shorten them with options that --help
// does not list, so that they need not wait minutes to see them act.
inline constexpr std::chrono::seconds kHandshakeTimeout{10};  // TLS and the HTTP upgrade; also the closing handshake
inline constexpr std::chrono::seconds kIdleTimeout{120};      // silence after the upgrade; a ping frame at half of it
inline constexpr std::chrono::seconds kShutdownGrace{2};      // for peers to answer the close frame at shutdown

struct TimeLimits {
    std::chrono::milliseconds handshake = kHandshakeTimeout;
    std::chrono::milliseconds idle = kIdleTimeout;
    std::chrono::milliseconds shutdownGrace = kShutdownGrace;
};

struct ServerOptions {
    std::string address = "127.0.0.1";
    std::uint16_t port = 443;                 // 0: any free port (the "listening" line tells which)
    std::string certFile;
    std::string keyFile;
    std::string untrustedCertFile;
    std::string untrustedKeyFile;
    std::uint16_t controlPort = 0;            // 0: no control interface
    std::string recordFile;                   // empty: no file record
    bool demo = false;
    bool quiet = false;
    TimeLimits timeLimits;
};

struct ParsedOptions {
    std::optional<ServerOptions> options;     // empty on error or after --help
    std::string error;
    bool help = false;
};

// `certsDir` supplies the certificate defaults (the repository's certs/).
ParsedOptions parseOptions(const std::vector<std::string>& arguments, std::string_view certsDir);

std::string usageText();

}  // namespace VelmorServer
