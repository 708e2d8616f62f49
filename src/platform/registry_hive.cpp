#include "platform/registry_hive.h"

#include "base/ascii.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

// Behaviour the header leaves open:
// - The first line that is not blank or a comment must be a header line; a file without one is
//   still read, but the missing header counts as an error, so a file that is not a hive at all
//   is never overwritten by a write. An empty file is an empty hive.
// - Besides UTF-8 (with or without a byte order mark) the reader takes UTF-16LE text with its
//   byte order mark, the encoding regedit uses for version 5.00 exports. Value data stays raw
//   bytes either way: a hex(2) value from such an export keeps its UTF-16 bytes.
// - Key paths and value names may not contain control characters, a key path may not start
//   with '-' (that is the deletion syntax) or have empty parts, and both have Windows-like length
//   limits. The hive methods ignore such keys and names (CreateKey and SetValue do nothing,
//   lookups find nothing), so every hive in memory can be written out and read back.
// - Comments in a hive file do not survive a write; the file is rewritten from the hive.
// - Keys are written in tree order: parents right before their subkeys, siblings by name.

namespace orvanta::platform {
namespace {

constexpr size_t kMaxKeyPathLength = 4096;
constexpr size_t kMaxKeyDepth = 512;
constexpr size_t kMaxValueNameLength = 16383;
// A hostile file can make every few bytes of input a new key with its own parents; the budget
// caps what one parse keeps, counted roughly as bytes held plus a fixed cost per key and value.
constexpr size_t kParseBudget = size_t{64} << 20;
constexpr size_t kKeyCost = 128;
constexpr size_t kValueCost = 96;
constexpr size_t kMaxErrors = 100;
constexpr size_t kMaxLineWidth = 79;
constexpr std::string_view kContinuationIndent = "  ";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr char kHexDigits[] = "0123456789abcdef";

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

// What a line of the file may have around its parts: blanks, and the CR of a CRLF file.
constexpr std::string_view kBlanks = " \t\r";

std::string_view TrimLeft(std::string_view text) {
    text.remove_prefix(std::min(text.size(), text.find_first_not_of(kBlanks)));
    return text;
}

std::string_view Trim(std::string_view text) {
    return TrimAny(text, kBlanks);
}

std::optional<uint32_t> ParseHexNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 8) {
        return std::nullopt;
    }
    uint32_t number = 0;
    for (char c : digits) {
        const int digit = HexDigitValue(c);
        if (digit < 0) {
            return std::nullopt;
        }
        number = number << 4 | static_cast<uint32_t>(digit);
    }
    return number;
}

// Both the hive and the parser's working copy keep keys in a map by lower-cased path whose
// nodes have a `path` member; these work on either.
template <typename Node>
Node& EnsureKeyIn(std::map<std::string, Node>& keys, std::string_view path) {
    const std::string lower = AsciiLower(path);
    size_t end = 0;
    for (;;) {
        end = std::min(path.find('\\', end), path.size());
        auto it = keys.find(lower.substr(0, end));
        if (it == keys.end()) {
            Node node;
            node.path.assign(path.substr(0, end));
            it = keys.emplace(lower.substr(0, end), std::move(node)).first;
        }
        if (end == path.size()) {
            return it->second;
        }
        ++end;
    }
}

template <typename Node>
bool DeleteKeyIn(std::map<std::string, Node>& keys, std::string_view path) {
    std::string lower = AsciiLower(path);
    const auto key = keys.find(lower);
    if (key == keys.end()) {
        return false;
    }
    // Subkeys are exactly the paths that start with "path\", and those are contiguous.
    lower += '\\';
    auto first = keys.lower_bound(lower);
    auto last = first;
    while (last != keys.end() && last->first.compare(0, lower.size(), lower) == 0) {
        ++last;
    }
    keys.erase(first, last);
    keys.erase(key);
    return true;
}

template <typename Node>
size_t CountMissingKeys(const std::map<std::string, Node>& keys, std::string_view lowerPath) {
    size_t missing = 0;
    size_t length = lowerPath.size();
    while (keys.find(std::string(lowerPath.substr(0, length))) == keys.end()) {
        ++missing;
        const size_t separator = lowerPath.rfind('\\', length - 1);
        if (separator == std::string_view::npos) {
            break;
        }
        length = separator;
    }
    return missing;
}

