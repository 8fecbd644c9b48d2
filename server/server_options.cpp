// Command-line parsing; see server_options.h.
#include "server_options.h"

#include <charconv>

namespace VelmorServer {

namespace {

// A whole decimal number from `low` to `high`, nothing else in `text`.
std::optional<unsigned> parseBounded(std::string_view text, unsigned low, unsigned high)
{
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) return std::nullopt;
    return value;
}

std::optional<std::uint16_t> parsePort(std::string_view text)
{
    const auto value = parseBounded(text, 0, 65535);
    if (!value) return std::nullopt;
    return static_cast<std::uint16_t>(*value);
}

// Milliseconds for the test-only time limits: 1 ms to one hour.
std::optional<std::chrono::milliseconds> parseMilliseconds(std::string_view text)
{
    const auto value = parseBounded(text, 1, 3600000);
    if (!value) return std::nullopt;
    return std::chrono::milliseconds(*value);
}

}  // namespace

std::string usageText()
{
    return "usage: velmor-server [options]\n"
           "  --address A              listen address [127.0.0.1]\n"
           "  --port P                 TLS WebSocket port, 0 for any free one [443]\n"
           "  --cert FILE --key FILE   server certificate and key [certs/server.crt, certs/server.key]\n"
           "  --untrusted-cert FILE --untrusted-key FILE\n"
           "                           certificate for the untrusted_cert fault [certs/untrusted/server.*]\n"
           "  --control-port P         plain HTTP control interface on 127.0.0.1, 0 for none [0]\n"
           "  --record FILE            append one JSON line per request received\n"
           "  --demo                   run the demo bots\n"
           "  --quiet                  print only the listening line and errors\n";
}

ParsedOptions parseOptions(const std::vector<std::string>& arguments, std::string_view certsDir)
{
    ServerOptions options;
    const std::string certs(certsDir);
    options.certFile = certs + "/server.crt";
    options.keyFile = certs + "/server.key";
    options.untrustedCertFile = certs + "/untrusted/server.crt";
    options.untrustedKeyFile = certs + "/untrusted/server.key";

    ParsedOptions result;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> inlineValue;
        if (const std::size_t equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos) {
            inlineValue = name.substr(equals + 1);
            name.resize(equals);
        }
        const auto value = [&]() -> std::optional<std::string> {
            if (inlineValue) return inlineValue;
            if (i + 1 < arguments.size()) return arguments[++i];
            return std::nullopt;
        };
        const auto fail = [&](const std::string& why) {
            result.error = why;
            return result;
        };

        if (name == "--help" || name == "-h") {
            result.help = true;
            return result;
        } else if (name == "--demo" || name == "--quiet") {
            if (inlineValue) return fail(name + " takes no value");
            (name == "--demo" ? options.demo : options.quiet) = true;
        } else if (name == "--port" || name == "--control-port") {
            const auto text = value();
            if (!text) return fail(name + " needs a port number");
            const auto port = parsePort(*text);
            if (!port) return fail(name + ": not a port number: " + *text);
            (name == "--port" ? options.port : options.controlPort) = *port;
        } else if (name == "--test-handshake-timeout-ms" || name == "--test-idle-timeout-ms" ||
                   name == "--test-shutdown-grace-ms") {
            // Not in the usage text: only tests shorten the time limits.
            const auto text = value();
            const auto limit = text ? parseMilliseconds(*text) : std::nullopt;
            if (!limit) return fail(name + " needs a number of milliseconds from 1 to 3600000");
            TimeLimits& limits = options.timeLimits;
            (name == "--test-handshake-timeout-ms" ? limits.handshake
             : name == "--test-idle-timeout-ms"    ? limits.idle
                                                   : limits.shutdownGrace) = *limit;
        } else if (name == "--address" || name == "--cert" || name == "--key" || name == "--untrusted-cert" ||
                   name == "--untrusted-key" || name == "--record") {
            const auto text = value();
            if (!text || text->empty()) return fail(name + " needs a value");
            std::string& target = name == "--address"          ? options.address
                                  : name == "--cert"           ? options.certFile
                                  : name == "--key"            ? options.keyFile
                                  : name == "--untrusted-cert" ? options.untrustedCertFile
                                  : name == "--untrusted-key"  ? options.untrustedKeyFile
                                                               : options.recordFile;
            target = *text;
        } else {
            return fail("unknown option: " + arguments[i]);
        }
    }
    result.options = options;
    return result;
}

}  // namespace VelmorServer
