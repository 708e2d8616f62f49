// SHOUTcast v1 sources: the password line, then OK2 at once (clients that pipeline their
// headers have sent them already; the rest wait for it), then the header block.
#include "engine/handlers/handlers.h"
#include "engine/log.h"
#include "engine/login_check.h"
#include "stream/format_table.h"

namespace orvanta::engine {

namespace {

constexpr const char kIcyLoginOk[] = "OK2\r\nicy-caps:11\r\n\r\n";

}  // namespace

Outcome V1Login(const std::string& line, const RequestContext& context, RequestActions& actions) {
    const EngineSettings& settings = context.settings;
    // libshout probes before every real login: refused, as it expects, and neither counted
    // against the address nor logged.
    if (IsPokeProbe(line)) {
        return Quiet(Reply(kIcyLoginRefused));
    }
    // Before the password, as on the listen port. v1 has no other word for no: encoders stop
    // retrying at it, which is what the operator wants of one put off the air.
    if (actions.SourceRefused()) {
        return Reply(kIcyLoginRefused, kSourceRefusedForAWhile);
    }
    if (IsGarbageLoginLine(line, settings.sourcePassword)) {
        return Reply(kIcyLoginRefused, "not a login line: empty or control bytes");
    }
    if (auto held = HeldBack(context, actions, kIcyLoginRefused)) {
        return *held;
    }
    if (!IcyPasswordMatches(line, settings.sourcePassword)) {
        WrongPassword(context, actions);
        return Reply(kIcyLoginRefused, "wrong password");
    }
    actions.Succeeded();
    if (context.hasSource) {
        return Reply(kIcyStreamInUse, "a source is on air already");
    }
    return Outcome::Continue(kIcyLoginOk);
}

Outcome V1LoginHeaders(const std::vector<Header>& headers, const RequestContext& context,
                       RequestActions& actions) {
    SourceInfo info = SourceInfoFromHeaders(headers);
    const StreamFormat format =
        info.contentType.empty() ? StreamFormat::Mp3 : FormatFromContentType(info.contentType);
    if (!context.settings.AcceptsSource(format)) {
        actions.LogRefusal("source login: content type " + LogSafe(info.contentType) +
                           " not supported");
        return Outcome::Close();
    }
    actions.StartSource("", format, std::move(info), "/", false);
    return Outcome::HandedOver();
}

}  // namespace orvanta::engine
