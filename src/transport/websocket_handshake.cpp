#include "transport/websocket_handshake.h"

#include "transport/base64.h"

namespace VelmorTransport {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kHeaderEnd = "\r\n\r\n";

// Host and path go into the request verbatim, so a blank or control byte
// would let them end the request line or add header lines of their own.
bool fitsRequestLine(std::string_view text)
{
    if (text.empty()) return false;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F) return false;
    }
    return true;
}

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string_view trimHeaderBlanks(std::string_view text)
{
    constexpr std::string_view kBlanks = " \t\r\n";
    const std::size_t begin = text.find_first_not_of(kBlanks);
    if (begin == std::string_view::npos) return {};
    const std::size_t end = text.find_last_not_of(kBlanks);
    return text.substr(begin, end - begin + 1);
}

bool equalsLowered(std::string_view text, std::string_view lowered)
{
    if (text.size() != lowered.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (lowerAscii(text[i]) != lowered[i]) return false;
    }
    return true;
}

std::wstring widenBytes(std::string_view bytes)
{
    std::wstring wide;
    wide.reserve(bytes.size());
    for (const char c : bytes) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return wide;
}

// Reads until the blank line that ends the response headers. On success
// headerEnd is the offset of that "\r\n\r\n".
bool readResponse(const ReadFunction& read, std::string& response, std::size_t& headerEnd, std::wstring& error)
{
    std::size_t searchFrom = 0;
    for (;;) {
        const std::size_t before = response.size();
        response.resize(before + kHandshakeReadBytes);
        std::size_t count = 0;
        if (!read(response.data() + before, kHandshakeReadBytes, count, error)) return false;
        response.resize(before + count);
        if (count == 0) {
            error = L"The server closed during the WebSocket handshake.";
            return false;
        }
        headerEnd = response.find(kHeaderEnd, searchFrom);
        if (headerEnd != std::string::npos) return true;
        if (response.size() >= kMaxHandshakeResponseBytes) {
            error = L"The WebSocket handshake response was too large or incomplete.";
            return false;
        }
        // The blank line may straddle two reads.
        searchFrom = response.size() >= kHeaderEnd.size() - 1 ? response.size() - (kHeaderEnd.size() - 1) : 0;
    }
}

}  // namespace

std::string buildHandshakeRequest(std::string_view hostUtf8, std::string_view pathUtf8, std::string_view key)
{
    std::string request;
    request.reserve(160 + hostUtf8.size() + pathUtf8.size());
    request.append("GET ").append(pathUtf8).append(" HTTP/1.1\r\n");
    request.append("Host").append(": ").append(hostUtf8).append(kLineEnd);
    request.append("Upgrade: websocket\r\n");
    request.append("Connection: Upgrade\r\n");
    request.append("Sec-WebSocket-Key").append(": ").append(key).append(kLineEnd);
    request.append("Sec-WebSocket-Version: 13\r\n");
    request.append("User-Agent: VelmorChatClient/1.0\r\n");
    request.append(kLineEnd);
    return request;
}

bool computeAcceptValue(std::string_view key, const Sha1Function& sha1, std::string& accept)
{
    std::string input(key);
    input.append(kWebSocketGuid);
    std::string digest;
    if (!sha1 || !sha1(input, digest) || digest.size() != 20) return false;
    accept = base64Encode(digest);
    return true;
}

bool findHeader(std::string_view headerBlock, std::string_view name, std::string& value)
{
    std::string wanted(name);
    for (char& c : wanted) c = lowerAscii(c);

    std::size_t lineStart = headerBlock.find(kLineEnd);
    if (lineStart == std::string_view::npos) return false;
    lineStart += kLineEnd.size();
    for (;;) {
        const std::size_t lineEnd = headerBlock.find(kLineEnd, lineStart);
        if (lineEnd == std::string_view::npos || lineEnd == lineStart) return false;
        const std::string_view line = headerBlock.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + kLineEnd.size();
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        if (equalsLowered(trimHeaderBlanks(line.substr(0, colon)), wanted)) {
            value = std::string(trimHeaderBlanks(line.substr(colon + 1)));
            return true;
        }
    }
}

bool isSwitchingProtocolsStatus(std::string_view statusLine)
{
    // "HTTP/1.1 101 Switching Protocols" or "HTTP/1.1 101": the code is the
    // token after the version, so a reason phrase that happens to hold " 101 "
    // does not pass.
    const std::size_t space = statusLine.find(' ');
    if (space == std::string_view::npos) return false;
    const std::string_view rest = statusLine.substr(space + 1);
    return rest.substr(0, 3) == "101" && (rest.size() == 3 || rest[3] == ' ');
}

bool performClientHandshake(std::string_view hostUtf8, std::string_view pathUtf8, const HandshakeFunctions& io,
                            std::string& pending, std::wstring& error)
{
    error.clear();
    unsigned char keyBytes[kHandshakeKeyBytes] = {};
    if (!io.random || !io.random(keyBytes, sizeof keyBytes)) {
        error = L"Could not generate a secure WebSocket handshake key.";
        return false;
    }
    const std::string key = base64Encode(std::string_view(reinterpret_cast<const char*>(keyBytes), sizeof keyBytes));

    if (!fitsRequestLine(pathUtf8) || !fitsRequestLine(hostUtf8)) {
        error = L"The WebSocket request path is invalid.";
        return false;
    }
    if (!io.write(buildHandshakeRequest(hostUtf8, pathUtf8, key), error)) return false;

    std::string response;
    std::size_t headerEnd = 0;
    if (!readResponse(io.read, response, headerEnd, error)) return false;

    const std::string_view headerBlock = std::string_view(response).substr(0, headerEnd + kLineEnd.size());
    const std::string_view statusLine = headerBlock.substr(0, headerBlock.find(kLineEnd));
    if (!isSwitchingProtocolsStatus(statusLine)) {
        error = L"The server rejected the WebSocket upgrade: " + widenBytes(statusLine);
        return false;
    }

    std::string expected;
    if (!computeAcceptValue(key, io.sha1, expected)) {
        error = L"Could not validate the WebSocket handshake.";
        return false;
    }
    std::string accept;
    if (!findHeader(headerBlock, "Sec-WebSocket-Accept", accept) || accept != expected) {
        error = L"The server returned an invalid WebSocket handshake signature.";
        return false;
    }

    pending.append(response, headerEnd + kHeaderEnd.size());
    return true;
}

}  // namespace VelmorTransport
