// Upgrade checks; see upgrade_request.h.
#include "upgrade_request.h"

#include "text_rules.h"

namespace VelmorServer {

UpgradeDecision decideUpgrade(bool isGet, bool isUpgrade, std::string_view target)
{
    const std::size_t question = target.find('?');
    const std::string_view path = target.substr(0, question);
    const std::string_view query =
        question == std::string_view::npos ? std::string_view() : target.substr(question + 1);

    if (path != kServicePath) return {404, "Not found. The chat service is at /websocket?user=NAME.", {}};
    if (!isGet) return {405, "Only GET can open the chat service.", {}};
    if (!isUpgrade) return {426, "This address only accepts WebSocket connections.", {}};

    const auto parameters = parseQuery(query);
    if (!parameters) return {400, "The query is not correctly percent-encoded.", {}};
    const std::string* user = nullptr;
    for (const auto& parameter : *parameters) {
        if (parameter.name != "user") continue;
        if (user) return {400, "The query names more than one user.", {}};
        user = &parameter.value;
    }
    if (!user || user->empty()) return {400, "Missing user name: connect to /websocket?user=NAME.", {}};
    if (std::string problem = nameProblem(*user, "user name"); !problem.empty()) return {400, problem, {}};
    return {0, {}, *user};
}

}  // namespace VelmorServer
