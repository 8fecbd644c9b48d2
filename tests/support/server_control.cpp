// WinHTTP client of the local server's control interface; see server_control.h.
#include "support/server_control.h"

#include "json/json_value.h"
#include "platform/unique_handle.h"

#include <gtest/gtest.h>
#include <winhttp.h>

#include <algorithm>
#include <thread>

namespace VelmorTest {

namespace {

using UniqueInternetHandle = Velmor::UniqueHandle<Velmor::NullHandleTraits<HINTERNET, &::WinHttpCloseHandle>>;

std::wstring failure(const wchar_t* function)
{
    return std::wstring(L"WinHTTP ") + function + L" failed (" + std::to_wstring(::GetLastError()) + L")";
}

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }  // ASCII texts only

}  // namespace

ServerControl::Reply ServerControl::request(std::string_view pathAndQuery) const
{
    Reply reply;
    UniqueInternetHandle session(::WinHttpOpen(L"VelmorTest/1.0", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                               WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) {
        reply.error = failure(L"WinHttpOpen");
        return reply;
    }
    ::WinHttpSetTimeouts(session.get(), 5000, 5000, 10000, 30000);
    UniqueInternetHandle connection(::WinHttpConnect(session.get(), L"127.0.0.1", port_, 0));
    if (!connection) {
        reply.error = failure(L"WinHttpConnect");
        return reply;
    }
    // The caller encodes the query; WinHTTP must send it exactly as given.
    const std::wstring path(pathAndQuery.begin(), pathAndQuery.end());
    UniqueInternetHandle request(::WinHttpOpenRequest(connection.get(), L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                                      WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                      WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY));
    if (!request) {
        reply.error = failure(L"WinHttpOpenRequest");
        return reply;
    }
    if (!::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
        reply.error = failure(L"WinHttpSendRequest") + L": is the local server running with its control port?";
        return reply;
    }
    if (!::WinHttpReceiveResponse(request.get(), nullptr)) {
        reply.error = failure(L"WinHttpReceiveResponse");
        return reply;
    }
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
        reply.error = failure(L"WinHttpQueryHeaders");
        return reply;
    }
    for (;;) {
        DWORD available = 0;
        if (!::WinHttpQueryDataAvailable(request.get(), &available)) {
            reply.error = failure(L"WinHttpQueryDataAvailable");
            return reply;
        }
        if (available == 0) break;
        const std::size_t offset = reply.body.size();
        reply.body.resize(offset + available);
        DWORD read = 0;
        if (!::WinHttpReadData(request.get(), reply.body.data() + offset, available, &read)) {
            reply.error = failure(L"WinHttpReadData");
            return reply;
        }
        reply.body.resize(offset + read);
    }
    reply.answered = true;
    reply.status = status;
    return reply;
}

std::string ServerControl::get(std::string_view pathAndQuery) const
{
    const Reply reply = request(pathAndQuery);
    if (!reply.answered) {
        ADD_FAILURE() << "the local server's control interface did not answer GET " << pathAndQuery << ": "
                      << narrow(reply.error);
        return {};
    }
    if (reply.status != 200) {
        ADD_FAILURE() << "GET " << pathAndQuery << " was answered " << reply.status << ": " << reply.body;
        return {};
    }
    return reply.body;
}

std::string ServerControl::encode(std::string_view value)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.' || c == '_' || c == '~';
        if (plain) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::vector<std::string> ServerControl::users() const
{
    std::vector<std::string> names;
    const auto parsed = Velmor::parseJsonDocument(get("/users"));
    if (parsed)
        for (const auto& item : parsed->arrayItems) names.push_back(item.asText(""));
    return names;
}

std::vector<std::string> ServerControl::requestLines() const
{
    std::vector<std::string> lines;
    const std::string record = get("/requests");
    std::size_t start = 0;
    while (start < record.size()) {
        const std::size_t end = std::min(record.find('\n', start), record.size());
        if (end > start) lines.push_back(record.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool ServerControl::waitForUser(std::string_view user, bool present, std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        const auto names = users();
        if ((std::find(names.begin(), names.end(), user) != names.end()) == present) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

}  // namespace VelmorTest
