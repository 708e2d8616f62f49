#include "engine/address_list.h"

#include <asio/ip/address.hpp>

#include <algorithm>
#include <charconv>
#include <optional>

namespace orvanta::engine {

namespace {

struct Parsed {
    std::array<uint8_t, 16> bytes{};
    bool v6 = false;
};

// An address as text, IPv4-mapped IPv6 taken as the IPv4 address it maps (as the engine names
// such clients).
std::optional<Parsed> ParseAddress(std::string_view text) {
    asio::error_code ec;
    asio::ip::address address = asio::ip::make_address(std::string(text), ec);
    if (ec) {
        return std::nullopt;
    }
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    }
    Parsed parsed;
    if (address.is_v4()) {
        const auto bytes = address.to_v4().to_bytes();
        std::copy(bytes.begin(), bytes.end(), parsed.bytes.begin());
    } else {
        parsed.bytes = address.to_v6().to_bytes();
        parsed.v6 = true;
    }
    return parsed;
}

bool Separator(char c) {
    return c == ',' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

AddressList AddressList::Parse(std::string_view text) {
    AddressList list;
    size_t pos = 0;
    while (pos < text.size()) {
        if (Separator(text[pos])) {
            ++pos;
            continue;
        }
        size_t end = pos;
        while (end < text.size() && !Separator(text[end])) {
            ++end;
        }
        const std::string_view entry = text.substr(pos, end - pos);
        pos = end;

        const size_t slash = entry.find('/');
        const auto address = ParseAddress(entry.substr(0, slash));
        std::optional<int> prefix;
        if (address) {
            const int bits = address->v6 ? 128 : 32;
            if (slash == std::string_view::npos) {
                prefix = bits;
            } else {
                const std::string_view digits = entry.substr(slash + 1);
                int n = -1;
                const auto [last, ec] =
                    std::from_chars(digits.data(), digits.data() + digits.size(), n);
                if (!digits.empty() && digits.size() <= 3 && ec == std::errc() &&
                    last == digits.data() + digits.size() && n >= 0 && n <= bits) {
                    prefix = n;
                }
            }
        }
        if (!prefix) {
            list.m_rejected.emplace_back(entry);
            continue;
        }
        list.m_ranges.push_back(Range{address->bytes, address->v6, *prefix});
    }
    return list;
}

bool AddressList::Contains(std::string_view address) const {
    const auto parsed = ParseAddress(address);
    if (!parsed) {
        return false;
    }
    return std::any_of(m_ranges.begin(), m_ranges.end(), [&](const Range& range) {
        if (range.v6 != parsed->v6) {
            return false;
        }
        const int whole = range.prefix / 8;
        if (!std::equal(range.bytes.begin(), range.bytes.begin() + whole, parsed->bytes.begin())) {
            return false;
        }
        const int rest = range.prefix % 8;
        if (rest == 0) {
            return true;
        }
        const auto mask = static_cast<uint8_t>(0xFF << (8 - rest));
        return (range.bytes[static_cast<size_t>(whole)] & mask) ==
               (parsed->bytes[static_cast<size_t>(whole)] & mask);
    });
}

}  // namespace orvanta::engine
