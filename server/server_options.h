// The server's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace VelmorServer {

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
