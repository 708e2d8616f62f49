// Answers about methods: what OPTIONS is told, and the refusal of the ones we do not serve.
#include "engine/handlers/handlers.h"
#include "engine/http_reply.h"

namespace orvanta::engine {

namespace {

constexpr char kAllow[] = "Allow: GET, HEAD, OPTIONS\r\n";

}  // namespace

Outcome OptionsRequest(const Request&, const RequestContext&, RequestActions&) {
    return Reply(Response(204, "No Content", "", "", kAllow));
}

Outcome MethodNotAllowed(const Request&, const RequestContext&, RequestActions&) {
    return Reply(PlainError(405, "Method Not Allowed", kAllow));
}

}  // namespace orvanta::engine
