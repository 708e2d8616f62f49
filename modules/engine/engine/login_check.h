// The password checks every login shares (sources, title updates, private listeners): the
// login guard is asked before a password is looked at, and told how the try went.
#pragma once

#include "engine/reply.h"
#include "engine/request_context.h"
#include "http/request.h"

#include <optional>
#include <string>

namespace orvanta::engine {

// Nothing when the address may try a password now; otherwise `refusal`, quiet: held-back
// logins are told per network by the hold log rather than as refusals per address, so a
// guesser rotating addresses cannot fill the log.
std::optional<Reply> HeldBack(const RequestContext& context, RequestActions& actions,
                              std::string refusal);
// Charges a wrong password to the address, logging a hold that begins.
void WrongPassword(const RequestContext& context, RequestActions& actions);
// 429 with the time the address must still wait.
std::string TooManyAttempts(const RequestActions& actions);

// The token of an "Authorization: Bearer ..." header; "" when the request carries none.
std::string_view BearerToken(const Request& request);

// The Basic challenge of `realm`, as a header line.
std::string BasicChallenge(const std::string& realm);

// The source password in the request's Basic credentials: nothing when it is right, else the
// answer. Without credentials the answer is the challenge (encoders send a first request
// without them to learn the scheme: normal, neither counted nor logged as a refusal); wrong
// ones count against the address. `extraHeaders` go with every refusal.
std::optional<Reply> SourceRefusal(const Request& request, const RequestContext& context,
                                   RequestActions& actions, const std::string& extraHeaders = {});

// A private station's listener needs the name and password of one of its users: nothing when
// admitted, else the answer.
std::optional<Reply> PrivateListenerRefusal(const Request& request, const RequestContext& context,
                                            RequestActions& actions);

}  // namespace orvanta::engine
