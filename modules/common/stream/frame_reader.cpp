#include "stream/frame_reader.h"

namespace orvanta::engine {

TagCheck CheckId3v2(const unsigned char* p, size_t avail, uint64_t& size) {
    static constexpr unsigned char kMagic[3] = {'I', 'D', '3'};
    for (size_t i = 0; i < std::min<size_t>(avail, 10); ++i) {
        const unsigned char c = p[i];
        const bool fits = i < 3    ? c == kMagic[i]
                          : i == 3 ? c >= 2 && c <= 4
                          : i == 4 ? c != 0xFF
                          : i == 5 ? true
                                   : c < 0x80;
        if (!fits) {
            return TagCheck::kNo;
        }
    }
    if (avail < 10) {
        return TagCheck::kNeedMore;
    }
    size = (uint64_t{p[6]} << 21) | (uint64_t{p[7]} << 14) | (uint64_t{p[8]} << 7) | p[9];
    size += 10;
    if ((p[5] & 0x10) != 0) {
        size += 10;  // footer
    }
    return TagCheck::kYes;
}

bool IsTagStart(const unsigned char* p) {
    return (p[0] == 'I' && p[1] == 'D' && p[2] == '3') ||
           (p[0] == 'T' && p[1] == 'A' && p[2] == 'G');
}

}  // namespace orvanta::engine