// Orders keys as a tree: a backslash sorts before every other byte, so "A\B" comes right after
// "A" and before "A B".
bool TreeLess(std::string_view a, std::string_view b) {
    const auto rank = [](char c) {
        return c == '\\' ? 0u : static_cast<unsigned>(static_cast<unsigned char>(c)) + 1u;
    };
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [&](char x, char y) { return rank(x) < rank(y); });
}

// ---------------------------------------------------------------------------------------------
// Writing

bool IsPlainString(const RegistryValue& value) {
    if (value.type != kRegSz || value.data.empty() || value.data.back() != 0) {
        return false;
    }
    return std::none_of(value.data.begin(), value.data.end() - 1, [](uint8_t byte) {
        return byte == 0 || IsControlByte(static_cast<char>(byte));
    });
}

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    out += '"';
}

void AppendHex(std::string& out, uint32_t number, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        out += kHexDigits[(number >> shift) & 0xF];
    }
}

void AppendHexList(std::string& out, size_t lineStart, const std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        const bool last = i + 1 == bytes.size();
        // A byte that is not the last needs room for its comma and a possible backslash.
        const size_t width = last ? 2 : 4;
        if (out.size() - lineStart + width > kMaxLineWidth &&
            out.size() - lineStart > kContinuationIndent.size()) {
            out += "\\\n";
            lineStart = out.size();
            out += kContinuationIndent;
        }
        AppendHex(out, bytes[i], 2);
        if (!last) {
            out += ',';
        }
    }
}

void AppendValue(std::string& out, const std::string& name, const RegistryValue& value) {
    const size_t lineStart = out.size();
    if (name.empty()) {
        out += '@';
    } else {
        AppendQuoted(out, name);
    }
    out += '=';
    if (IsPlainString(value)) {
        const auto* text = reinterpret_cast<const char*>(value.data.data());
        AppendQuoted(out, std::string_view(text, value.data.size() - 1));
    } else if (value.type == kRegDword && value.data.size() == 4) {
        const uint32_t number = uint32_t{value.data[0]} | uint32_t{value.data[1]} << 8 |
                                uint32_t{value.data[2]} << 16 | uint32_t{value.data[3]} << 24;
        out += "dword:";
        AppendHex(out, number, 8);
    } else {
        if (value.type == kRegBinary) {
            out += "hex:";
        } else {
            out += "hex(";
            int digits = 1;
            while (digits < 8 && (value.type >> (digits * 4)) != 0) {
                ++digits;
            }
            AppendHex(out, value.type, digits);
            out += "):";
        }
        AppendHexList(out, lineStart, value.data);
    }
    out += '\n';
}

// ---------------------------------------------------------------------------------------------
// Reading

struct PendingKey {
    std::string path;
    // Deleted values leave an empty slot, so that a value keeps its place without a search.
    std::vector<std::optional<std::pair<std::string, RegistryValue>>> values;
    std::unordered_map<std::string, size_t> slots;  // lower-cased name -> index in values
};

struct ParsedData {
    bool remove = false;
    RegistryValue value;
};

// Reads the text of a quoted name or string starting at its opening quote.
const char* ParseQuoted(std::string_view text, std::string& out, size_t& next) {
    for (size_t i = 1; i < text.size(); ++i) {
        if (text[i] == '"') {
            next = i + 1;
            return nullptr;
        }
        if (text[i] == '\\') {
            if (i + 1 == text.size() || (text[i + 1] != '\\' && text[i + 1] != '"')) {
                return "backslash not followed by \\ or \" in quoted text";
            }
            ++i;
        }
        out += text[i];
    }
    return "missing closing quote";
}

const char* ParseHexList(std::string_view list, std::vector<uint8_t>& data) {
    list = Trim(list);
    if (list.empty()) {
        return nullptr;
    }
    data.reserve(list.size() / 3 + 1);
    size_t start = 0;
    for (;;) {
        const size_t comma = list.find(',', start);
        const std::string_view item = Trim(list.substr(start, comma - start));
        if (item.empty() || item.size() > 2) {
            return "hex list needs bytes of 1 or 2 hex digits separated by commas";
        }
        int byte = 0;
        for (char c : item) {
            const int digit = HexDigitValue(c);
            if (digit < 0) {
                return "hex list needs bytes of 1 or 2 hex digits separated by commas";
            }
            byte = byte * 16 + digit;
        }
        data.push_back(static_cast<uint8_t>(byte));
        if (comma == std::string_view::npos) {
            return nullptr;
        }
        start = comma + 1;
    }
}

