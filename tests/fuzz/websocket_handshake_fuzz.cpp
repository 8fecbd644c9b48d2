// Fuzzes the client's reading of the server's answer to the upgrade request
// (performClientHandshake with the RFC 6455 sample key), read whole, in pieces
// the input chooses and one byte at a time. The verdict must match a plain
// reading written out below: the header block ends at the first blank line,
// its status code is 101, and its first Sec-WebSocket-Accept header (name in
// any letter case, value without surrounding blanks) is the sample accept
// value. Bytes behind the blank line come back as pending, exactly as sent.
// findHeader and isSwitchingProtocolsStatus also get the raw input.
//
// Input: one piece-size byte, then the response.
#include "fuzz_check.h"
#include "transport/scripted_stream.h"
#include "transport/websocket_handshake.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

using namespace VelmorTransport;

namespace {

constexpr char kSampleNonce[] = "the sample nonce";
constexpr std::string_view kSampleKey = "dGhlIHNhbXBsZSBub25jZQ==";
constexpr std::string_view kSampleAccept = "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=";
constexpr std::string_view kHost = "localhost";
constexpr std::string_view kPath = "/websocket?user=Fuzz";

struct Run {
    bool ok = false;
    std::wstring error;
    std::string pending;
};

Run handshake(const std::string& response, const std::vector<std::size_t>& cuts)
{
    VelmorTest::ScriptedStream stream(response, cuts);
    std::string written;
    HandshakeFunctions io;
    io.random = [](unsigned char* buffer, std::size_t size) {
        if (size != 16) return false;
        std::memcpy(buffer, kSampleNonce, 16);
        return true;
    };
    io.sha1 = VelmorTest::sha1Digest;
    io.write = [&](std::string_view bytes, std::wstring&) {
        written.append(bytes);
        return true;
    };
    io.read = stream.reader();
    Run run;
    run.ok = performClientHandshake(kHost, kPath, io, run.pending, run.error);
    FUZZ_CHECK(written == buildHandshakeRequest(kHost, kPath, kSampleKey));
    FUZZ_CHECK(run.ok == run.error.empty());
    FUZZ_CHECK(stream.delivered <= response.size());
    return run;
}

std::string lowered(std::string_view text)
{
    std::string out(text);
    for (char& c : out) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return out;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && std::strchr(" \t\r\n", text.front()) && text.front() != '\0') text.remove_prefix(1);
    while (!text.empty() && std::strchr(" \t\r\n", text.back()) && text.back() != '\0') text.remove_suffix(1);
    return text;
}

// The header lines of a block that starts with the status line, each line
// ended by CRLF, up to the first empty line.
std::vector<std::string_view> headerLines(std::string_view block)
{
    std::vector<std::string_view> lines;
    std::size_t start = block.find("\r\n");
    if (start == std::string_view::npos) return lines;
    for (start += 2;;) {
        const std::size_t end = block.find("\r\n", start);
        if (end == std::string_view::npos || end == start) return lines;
        lines.push_back(block.substr(start, end - start));
        start = end + 2;
    }
}

// The first header of this (lower-case) name, or nullopt.
std::optional<std::string> headerValue(std::string_view block, std::string_view name)
{
    for (const std::string_view line : headerLines(block)) {
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        if (lowered(trimmed(line.substr(0, colon))) == name) return std::string(trimmed(line.substr(colon + 1)));
    }
    return std::nullopt;
}

bool statusIs101(std::string_view statusLine)
{
    const std::size_t space = statusLine.find(' ');
    if (space == std::string_view::npos) return false;
    const std::string_view code = statusLine.substr(space + 1, 4);
    return code == "101" || code == "101 ";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    const std::size_t piece = std::max<std::size_t>(1, data[0]);
    const std::string response(reinterpret_cast<const char*>(data + 1), size - 1);

    // The plain reading (only for answers that fit the size limit whole).
    const std::size_t blank = response.find("\r\n\r\n");
    if (blank != std::string::npos && blank + 4 <= kMaxHandshakeResponseBytes) {
        const std::string_view block = std::string_view(response).substr(0, blank + 2);
        const std::string_view statusLine = block.substr(0, block.find("\r\n"));
        const bool expectedOk = statusIs101(statusLine) && headerValue(block, "sec-websocket-accept") == kSampleAccept;
        FUZZ_CHECK(isSwitchingProtocolsStatus(statusLine) == statusIs101(statusLine));

        std::vector<std::size_t> cuts;
        for (std::size_t at = piece; at < response.size(); at += piece) cuts.push_back(at);
        // Byte by byte only for short answers: each read costs a 4 KiB buffer.
        std::vector<std::size_t> bytewise;
        if (response.size() <= 512)
            for (std::size_t at = 1; at < response.size(); ++at) bytewise.push_back(at);
        for (const auto& plan : {std::vector<std::size_t>{}, cuts, bytewise}) {
            const Run run = handshake(response, plan);
            FUZZ_CHECK(run.ok == expectedOk);
            if (run.ok) FUZZ_CHECK(run.pending == response.substr(blank + 4, run.pending.size()));
            // Read a byte at a time, nothing behind the blank line has arrived yet.
            if (run.ok && !plan.empty() && plan.size() + 1 == response.size()) FUZZ_CHECK(run.pending.empty());
        }
    } else {
        // No blank line: the server closing (end of stream) fails the handshake.
        const Run run = handshake(response, {});
        FUZZ_CHECK(!run.ok);
    }

    // The header reader and status check on raw bytes: the name is the
    // input's first line, the block the whole input.
    const std::string_view raw(response);
    const std::string_view name = raw.substr(0, std::min(raw.find('\n'), raw.size()));
    std::string value = "unchanged";
    const bool found = findHeader(raw, name, value);
    const std::optional<std::string> expectedValue = headerValue(raw, lowered(name));
    FUZZ_CHECK(found == expectedValue.has_value());
    FUZZ_CHECK(found ? value == *expectedValue : value == "unchanged");
    isSwitchingProtocolsStatus(raw);
    return 0;
}
