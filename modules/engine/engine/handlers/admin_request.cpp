// Title updates from sources: SHOUTcast v1's /admin.cgi with the source password in the query,
// and Icecast-style /admin/metadata with Basic auth.
#include "engine/handlers/handlers.h"
#include "engine/http_reply.h"
#include "engine/login_check.h"
#include "stream/format_table.h"
#include "web/pages.h"

namespace orvanta::engine {

namespace {

// The title an update names: "song", or "artist" and "title" as Mixxx and libshout send them
// (libshout to either endpoint); nothing when it names none.
std::optional<std::string> SongOf(const std::vector<std::pair<std::string, std::string>>& query) {
    auto song = QueryValue(query, "song");
    if (song && !song->empty()) {
        return song;
    }
    const auto artist = QueryValue(query, "artist");
    const auto title = QueryValue(query, "title");
    if (!artist && !title) {
        return song;
    }
    const std::string a = artist.value_or("");
    const std::string t = title.value_or("");
    return a.empty() ? t : t.empty() ? a : a + " - " + t;
}

}  // namespace

Outcome AdminCgiRequest(const Request& request, const RequestContext& context,
                        RequestActions& actions) {
    const auto query = ParseQuery(request.query);
    const auto pass = QueryValue(query, "pass");
    // butt and Liquidsoap send the password unencoded, libshout encodes it: a password with
    // "+" or "%" in it matches in one of the two forms.
    const auto rawPass = RawQueryValue(request.query, "pass");
    if (!pass && !rawPass) {
        return Reply(PlainError(401, "Unauthorized"), "no password");
    }
    if (auto held = HeldBack(context, actions, TooManyAttempts(actions))) {
        return *held;
    }
    const std::string& password = context.settings.sourcePassword;
    const bool matches = !password.empty() && ((pass && ConstantTimeEquals(*pass, password)) ||
                                               (rawPass && ConstantTimeEquals(*rawPass, password)));
    if (!matches) {
        WrongPassword(context, actions);
        return Reply(PlainError(401, "Unauthorized"), "wrong password");
    }
    actions.Succeeded();
    const auto mode = QueryValue(query, "mode");
    const auto song = SongOf(query);
    if (!mode || *mode != "updinfo" || !song) {
        return Reply(PlainError(400, "Bad Request"));
    }
    actions.SetTitle(*song, QueryValue(query, "url").value_or(""));
    return Reply(Response(200, "OK", "text/html; charset=utf-8",
                          "<html><body>Update successful</body></html>\n", HtmlPageHeaders()));
}

Outcome AdminMetadataRequest(const Request& request, const RequestContext& context,
                             RequestActions& actions) {
    if (auto refusal = SourceRefusal(request, context, actions)) {
        return *refusal;
    }
    const auto query = ParseQuery(request.query);
    const auto mode = QueryValue(query, "mode");
    const std::string song = SongOf(query).value_or("");
    if (!mode || *mode != "updinfo") {
        return Reply(Response(400, "Bad Request", "text/xml",
                              "<?xml version=\"1.0\"?>\n<iceresponse><message>No such "
                              "action</message><return>0</return></iceresponse>\n"));
    }
    actions.SetTitle(song, QueryValue(query, "url").value_or(""));
    // A stream that carries its titles in its own comment headers, which the engine passes on
    // untouched: the update shows on the status pages and in the history, and says so.
    const FormatInfo& format = InfoOf(context.format);
    const std::string message = format.titlesUntouched
                                    ? "Metadata update applied to the status pages; " +
                                          std::string(format.name) +
                                          " listeners get titles from the stream's own comments"
                                    : "Metadata update successful";
    return Reply(Response(200, "OK", "text/xml",
                          "<?xml version=\"1.0\"?>\n<iceresponse><message>" + message +
                              "</message><return>1</return></iceresponse>\n"));
}

}  // namespace orvanta::engine
