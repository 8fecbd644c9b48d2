// Parses a realistic "users_list" message of 10,000 names over and over and
// reports the parser's throughput: 2 s of parsing by default, 30 s with
// --long. Run: build/native/bin/json_parse_bench [--long]
#include "bench_report.h"
#include "json/json_value.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace {

std::string makeUsersList(int names)
{
    // Names mix plain ASCII, accented and Arabic letters, escapes and emoji,
    // roughly as a community roster would.
    static const char* const kStems[] = {"Player", "Zo\\u00eb", "\xD8\xB3\xD8\xA7\xD9\x85\xD8\xB1",
                                         "Knight \\\"Lion\\\"", "\\ud83d\\ude00Smile", "archer_of_the_north"};
    std::string text = R"({"type":"users_list","users":[)";
    for (int i = 0; i < names; ++i) {
        if (i) text += ',';
        text += '"';
        text += kStems[i % 6];
        text += std::to_string(i);
        text += '"';
    }
    text += R"(],"recent_users":[)";
    for (int i = 0; i < 20; ++i) text += (i ? ",\"" : "\"") + std::string("Player") + std::to_string(i) + "\"";
    text += R"(],"online_count":)" + std::to_string(names) + "}";
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool longRun = Bench::hasFlag(argc, argv, "--long");
    const auto duration = std::chrono::seconds(longRun ? 30 : 2);
    Bench::say("json_parse_bench: %lld s of parsing (--long: 30 s)\n", static_cast<long long>(duration.count()));
    const std::string message = makeUsersList(10000);
    using Clock = std::chrono::steady_clock;

    // Warm up, and check the parse is real.
    const auto first = Velmor::parseJsonDocument(message);
    if (!first || first->member("users")->arrayItems.size() != 10000) {
        std::fprintf(stderr, "benchmark message did not parse\n");
        return 1;
    }

    Bench::Case parsing("parse a users_list of 10000 names (%zu bytes) for %lld s", message.size(),
                        static_cast<long long>(duration.count()));
    std::size_t iterations = 0;
    std::size_t checksum = 0;
    const auto start = Clock::now();
    auto elapsed = Clock::duration::zero();
    while (elapsed < duration) {
        const auto parsed = Velmor::parseJsonDocument(message);
        checksum += parsed->member("users")->arrayItems.size();
        ++iterations;
        elapsed = Clock::now() - start;
    }
    const double seconds = std::chrono::duration<double>(elapsed).count();
    const double megabytes = static_cast<double>(message.size()) * static_cast<double>(iterations) / 1e6;
    parsing.figure("parses: %zu in %.2f s (checksum %zu)", iterations, seconds, checksum);
    parsing.figure("per parse: %.3f ms", seconds * 1000.0 / static_cast<double>(iterations));
    parsing.end("throughput: %.1f MB/s", megabytes / seconds);
    return 0;
}
