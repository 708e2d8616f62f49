#include "http/chunked.h"

#include "base/ascii.h"

#include <algorithm>

namespace orvanta::engine {
namespace {

constexpr int kMaxLineEndCrs = 2;

}  // namespace

size_t ChunkedDecoder::Feed(std::string_view data, std::string& out) {
    size_t position = 0;
    while (position < data.size()) {
        if (m_state == State::kDone || m_state == State::kFailed) {
            return position;
        }
        if (m_state == State::kData) {
            const size_t take = std::min(m_chunkLeft, data.size() - position);
            out.append(data.substr(position, take));
            position += take;
            m_chunkLeft -= take;
            if (m_chunkLeft == 0) {
                m_state = State::kDataEnd;
                m_crs = 0;
            }
            continue;
        }
        if (!Step(data[position])) {
            m_state = State::kFailed;
            return position;
        }
        ++position;
    }
    return position;
}

bool ChunkedDecoder::Step(char c) {
    switch (m_state) {
        case State::kSize:
        case State::kSizeSpace:
        case State::kExtension:
        case State::kSizeLineEnd:
            if (++m_lineBytes > kMaxSizeLineBytes) {
                return false;
            }
            break;
        default:
            break;
    }

    switch (m_state) {
        case State::kSize: {
            const int digit = HexDigitValue(c);
            if (digit >= 0) {
                m_chunkLeft = m_chunkLeft * 16 + static_cast<size_t>(digit);
                ++m_digits;
                return m_chunkLeft <= kMaxChunkSize;
            }
            if (m_digits == 0) {
                return false;
            }
            [[fallthrough]];
        }
        case State::kSizeSpace:
            if (IsSpaceOrTab(c)) {
                m_state = State::kSizeSpace;
            } else if (c == ';') {
                m_state = State::kExtension;
            } else if (c == '\r') {
                m_state = State::kSizeLineEnd;
                m_crs = 1;
            } else if (c == '\n') {
                EndSizeLine();
            } else {
                return false;
            }
            return true;
        case State::kExtension:
            if (c == '\n') {
                EndSizeLine();
            }
            return true;
        case State::kSizeLineEnd:
            if (c == '\n') {
                EndSizeLine();
                return true;
            }
            return c == '\r' && ++m_crs <= kMaxLineEndCrs;
        case State::kDataEnd:
            if (c == '\n') {
                m_state = State::kSize;
                m_chunkLeft = 0;
                m_digits = 0;
                m_lineBytes = 0;
                return true;
            }
            return c == '\r' && ++m_crs <= kMaxLineEndCrs;
        case State::kTrailer:
            if (++m_trailerBytes > kMaxTrailerBytes) {
                return false;
            }
            if (c == '\n') {
                if (!m_lineHasText) {
                    m_state = State::kDone;
                }
                m_lineHasText = false;
            } else if (c != '\r') {
                m_lineHasText = true;
            }
            return true;
        case State::kData:
        case State::kDone:
        case State::kFailed:
            break;
    }
    return false;
}

void ChunkedDecoder::EndSizeLine() {
    // A zero size is the last chunk; what follows are trailer lines and the closing blank line.
    m_state = m_chunkLeft == 0 ? State::kTrailer : State::kData;
}

}  // namespace orvanta::engine
