// The source bytes a scanning reader (MP3, Ogg) has taken but not yet decided on, and the one
// way both take more: in pieces, so the buffer stays within what the reader leaves undecided
// plus one piece whatever a caller hands over at once, and without an exception escaping Feed
// when memory runs out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

namespace orvanta::engine {

struct PendingBytes {
    static constexpr size_t kPiece = 64 * 1024;

    // Everything before `pos` is consumed.
    std::string bytes;
    size_t pos = 0;

    // Appends `data` a piece at a time and calls `scan()` after each piece, which consumes by
    // moving `pos`; what it leaves stays for the next call. Out of memory, `lost()` is called:
    // it gives up what was pending (Forget() and the reader's own state).
    template <typename Scan, typename Lost>
    void Take(std::string_view data, Scan&& scan, Lost&& lost) {
        try {
            for (size_t at = 0; at < data.size(); at += kPiece) {
                bytes.append(data.substr(at, kPiece));
                scan();
                bytes.erase(0, pos);
                pos = 0;
            }
        } catch (const std::bad_alloc&) {
            lost();
        } catch (const std::length_error&) {
            lost();
        }
    }

    // Frees the undecided bytes and says how many they were.
    uint64_t Forget() {
        const uint64_t undecided = bytes.size() - pos;
        std::string().swap(bytes);
        pos = 0;
        return undecided;
    }
};

}  // namespace orvanta::engine