const char* ParseData(std::string_view text, ParsedData& out) {
    if (text == "-") {
        out.remove = true;
        return nullptr;
    }
    if (!text.empty() && text.front() == '"') {
        std::string content;
        size_t next = 0;
        if (const char* problem = ParseQuoted(text, content, next)) {
            return problem;
        }
        if (next != text.size()) {
            return "text after the closing quote";
        }
        out.value.type = kRegSz;
        out.value.data.assign(content.begin(), content.end());
        out.value.data.push_back(0);
        return nullptr;
    }
    if (StartsWithIgnoreCase(text, "dword:")) {
        const std::optional<uint32_t> number = ParseHexNumber(text.substr(6));
        if (!number) {
            return "dword needs 1 to 8 hex digits";
        }
        out.value.type = kRegDword;
        for (int shift = 0; shift < 32; shift += 8) {
            out.value.data.push_back(static_cast<uint8_t>(*number >> shift));
        }
        return nullptr;
    }
    std::string_view list;
    if (StartsWithIgnoreCase(text, "hex:")) {
        out.value.type = kRegBinary;
        list = text.substr(4);
    } else if (StartsWithIgnoreCase(text, "hex(")) {
        const size_t close = text.find(')');
        const std::optional<uint32_t> type = close == std::string_view::npos
                                                 ? std::nullopt
                                                 : ParseHexNumber(text.substr(4, close - 4));
        if (!type || close + 1 == text.size() || text[close + 1] != ':') {
            return "hex(N): needs a type of 1 to 8 hex digits";
        }
        out.value.type = *type;
        list = text.substr(close + 2);
    } else {
        return "value data is not a string, dword:, hex: or hex(N):";
    }
    return ParseHexList(list, out.value.data);
}

void AppendUtf8(std::string& out, uint32_t codePoint) {
    const auto byte = [](uint32_t bits) { return static_cast<char>(bits); };
    if (codePoint < 0x80) {
        out += byte(codePoint);
    } else if (codePoint < 0x800) {
        out += byte(0xC0 | codePoint >> 6);
        out += byte(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += byte(0xE0 | codePoint >> 12);
        out += byte(0x80 | (codePoint >> 6 & 0x3F));
        out += byte(0x80 | (codePoint & 0x3F));
    } else {
        out += byte(0xF0 | codePoint >> 18);
        out += byte(0x80 | (codePoint >> 12 & 0x3F));
        out += byte(0x80 | (codePoint >> 6 & 0x3F));
        out += byte(0x80 | (codePoint & 0x3F));
    }
}

class HiveParser {
public:
    explicit HiveParser(std::vector<std::string>& errors) : m_errors(errors) {}

    void Run(std::string_view text);
    std::map<std::string, PendingKey>& Keys() { return m_keys; }

private:
    enum class Section { None, Key, Skipped };

    std::string DecodeUtf16(std::string_view bytes);
    bool NextLine(std::string_view& line);
    bool ReadContinuation(std::string& joined);
    void HandleKeyLine(std::string_view line);
    void HandleValueLine(std::string_view line);
    void Error(size_t lineNumber, std::string_view what);
    bool Charge(size_t cost);

    std::vector<std::string>& m_errors;
    bool m_errorsCut = false;
    std::map<std::string, PendingKey> m_keys;
    std::string m_decoded;
    std::string_view m_text;
    size_t m_pos = 0;
    size_t m_lineNumber = 0;
    Section m_section = Section::None;
    PendingKey* m_current = nullptr;
    size_t m_spent = 0;
};

void HiveParser::Run(std::string_view text) {
    if (text.substr(0, 2) == "\xFF\xFE") {
        m_decoded = DecodeUtf16(text.substr(2));
        text = m_decoded;
    } else if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    m_text = text;
    bool headerChecked = false;
    std::string_view line;
    while (NextLine(line)) {
        if (line.empty() || line.front() == ';') {
            continue;
        }
        // A second header is skipped too, so that two exports pasted together still read.
        const bool isHeader = line == kHeader4 || line == kHeader5;
        if (!headerChecked) {
            headerChecked = true;
            if (!isHeader) {
                Error(m_lineNumber, "missing REGEDIT4 header");
            }
        }
        if (isHeader) {
            continue;
        }
        if (line.front() == '[') {
            HandleKeyLine(line);
        } else if (line.front() == '"' || line.front() == '@') {
            HandleValueLine(line);
        } else {
            Error(m_lineNumber, "not a key, a value or a comment");
        }
    }
}

std::string HiveParser::DecodeUtf16(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    size_t lineNumber = 1;
    const auto unitAt = [&](size_t i) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) |
               static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    };
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        uint32_t codePoint = unitAt(i);
        if (codePoint >= 0xD800 && codePoint < 0xDC00 && i + 3 < bytes.size() &&
            unitAt(i + 2) >= 0xDC00 && unitAt(i + 2) < 0xE000) {
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (unitAt(i + 2) - 0xDC00);
            i += 2;
        } else if (codePoint >= 0xD800 && codePoint < 0xE000) {
            Error(lineNumber, "unpaired UTF-16 surrogate");
            codePoint = 0xFFFD;
        }
        AppendUtf8(out, codePoint);
        if (codePoint == '\n') {
            ++lineNumber;
        }
    }
    if (bytes.size() % 2 != 0) {
        Error(lineNumber, "UTF-16 text ends in half a character");
    }
    return out;
}

