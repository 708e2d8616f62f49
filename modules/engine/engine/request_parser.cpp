#include "engine/request_parser.h"

#include "engine/http_reply.h"
#include "http/icy_login.h"

namespace orvanta::engine {

RequestParser::Step RequestParser::Next() {
    Step step;
    if (m_mode == Mode::FirstLine) {
        const LineResult line = ReadLine(m_buffer);
        if (line.status == ParseStatus::Incomplete) {
            return step;
        }
        if (line.status != ParseStatus::Complete) {
            step.kind = Step::Kind::Answer;
            step.what = "source login";
            step.reply = Reply(kIcyLoginRefused,
                               "login line over " + std::to_string(kMaxIcyLineBytes) + " bytes");
            return step;
        }
        if (!LooksLikeHttpRequestLine(line.line)) {
            m_buffer.erase(0, line.consumed);
            step.kind = Step::Kind::V1Line;
            step.what = "source login";
            step.line = line.line;
            return step;
        }
        m_mode = Mode::HttpHead;
    }
    if (m_mode == Mode::V1Headers) {
        HeaderBlockResult block = ParseHeaderBlock(m_buffer);
        if (block.status == ParseStatus::Incomplete) {
            return step;
        }
        if (block.status != ParseStatus::Complete) {
            step.kind = Step::Kind::Drop;
            step.why = "source login: header block too large";
            return step;
        }
        m_buffer.erase(0, block.consumed);  // the audio that came with the headers stays
        step.kind = Step::Kind::V1Headers;
        step.headers = std::move(block.headers);
        return step;
    }
    HeadResult head = ParseRequestHead(m_buffer);
    if (head.status == ParseStatus::Incomplete) {
        return step;
    }
    if (head.status != ParseStatus::Complete) {
        step.kind = Step::Kind::Answer;
        step.reply = Reply(head.status == ParseStatus::TooLarge
                               ? PlainError(431, "Request Header Fields Too Large")
                               : PlainError(400, "Bad Request"));
        return step;
    }
    m_buffer.erase(0, head.consumed);  // a source's first audio stays
    step.kind = Step::Kind::HttpRequest;
    step.what = head.request.method + " " + head.request.path;
    step.request = std::move(head.request);
    return step;
}

}  // namespace orvanta::engine
