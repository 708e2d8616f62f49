// What a request handler gives back: a whole answer built at once (the connection sends it and
// closes), or word that the connection goes on or has been handed to a session.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace orvanta::engine {

class StatsReader;

// The v1 source port's one-line answers besides OK2. Both are refusals for the log.
inline constexpr char kIcyLoginRefused[] = "invalid password\r\n";
// v1 has no word for "in use": any answer but OK is a refusal to every encoder, and this one
// tells the truth (butt, for one, retries quietly instead of reporting a wrong password).
inline constexpr char kIcyStreamInUse[] = "Stream in use\r\n";
// Why a source login is refused, for the log, while the operator keeps its address off the air.
inline constexpr char kSourceRefusedForAWhile[] =
    "a source login from an address the operator refuses for a while";

struct Reply {
    Reply(std::string answer, std::string reason = {})
        : text(std::move(answer)), why(std::move(reason)) {}

    // The status line, the headers and the body, or a v1 line.
    std::string text;
    // A body kept elsewhere and shared by every client that asks (an HLS segment, an ASF
    // stream's header): it goes out after `text` from where it is kept, never copied.
    std::shared_ptr<const std::string> body;
    // What a refusal's log line adds to what the answer itself says.
    std::string why;
    // The answer is a normal step of a protocol (a challenge, a probe): no log line.
    bool quiet = false;
};

// The log line of a refused request (`what`: the request, as the log may show it): the answer's
// first line and why. "" when the answer is no refusal, or a quiet one.
std::string RefusalLine(std::string_view what, const Reply& reply);

// `reply` marked as a normal step of a protocol.
inline Reply Quiet(Reply reply) {
    reply.quiet = true;
    return reply;
}

struct Outcome {
    enum class Kind {
        Answer,      // send `reply` and close
        Continue,    // send `reply.text` and read on (OK2 before a v1 login's header block)
        HandedOver,  // a listener or source session has taken the connection
        Close,       // close without a word (the reason is in the log)
        // (a POST's handler only) check `secret` against the stored hash `reply.text` off the
        // event loop, then run the handler again with the verdict in
        // RequestContext::passwordChecked
        CheckPassword,
        // run `report` off the event loop, on a thread with a reader of the statistics of its
        // own, and send the answer it makes (a query over months of statistics takes a while)
        Report,
    };

    Outcome(Reply answer) : reply(std::move(answer)) {}
    static Outcome HandedOver() { return Outcome(Kind::HandedOver); }
    static Outcome Close() { return Outcome(Kind::Close); }
    static Outcome CheckPassword(std::string storedHash, std::string password) {
        Outcome outcome{Reply(std::move(storedHash))};
        outcome.kind = Kind::CheckPassword;
        outcome.secret = std::move(password);
        return outcome;
    }
    static Outcome Report(std::function<Reply(StatsReader&)> job) {
        Outcome outcome{Reply(std::string())};
        outcome.kind = Kind::Report;
        outcome.report = std::move(job);
        return outcome;
    }
    static Outcome Continue(std::string text) {
        Outcome outcome{Reply(std::move(text))};
        outcome.kind = Kind::Continue;
        return outcome;
    }

    Kind kind = Kind::Answer;
    Reply reply;
    std::string secret;  // CheckPassword's password, never logged
    std::function<Reply(StatsReader&)> report;

private:
    explicit Outcome(Kind k) : kind(k), reply(std::string()) {}
};

}  // namespace orvanta::engine