bool HiveParser::NextLine(std::string_view& line) {
    if (m_pos >= m_text.size()) {
        return false;
    }
    const size_t end = std::min(m_text.find('\n', m_pos), m_text.size());
    line = Trim(m_text.substr(m_pos, end - m_pos));
    m_pos = end + 1;
    ++m_lineNumber;
    return true;
}

// Appends the lines that continue a hex list ending in a backslash. A line that looks like the
// start of something else is left for the main loop, so a list broken off by mistake does not
// swallow the next key.
bool HiveParser::ReadContinuation(std::string& joined) {
    for (;;) {
        const size_t pos = m_pos;
        const size_t lineNumber = m_lineNumber;
        std::string_view line;
        if (!NextLine(line)) {
            return false;
        }
        if (line.empty() || line.front() == '[' || line.front() == '"' || line.front() == '@' ||
            line.front() == ';') {
            m_pos = pos;
            m_lineNumber = lineNumber;
            return false;
        }
        if (line.back() != '\\') {
            joined += line;
            return true;
        }
        line.remove_suffix(1);
        joined += line;
    }
}

void HiveParser::HandleKeyLine(std::string_view line) {
    m_section = Section::Skipped;
    m_current = nullptr;
    if (line.size() < 2 || line.back() != ']') {
        Error(m_lineNumber, "key line does not end with ]");
        return;
    }
    std::string_view path = line.substr(1, line.size() - 2);
    const bool remove = !path.empty() && path.front() == '-';
    if (remove) {
        path.remove_prefix(1);
    }
    if (const char* problem = RegistryHive::KeyPathProblem(path)) {
        Error(m_lineNumber, problem);
        return;
    }
    if (remove) {
        DeleteKeyIn(m_keys, path);
        m_section = Section::None;
        return;
    }
    const size_t missing = CountMissingKeys(m_keys, AsciiLower(path));
    if (!Charge(missing * (path.size() + kKeyCost))) {
        Error(m_lineNumber, "too much data in the hive");
        return;
    }
    m_current = &EnsureKeyIn(m_keys, path);
    m_section = Section::Key;
}

