// The station's metrics for Prometheus and its kin: /metrics in the text exposition format,
// version 0.0.4. They say how the station does (listeners, bytes, sources, logins, TLS, HLS),
// never who listens, and go to this machine and to the addresses [Admin] MetricsAllowFrom lists;
// and to a scraper carrying the console's API token; anyone else is refused as any refusal is,
// through the refusal log.
#include "base/credentials.h"
#include "engine/address_list.h"
#include "engine/handlers/handlers.h"
#include "engine/http_reply.h"
#include "engine/login_check.h"

#include <charconv>

namespace orvanta::engine {

namespace {

constexpr char kExpositionType[] = "text/plain; version=0.0.4; charset=utf-8";

bool MayRead(const RequestContext& context) {
    // The machine itself: a scraper beside the server, or an operator's curl.
    if (context.address == "127.0.0.1" || context.address == "::1") {
        return true;
    }
    // A handful of entries, read for each scrape: cheaper than keeping a parsed copy in step.
    return AddressList::Parse(context.settings.metricsAllowFrom).Contains(context.address);
}

// A scraper elsewhere may also carry the console's API token, as a bearer token.
bool HasApiToken(const Request& request, const RequestContext& context) {
    return VerifyApiToken(context.settings.adminApiTokenHash, BearerToken(request));
}

std::string Seconds(double seconds) {
    char text[64];
    const auto result =
        std::to_chars(text, text + sizeof text, seconds, std::chars_format::fixed, 3);
    return std::string(text, result.ptr);
}

class Exposition {
public:
    // A metric's HELP and TYPE lines, which come once before its samples.
    Exposition& Family(std::string_view name, std::string_view type, std::string_view help) {
        m_text.append("# HELP ").append(name).append(" ").append(help).append("\n");
        m_text.append("# TYPE ").append(name).append(" ").append(type).append("\n");
        return *this;
    }
    // A sample; `labels` as written between the braces ("" for none).
    Exposition& Sample(std::string_view name, std::string_view labels, std::string_view value) {
        m_text.append(name);
        if (!labels.empty()) {
            m_text.append("{").append(labels).append("}");
        }
        m_text.append(" ").append(value).append("\n");
        return *this;
    }
    Exposition& Sample(std::string_view name, std::string_view labels, uint64_t value) {
        return Sample(name, labels, std::to_string(value));
    }
    Exposition& Sample(std::string_view name, uint64_t value) { return Sample(name, "", value); }

    std::string Text() && { return std::move(m_text); }

private:
    std::string m_text;
};

std::string Body(const EngineMetrics& m) {
    using Seconds_ = std::chrono::duration<double>;
    Exposition out;
    out.Family("orvanta_build_info", "gauge", "The engine's version, as a label; always 1.")
        .Sample("orvanta_build_info", "version=\"" ORV_ENGINE_VERSION "\"", 1);
    out.Family("orvanta_start_time_seconds", "gauge",
               "When the station began serving, in Unix time; every counter counts from then.")
        .Sample("orvanta_start_time_seconds", "",
                Seconds(Seconds_(m.started.time_since_epoch()).count()));
    out.Family("orvanta_listeners", "gauge",
               "Listeners connected now: stream listeners that asked for ICY titles (icy) and "
               "those that did not (stream), and HLS clients that fetched the playlist within "
               "the last 30 seconds (hls).")
        .Sample("orvanta_listeners", "kind=\"stream\"", m.plainListeners)
        .Sample("orvanta_listeners", "kind=\"icy\"", m.icyListeners)
        .Sample("orvanta_listeners", "kind=\"hls\"", m.hlsListeners);
    out.Family("orvanta_listeners_peak", "gauge",
               "The most stream listeners connected at once since the station began serving.")
        .Sample("orvanta_listeners_peak", m.peakListeners);
    out.Family("orvanta_listener_connections_total", "counter", "Stream listeners that connected.")
        .Sample("orvanta_listener_connections_total", m.listenersJoined);
    out.Family("orvanta_listener_seconds_total", "counter",
               "Seconds listened by stream listeners: those that left and, up to now, those "
               "still connected.")
        .Sample("orvanta_listener_seconds_total", "", Seconds(Seconds_(m.listened).count()));
    out.Family("orvanta_received_bytes_total", "counter",
               "Audio bytes received from sources and relayed streams.")
        .Sample("orvanta_received_bytes_total", m.receivedBytes);
    out.Family("orvanta_sent_bytes_total", "counter",
               "Bytes sent to clients: streams, HLS, pages and every other answer.")
        .Sample("orvanta_sent_bytes_total", m.sentBytes);
    out.Family("orvanta_source_connected", "gauge",
               "1 while a live source (an encoder, or the relayed upstream) is on air, else 0; a "
               "fallback on air counts as 0.")
        .Sample("orvanta_source_connected", m.liveSource ? 1 : 0);
    out.Family("orvanta_source_connections_total", "counter", "Live sources that went on air.")
        .Sample("orvanta_source_connections_total", m.liveSourcesJoined);
    out.Family("orvanta_login_refusals_total", "counter",
               "Logins refused for a wrong password (sources, title updates, admin pages, "
               "private listeners), as the login guard counts them; attempts it held back "
               "unchecked are not counted.")
        .Sample("orvanta_login_refusals_total", m.wrongPasswords);
    out.Family("orvanta_tls_handshakes_total", "counter",
               "Connections to the station's ports that began with a TLS handshake.")
        .Sample("orvanta_tls_handshakes_total", m.tlsHandshakes);
    out.Family("orvanta_tls_handshake_failures_total", "counter",
               "TLS handshakes that did not end in a TLS session: refused, dropped for newer "
               "ones, too slow, or failed.")
        .Sample("orvanta_tls_handshake_failures_total", m.tlsHandshakeFailures);
    out.Family("orvanta_hls_requests_total", "counter",
               "Requests for the HLS playlists (playlist) and segments (segment), whatever the "
               "answer.")
        .Sample("orvanta_hls_requests_total", "kind=\"playlist\"", m.hlsPlaylistRequests)
        .Sample("orvanta_hls_requests_total", "kind=\"segment\"", m.hlsSegmentRequests);
    return std::move(out).Text();
}

}  // namespace

Outcome MetricsRequest(const Request& request, const RequestContext& context,
                       RequestActions& actions) {
    if (!MayRead(context) && !HasApiToken(request, context)) {
        return Reply(PlainError(403, "Forbidden"),
                     "metrics go to this machine and to [Admin] MetricsAllowFrom only");
    }
    const std::string body = Body(actions.Metrics());
    Reply reply(NoStoreHead(200, "OK", kExpositionType, body.size()));
    if (request.method != "HEAD") {
        reply.text += body;
    }
    return reply;
}

}  // namespace orvanta::engine
