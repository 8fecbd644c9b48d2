// The server's command line: defaults, both option forms, and the test-only
// time limits that let protocol tests see the limits act without waiting.
#include "server_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace VelmorServer;
using namespace std::chrono_literals;

namespace {

ParsedOptions parse(const std::vector<std::string>& arguments) { return parseOptions(arguments, "/certs"); }

TEST(ServerOptions, DefaultsAreTheDocumentedOnes)
{
    const ParsedOptions parsed = parse({});
    ASSERT_TRUE(parsed.options) << parsed.error;
    const ServerOptions& options = *parsed.options;
    EXPECT_EQ(options.address, "127.0.0.1");
    EXPECT_EQ(options.port, 443);
    EXPECT_EQ(options.certFile, "/certs/server.crt");
    EXPECT_EQ(options.untrustedKeyFile, "/certs/untrusted/server.key");
    EXPECT_EQ(options.controlPort, 0);
    EXPECT_EQ(options.timeLimits.handshake, 10s);
    EXPECT_EQ(options.timeLimits.idle, 120s);
    EXPECT_EQ(options.timeLimits.shutdownGrace, 2s);
}

TEST(ServerOptions, TestTimeLimitsAreParsedButNotAdvertised)
{
    const ParsedOptions parsed = parse({"--port=0", "--test-handshake-timeout-ms", "250", "--test-idle-timeout-ms=600",
                                        "--test-shutdown-grace-ms", "300", "--quiet"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    EXPECT_EQ(parsed.options->port, 0);
    EXPECT_EQ(parsed.options->timeLimits.handshake, 250ms);
    EXPECT_EQ(parsed.options->timeLimits.idle, 600ms);
    EXPECT_EQ(parsed.options->timeLimits.shutdownGrace, 300ms);
    EXPECT_TRUE(parsed.options->quiet);
    EXPECT_EQ(usageText().find("--test-"), std::string::npos);

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--test-idle-timeout-ms", "0"}, {"--test-idle-timeout-ms=3600001"},
          {"--test-handshake-timeout-ms", "1.5"}, {"--test-shutdown-grace-ms"}, {"--port", "65536"}, {"--demo=1"},
          {"--bogus"}}) {
        const ParsedOptions refused = parse(bad);
        EXPECT_FALSE(refused.options) << bad.front();
        EXPECT_FALSE(refused.error.empty()) << bad.front();
    }
}

}  // namespace
