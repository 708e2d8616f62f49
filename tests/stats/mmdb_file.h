// A small MaxMind-format database (.mmdb) the tests write themselves, so the country lookup is
// tried on a real file without one downloaded. The format: a binary tree over the address bits
// (24-bit records, a pair per node), sixteen zero bytes, the data section, then the marker
// "\xAB\xCD\xEFMaxMind.com" and the metadata, both in the MaxMind DB data format.
#pragma once

#include <arpa/inet.h>
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace orvanta::test {

class MmdbFile {
public:
    // An IPv4 database (4) or an IPv6 one (6), which holds IPv4 networks under ::/96.
    explicit MmdbFile(int ipVersion) : m_ipVersion(ipVersion), m_nodes(1) {}

    // {"<map>": {"iso_code": "<code>"}} for `network` ("127.0.0.0/8", "2001:db8::/32"). Wider
    // networks first: a later, narrower one is carved out of them.
    void Add(const std::string& network, const std::string& map, const std::string& code) {
        const size_t slash = network.find('/');
        const std::string address = network.substr(0, slash);
        int length = std::stoi(network.substr(slash + 1));
        std::vector<bool> bits;
        uint8_t bytes[16] = {};
        if (inet_pton(AF_INET, address.c_str(), bytes) == 1) {
            if (m_ipVersion == 6) {
                bits.assign(96, false);
                length += 96;
            }
            AppendBits(bits, bytes, 4);
        } else if (inet_pton(AF_INET6, address.c_str(), bytes) == 1) {
            AppendBits(bits, bytes, 16);
        }
        const uint32_t offset = static_cast<uint32_t>(m_data.size());
        m_data += Map(1) + Text(map) + Map(1) + Text("iso_code") + Text(code);
        Insert(bits, length, offset);
    }

    std::string Bytes() const {
        const auto nodeCount = static_cast<uint32_t>(m_nodes.size());
        std::string out;
        for (const auto& node : m_nodes) {
            for (const Record& record : node) {
                const uint32_t value = record.kind == Kind::Node   ? record.value
                                       : record.kind == Kind::Data ? nodeCount + 16 + record.value
                                                                   : nodeCount;
                out += static_cast<char>(value >> 16);
                out += static_cast<char>(value >> 8);
                out += static_cast<char>(value);
            }
        }
        out += std::string(16, '\0');
        out += m_data;
        out += "\xAB\xCD\xEFMaxMind.com";
        out += Map(9);
        out += Text("binary_format_major_version") + Unsigned(5, 2);
        out += Text("binary_format_minor_version") + Unsigned(5, 0);
        out += Text("build_epoch") + Unsigned(9, 1700000000);
        out += Text("database_type") + Text("Test-Country");
        out += Text("description") + Map(1) + Text("en") + Text("Test countries");
        out += Text("ip_version") + Unsigned(5, static_cast<uint64_t>(m_ipVersion));
        out += Text("languages") + Extended(11, 1) + Text("en");
        out += Text("node_count") + Unsigned(6, nodeCount);
        out += Text("record_size") + Unsigned(5, 24);
        return out;
    }

private:
    enum class Kind { Empty, Node, Data };
    struct Record {
        Kind kind = Kind::Empty;
        uint32_t value = 0;
    };

    static void AppendBits(std::vector<bool>& bits, const uint8_t* bytes, int count) {
        for (int i = 0; i < count * 8; ++i) {
            bits.push_back(((bytes[i / 8] >> (7 - i % 8)) & 1) != 0);
        }
    }

    void Insert(const std::vector<bool>& bits, int length, uint32_t offset) {
        size_t node = 0;
        for (int i = 0; i < length; ++i) {
            Record& record = m_nodes[node][bits[static_cast<size_t>(i)] ? 1 : 0];
            if (i == length - 1) {
                record = {Kind::Data, offset};
            } else if (record.kind == Kind::Node) {
                node = record.value;
            } else {
                // A wider network (or nothing) here: both halves keep it, one is narrowed next.
                const Record wider = record;
                record = {Kind::Node, static_cast<uint32_t>(m_nodes.size())};
                node = m_nodes.size();
                m_nodes.push_back({wider, wider});
            }
        }
    }

    // Control bytes: the type in the top three bits, the size (below 29 here) in the rest;
    // types past 7 are 0 in the control byte and their number less 7 in the next byte.
    static std::string Control(int type, size_t size) {
        return std::string(1, static_cast<char>((type << 5) | static_cast<int>(size)));
    }
    static std::string Extended(int type, size_t size) {
        return Control(0, size) + static_cast<char>(type - 7);
    }
    static std::string Text(const std::string& text) { return Control(2, text.size()) + text; }
    static std::string Map(size_t pairs) { return Control(7, pairs); }
    // Unsigned integers are big-endian without their leading zero bytes.
    static std::string Unsigned(int type, uint64_t value) {
        std::string digits;
        for (; value != 0; value >>= 8) {
            digits.insert(digits.begin(), static_cast<char>(value & 0xff));
        }
        return (type > 7 ? Extended(type, digits.size()) : Control(type, digits.size())) + digits;
    }

    int m_ipVersion;
    std::vector<std::array<Record, 2>> m_nodes;
    std::string m_data;
};

}  // namespace orvanta::test
