// Control requests; see control_api.h and the list in server/README.md.
#include "control_api.h"

#include "json_writer.h"
#include "text_rules.h"

#include <charconv>
#include <map>
#include <optional>

namespace VelmorServer {

namespace {

constexpr std::string_view kLargePrefix = R"({"type":"large_message","padding":")";
constexpr std::string_view kLargeSuffix = R"("})";

class Arguments {
public:
    explicit Arguments(const std::vector<QueryParameter>& parameters)
    {
        for (const auto& parameter : parameters) values_[parameter.name] = parameter.value;
    }

    const std::string* find(const std::string& name) const
    {
        const auto found = values_.find(name);
        return found == values_.end() ? nullptr : &found->second;
    }

    std::optional<std::uint64_t> number(const std::string& name) const
    {
        const std::string* text = find(name);
        if (!text || text->empty()) return std::nullopt;
        std::uint64_t value = 0;
        const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
        if (error != std::errc() || end != text->data() + text->size()) return std::nullopt;
        return value;
    }

    bool flag(const std::string& name) const
    {
        const std::string* text = find(name);
        return text && (*text == "1" || *text == "true");
    }

private:
    std::map<std::string, std::string> values_;
};

ControlReply ok(std::string body = "ok") { return {200, std::move(body)}; }
ControlReply bad(std::string reason) { return {400, std::move(reason)}; }

// The close code and reason of /close and of the close_after_handshake fault.
std::optional<ControlReply> readClose(const Arguments& arguments, std::uint16_t& code, std::string& reason)
{
    const auto number = arguments.number("code");
    if (!number) return bad("code must be a close status number");
    if (!isSendableCloseCode(static_cast<unsigned>(*number)) || *number > 4999)
        return bad("code " + std::to_string(*number) + " cannot be sent in a close frame");
    const std::string* text = arguments.find("reason");
    reason = text ? *text : std::string();
    if (reason.size() > kMaxCloseReasonBytes) return bad("reason is longer than 123 bytes");
    if (!isValidUtf8(reason)) return bad("reason is not valid UTF-8");
    code = static_cast<std::uint16_t>(*number);
    return std::nullopt;
}

ControlReply setFault(const Arguments& arguments, ControlTarget& server)
{
    const std::string* name = arguments.find("name");
    if (!name) return bad("name is missing");
    Faults& faults = server.faults();
    if (*name == "refuse_upgrade") {
        const auto status = arguments.number("status");
        if (!status || *status < 200 || *status > 599) return bad("status must be an HTTP status from 200 to 599");
        faults.refuseUpgradeStatus = static_cast<unsigned>(*status);
    } else if (*name == "delay_upgrade") {
        const auto ms = arguments.number("ms");
        if (!ms || *ms > 600000) return bad("ms must be a number of milliseconds up to 600000");
        faults.delayUpgradeMs = static_cast<unsigned>(*ms);
    } else if (*name == "trickle_upgrade") {
        const auto ms = arguments.number("ms");
        if (!ms || *ms > kMaxTrickleMs) return bad("ms must be a number of milliseconds up to 100");
        faults.trickleUpgradeMs = static_cast<unsigned>(*ms);
    } else if (*name == "wrong_accept") {
        faults.wrongAccept = true;
    } else if (*name == "ignore_pings") {
        faults.ignorePings = true;
    } else if (*name == "untrusted_cert") {
        if (!server.untrustedCertificateLoaded()) return bad("the untrusted certificate could not be loaded at start-up");
        faults.untrustedCert = true;
    } else if (*name == "withhold_dm_sent") {
        faults.withholdDmSent = true;
        faults.delayDmSentMs = 0;
    } else if (*name == "delay_dm_sent") {
        const auto ms = arguments.number("ms");
        if (!ms || *ms > 600000) return bad("ms must be a number of milliseconds up to 600000");
        faults.delayDmSentMs = static_cast<unsigned>(*ms);
        faults.withholdDmSent = false;
    } else if (*name == "withhold_moderation") {
        faults.withholdModeration = true;
    } else if (*name == "close_after_handshake") {
        std::uint16_t code = 0;
        std::string reason;
        if (auto refused = readClose(arguments, code, reason)) return *refused;
        faults.closeAfterHandshake = true;
        faults.closeCode = code;
        faults.closeReason = std::move(reason);
    } else {
        return bad("unknown fault: " + *name);
    }
    return ok();
}

