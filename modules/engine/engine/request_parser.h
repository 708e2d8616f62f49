// The bytes of one connection's request as they arrive: an HTTP request head, or on the v1
// source port a password line and then the header block before the audio. Plain code over
// bytes, no socket and no engine: the connection feeds it what it reads.
#pragma once

#include "engine/reply.h"
#include "http/request.h"

#include <string>
#include <string_view>
#include <vector>

namespace orvanta::engine {

class RequestParser {
public:
    struct Step {
        enum class Kind {
            NeedMore,     // read on
            Answer,       // refuse with `reply`
            Drop,         // close without a word; `why` for the log
            V1Line,       // `line`: a v1 source's password line
            V1Headers,    // `headers`: a v1 source's header block
            HttpRequest,  // `request`
        };
        Kind kind = Kind::NeedMore;
        // For the log, once known: what the request is (never an HTTP query, which may hold a
        // password).
        std::string what;
        Reply reply{std::string()};
        std::string why;
        std::string line;
        std::vector<Header> headers;
        Request request;
    };

    // `v1Port`: the first line may be a v1 login rather than an HTTP request line.
    explicit RequestParser(bool v1Port) : m_mode(v1Port ? Mode::FirstLine : Mode::HttpHead) {}

    void Append(std::string_view bytes) { m_buffer.append(bytes); }
    // What the bytes so far hold; what it returns is taken off the front.
    Step Next();
    // The v1 login was accepted: its header block comes next.
    void ExpectV1Headers() { m_mode = Mode::V1Headers; }
    // The bytes after what was parsed (a source's first audio).
    std::string TakeRest() { return std::move(m_buffer); }

private:
    enum class Mode { FirstLine, HttpHead, V1Headers };

    Mode m_mode;
    std::string m_buffer;
};

}  // namespace orvanta::engine