void HiveParser::HandleValueLine(std::string_view line) {
    const size_t lineNumber = m_lineNumber;
    std::string name;
    size_t afterName = 1;
    if (line.front() == '"') {
        if (const char* problem = ParseQuoted(line, name, afterName)) {
            Error(lineNumber, problem);
            return;
        }
    }
    std::string_view data = TrimLeft(line.substr(afterName));
    if (data.empty() || data.front() != '=') {
        Error(lineNumber, "value name not followed by =");
        return;
    }
    data = TrimLeft(data.substr(1));
    std::string joined;
    if (StartsWithIgnoreCase(data, "hex") && data.back() == '\\') {
        joined.assign(data.substr(0, data.size() - 1));
        if (!ReadContinuation(joined)) {
            Error(lineNumber, "hex list ends with \\ but no line continues it");
            return;
        }
        data = joined;
    }
    if (m_section == Section::Skipped) {
        return;  // the key line was already reported
    }
    if (m_section == Section::None) {
        Error(lineNumber, "value outside a key");
        return;
    }
    if (const char* problem = RegistryHive::ValueNameProblem(name)) {
        Error(lineNumber, problem);
        return;
    }
    ParsedData parsed;
    if (const char* problem = ParseData(data, parsed)) {
        Error(lineNumber, problem);
        return;
    }
    PendingKey& key = *m_current;
    std::string lowerName = AsciiLower(name);
    const auto slot = key.slots.find(lowerName);
    if (parsed.remove) {
        if (slot != key.slots.end()) {
            key.values[slot->second].reset();
            key.slots.erase(slot);
        }
        return;
    }
    if (!Charge(name.size() + parsed.value.data.size() + kValueCost)) {
        Error(lineNumber, "too much data in the hive");
        return;
    }
    if (slot != key.slots.end()) {
        key.values[slot->second]->second = std::move(parsed.value);
        return;
    }
    key.values.emplace_back(std::in_place, std::move(name), std::move(parsed.value));
    key.slots.emplace(std::move(lowerName), key.values.size() - 1);
}

void HiveParser::Error(size_t lineNumber, std::string_view what) {
    if (m_errors.size() < kMaxErrors) {
        m_errors.push_back("line " + std::to_string(lineNumber) + ": " + std::string(what));
    } else if (!m_errorsCut) {
        m_errorsCut = true;
        m_errors.push_back("line " + std::to_string(lineNumber) + ": more errors not listed");
    }
}

bool HiveParser::Charge(size_t cost) {
    if (cost > kParseBudget - m_spent) {
        return false;
    }
    m_spent += cost;
    return true;
}

}  // namespace

const char* RegistryHive::KeyPathProblem(std::string_view path) {
    if (path.empty()) {
        return "empty key path";
    }
    if (path.size() > kMaxKeyPathLength) {
        return "key path too long";
    }
    if (path.front() == '-') {
        return "key path starts with -";
    }
    if (path.front() == '\\' || path.back() == '\\') {
        return "empty part in key path";
    }
    size_t depth = 1;
    for (size_t i = 0; i < path.size(); ++i) {
        if (IsControlByte(path[i])) {
            return "control character in key path";
        }
        if (path[i] == '\\') {
            if (path[i + 1] == '\\') {
                return "empty part in key path";
            }
            ++depth;
        }
    }
    return depth > kMaxKeyDepth ? "key path too deep" : nullptr;
}

const char* RegistryHive::ValueNameProblem(std::string_view name) {
    if (name.size() > kMaxValueNameLength) {
        return "value name too long";
    }
    return std::any_of(name.begin(), name.end(), IsControlByte) ? "control character in value name"
                                                                : nullptr;
}

RegistryHive::ParseResult RegistryHive::Parse(std::string_view text) {
    ParseResult result;
    try {
        // Room for the out-of-memory message below, so that reporting it cannot fail as well.
        result.errors.reserve(1);
        HiveParser parser(result.errors);
        parser.Run(text);
        for (auto& [lowerPath, pending] : parser.Keys()) {
            Key key;
            key.path = std::move(pending.path);
            key.values.reserve(pending.slots.size());
            for (auto& slot : pending.values) {
                if (slot) {
                    key.values.push_back(std::move(*slot));
                }
            }
            result.hive.m_keys.emplace_hint(result.hive.m_keys.end(), lowerPath, std::move(key));
        }
    } catch (...) {
        // A partial hive must not look complete: a write would then drop the rest of the file.
        result.hive.m_keys.clear();
        result.errors.clear();
        if (result.errors.capacity() > 0) {
            result.errors.emplace_back("out of memory");
        }
    }
    return result;
}