ControlReply send(const Arguments& arguments, const std::string& user, ControlTarget& server)
{
    const std::string* text = arguments.find("text");
    if (!text) return bad("text is missing");
    InjectedMessage message;
    message.payload = *text;
    message.binary = arguments.flag("binary");
    message.pingBetween = arguments.flag("ping_between");
    if (arguments.find("fragments")) {
        const auto fragments = arguments.number("fragments");
        if (!fragments || *fragments < 1 || *fragments > kMaxFragments) return bad("fragments must be from 1 to 10000");
        message.fragments = static_cast<unsigned>(*fragments);
    }
    // Sent unchanged, even as invalid UTF-8: a test may want to see the
    // client fail the connection for it.
    if (!server.sendTo(user, std::move(message))) return bad("no open connection for user " + user);
    return ok();
}

}  // namespace

bool isSendableCloseCode(unsigned code)
{
    return (code >= 1000 && code <= 1003) || (code >= 1007 && code <= 1014) || (code >= 3000 && code <= 4999);
}

std::string largeMessage(std::size_t bytes)
{
    const std::size_t frame = kLargePrefix.size() + kLargeSuffix.size();
    if (bytes < frame) return {};
    std::string text;
    text.reserve(bytes);
    text += kLargePrefix;
    text.append(bytes - frame, 'x');
    text += kLargeSuffix;
    return text;
}

ControlReply handleControlRequest(bool isGet, std::string_view target, ControlTarget& server)
{
    if (!isGet) return {405, "only GET is supported"};
    const std::size_t question = target.find('?');
    const std::string_view path = target.substr(0, question);
    const auto parameters =
        parseQuery(question == std::string_view::npos ? std::string_view() : target.substr(question + 1));
    if (!parameters) return bad("the query is not correctly percent-encoded");
    const Arguments arguments(*parameters);

    if (path == "/health") return ok();
    if (path == "/reset") {
        server.reset();
        return ok();
    }
    if (path == "/requests") return ok(server.requestRecord());
    if (path == "/users") return ok(jsonTextArray(server.connectedUsers()));
    if (path == "/fault") return setFault(arguments, server);
    if (path == "/clear_faults") {
        server.faults() = Faults{};
        return ok();
    }

    // The rest act on one connected user.
    const std::string* user = arguments.find("user");
    if (path != "/send" && path != "/send_large" && path != "/drop_mid_frame" && path != "/close" && path != "/drop" &&
        path != "/pings")
        return {404, "unknown control request: " + std::string(path)};
    if (!user || user->empty()) return bad("user is missing");

    if (path == "/pings") return ok(std::to_string(server.pingsFrom(*user)));
    if (path == "/send") return send(arguments, *user, server);
    if (path == "/send_large" || path == "/drop_mid_frame") {
        const auto bytes = arguments.number("bytes");
        if (!bytes || *bytes > kMaxLargeMessageBytes) return bad("bytes must be a size up to 64 MiB");
        InjectedMessage message;
        message.dropHalfway = path == "/drop_mid_frame";
        message.payload = largeMessage(static_cast<std::size_t>(*bytes));
        if (message.payload.empty()) return bad("bytes is smaller than the smallest JSON message with padding");
        if (!server.sendTo(*user, std::move(message))) return bad("no open connection for user " + *user);
        return ok();
    }
    if (path == "/close") {
        std::uint16_t code = 0;
        std::string reason;
        if (auto refused = readClose(arguments, code, reason)) return *refused;
        if (!server.closeUser(*user, code, std::move(reason))) return bad("no open connection for user " + *user);
        return ok();
    }
    if (!server.dropUser(*user)) return bad("no open connection for user " + *user);
    return ok();
}

}  // namespace VelmorServer
