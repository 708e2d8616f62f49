#include "engine/login_check.h"

#include "base/ascii.h"
#include "engine/http_reply.h"

#include <algorithm>

namespace orvanta::engine {

std::optional<Reply> HeldBack(const RequestContext& context, RequestActions& actions,
                              std::string refusal) {
    const LoginGuard::Hold hold = actions.HeldFor();
    if (hold.wait.count() == 0) {
        return std::nullopt;
    }
    const std::string why = hold.own ? std::to_string(hold.failures) + " wrong passwords in a row"
                                     : "too many wrong passwords from everywhere";
    actions.LogHold("after " + why + ", refused " + context.address + " for " +
                    std::to_string(hold.wait.count()) + " s");
    return Quiet(Reply(std::move(refusal)));
}

void WrongPassword(const RequestContext& context, RequestActions& actions) {
    const LoginGuard::Verdict verdict = actions.Failed();
    if (verdict.newlyHeld) {
        actions.LogHold("after " + std::to_string(verdict.failures) +
                        " wrong passwords in a row from " + context.address + ", held for " +
                        std::to_string(verdict.hold.count()) + " s");
    }
    if (!verdict.networkHeld.empty()) {
        actions.LogHold("after many wrong passwords from " + verdict.networkHeld +
                        ": its new addresses wait for the station-wide budget");
    }
}

std::string TooManyAttempts(const RequestActions& actions) {
    const auto wait = actions.HeldFor().wait;
    return PlainError(
        429, "Too Many Requests",
        "Retry-After: " + std::to_string(std::max<int64_t>(wait.count(), 1)) + "\r\n");
}

std::string_view BearerToken(const Request& request) {
    const std::string* header = request.Find("Authorization");
    constexpr std::string_view kScheme = "Bearer ";
    if (header == nullptr || header->size() <= kScheme.size() ||
        !EqualsIgnoreCase(std::string_view(*header).substr(0, kScheme.size()), kScheme)) {
        return {};
    }
    return std::string_view(*header).substr(kScheme.size());
}

std::string BasicChallenge(const std::string& realm) {
    return "WWW-Authenticate: Basic realm=\"" + HeaderSafe(realm) + "\"\r\n";
}

std::optional<Reply> SourceRefusal(const Request& request, const RequestContext& context,
                                   RequestActions& actions, const std::string& extraHeaders) {
    const std::string& password = context.settings.sourcePassword;
    const std::string* authorization = request.Find("Authorization");
    if (authorization == nullptr) {
        return Quiet(
            Reply(PlainError(401, "Unauthorized", BasicChallenge(kServerName) + extraHeaders)));
    }
    if (auto held = HeldBack(context, actions, TooManyAttempts(actions))) {
        return held;
    }
    const auto credentials = ParseBasicAuth(*authorization);
    // One password for the station: any user name goes with it ("source" by convention).
    if (password.empty() || !credentials || !ConstantTimeEquals(credentials->password, password)) {
        WrongPassword(context, actions);
        return Reply(PlainError(401, "Unauthorized", BasicChallenge(kServerName) + extraHeaders),
                     "wrong password");
    }
    actions.Succeeded();
    return std::nullopt;
}

std::optional<Reply> PrivateListenerRefusal(const Request& request, const RequestContext& context,
                                            RequestActions& actions) {
    const std::string challenge = BasicChallenge(actions.Snapshot().name);
    const std::string* authorization = request.Find("Authorization");
    if (authorization == nullptr) {
        // Players ask without credentials first; the challenge is the normal answer.
        return Quiet(Reply(PlainError(401, "Unauthorized", challenge)));
    }
    if (auto held = HeldBack(context, actions, TooManyAttempts(actions))) {
        return held;
    }
    const auto credentials = ParseBasicAuth(*authorization);
    const auto& users = context.settings.privateUsers;
    const auto it = credentials ? users.find(credentials->user) : users.end();
    if (it == users.end() || !ConstantTimeEquals(credentials->password, it->second)) {
        WrongPassword(context, actions);
        return Reply(PlainError(401, "Unauthorized", challenge), "wrong user name or password");
    }
    actions.Succeeded();
    return std::nullopt;
}

}  // namespace orvanta::engine