std::string RegistryHive::Serialize() const {
    try {
        std::vector<const std::pair<const std::string, Key>*> order;
        order.reserve(m_keys.size());
        for (const auto& entry : m_keys) {
            order.push_back(&entry);
        }
        std::sort(order.begin(), order.end(),
                  [](const auto* a, const auto* b) { return TreeLess(a->first, b->first); });
        std::string out(kHeader4);
        out += "\n\n";
        for (const auto* entry : order) {
            const Key& key = entry->second;
            out += '[';
            out += key.path;
            out += "]\n";
            for (const auto& [name, value] : key.values) {
                AppendValue(out, name, value);
            }
            out += '\n';
        }
        return out;
    } catch (...) {
        return {};
    }
}

bool RegistryHive::HasKey(std::string_view keyPath) const {
    try {
        return FindKey(keyPath) != nullptr;
    } catch (...) {
        return false;
    }
}

void RegistryHive::CreateKey(std::string_view keyPath) {
    try {
        if (KeyPathProblem(keyPath) == nullptr) {
            EnsureKey(keyPath);
        }
    } catch (...) {
        // The key stays missing; HasKey tells the caller.
    }
}

bool RegistryHive::DeleteKey(std::string_view keyPath) {
    try {
        return DeleteKeyIn(m_keys, keyPath);
    } catch (...) {
        return false;
    }
}

const RegistryValue* RegistryHive::FindValue(std::string_view keyPath,
                                             std::string_view name) const {
    try {
        const Key* key = FindKey(keyPath);
        if (key == nullptr) {
            return nullptr;
        }
        for (const auto& [valueName, value] : key->values) {
            if (EqualsIgnoreCase(valueName, name)) {
                return &value;
            }
        }
    } catch (...) {
    }
    return nullptr;
}

void RegistryHive::SetValue(std::string_view keyPath, std::string_view name, RegistryValue value) {
    try {
        if (KeyPathProblem(keyPath) != nullptr || ValueNameProblem(name) != nullptr) {
            return;
        }
        Key& key = EnsureKey(keyPath);
        for (auto& [valueName, existing] : key.values) {
            if (EqualsIgnoreCase(valueName, name)) {
                existing = std::move(value);
                return;
            }
        }
        key.values.emplace_back(std::string(name), std::move(value));
    } catch (...) {
        // The value stays as it was; FindValue tells the caller.
    }
}

bool RegistryHive::DeleteValue(std::string_view keyPath, std::string_view name) {
    try {
        Key* key = FindKey(keyPath);
        if (key == nullptr) {
            return false;
        }
        const auto found =
            std::find_if(key->values.begin(), key->values.end(),
                         [&](const auto& entry) { return EqualsIgnoreCase(entry.first, name); });
        if (found == key->values.end()) {
            return false;
        }
        key->values.erase(found);
        return true;
    } catch (...) {
        return false;
    }
}

std::vector<std::string> RegistryHive::ValueNames(std::string_view keyPath) const {
    try {
        std::vector<std::string> names;
        if (const Key* key = FindKey(keyPath)) {
            for (const auto& entry : key->values) {
                names.push_back(entry.first);
            }
        }
        return names;
    } catch (...) {
        return {};
    }
}

// Spellings and value order count: they are what Serialize writes.
bool RegistryHive::operator==(const RegistryHive& other) const {
    return std::equal(m_keys.begin(), m_keys.end(), other.m_keys.begin(), other.m_keys.end(),
                      [](const auto& a, const auto& b) {
                          return a.first == b.first && a.second.path == b.second.path &&
                                 a.second.values == b.second.values;
                      });
}

RegistryHive::Key* RegistryHive::FindKey(std::string_view keyPath) {
    const auto found = m_keys.find(AsciiLower(keyPath));
    return found == m_keys.end() ? nullptr : &found->second;
}

const RegistryHive::Key* RegistryHive::FindKey(std::string_view keyPath) const {
    const auto found = m_keys.find(AsciiLower(keyPath));
    return found == m_keys.end() ? nullptr : &found->second;
}

RegistryHive::Key& RegistryHive::EnsureKey(std::string_view keyPath) {
    return EnsureKeyIn(m_keys, keyPath);
}

}  // namespace orvanta::platform
