// Addresses and networks an operator lists in a setting, such as the machines that may read the
// metrics: "192.0.2.7, 10.0.0.0/8 2001:db8::/32". Entries are separated by commas or white space;
// each is an IPv4 or IPv6 address, alone or with a prefix length. Plain code over text.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::engine {

class AddressList {
public:
    // The list `text` names; entries that are no address or network are left out, and kept in
    // Rejected() as written, for the log.
    static AddressList Parse(std::string_view text);

    // Whether `address` (as the engine writes a client's: IPv4 dotted, IPv6 text) is in the list.
    bool Contains(std::string_view address) const;
    bool Empty() const { return m_ranges.empty(); }
    const std::vector<std::string>& Rejected() const { return m_rejected; }

private:
    struct Range {
        std::array<uint8_t, 16> bytes{};  // the first 4 only, for IPv4
        bool v6 = false;
        int prefix = 0;  // leading bits that must match
    };

    std::vector<Range> m_ranges;
    std::vector<std::string> m_rejected;
};

}  // namespace orvanta::engine
