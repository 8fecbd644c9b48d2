// Parses a realistic "users_list" message of 10,000 names over and over and
// reports the parser's throughput. Run: build/native/bin/json_parse_bench
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

int main()
{
    const std::string message = makeUsersList(10000);
    using Clock = std::chrono::steady_clock;

    // Warm up, and check the parse is real.
    const auto first = Velmor::parseJsonDocument(message);
    if (!first || first->member("users")->arrayItems.size() != 10000) {
        std::fprintf(stderr, "benchmark message did not parse\n");
        return 1;
    }

    std::size_t iterations = 0;
    std::size_t checksum = 0;
    const auto start = Clock::now();
    auto elapsed = Clock::duration::zero();
    while (elapsed < std::chrono::seconds(2)) {
        const auto parsed = Velmor::parseJsonDocument(message);
        checksum += parsed->member("users")->arrayItems.size();
        ++iterations;
        elapsed = Clock::now() - start;
    }
    const double seconds = std::chrono::duration<double>(elapsed).count();
    const double megabytes = static_cast<double>(message.size()) * static_cast<double>(iterations) / 1e6;
    std::printf("users_list of 10000 names: %zu bytes\n", message.size());
    std::printf("parses: %zu in %.2f s (checksum %zu)\n", iterations, seconds, checksum);
    std::printf("per parse: %.3f ms\n", seconds * 1000.0 / static_cast<double>(iterations));
    std::printf("throughput: %.1f MB/s\n", megabytes / seconds);
    return 0;
}
