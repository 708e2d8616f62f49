// Paths that may also be URLs: separators are "\" and "/", and a text holding "://" is a URL.
// Positions are byte positions, -1 for none. Multibyte text needs no special care: in UTF-8
// no byte of a multibyte character equals a separator or a dot.
#pragma once

#include <string>
#include <string_view>

namespace orvanta {

// The separator used where a path gives no hint of its own.
inline constexpr char kNativeSeparator = '/';

inline bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsUrl(std::string_view text);
// The last "\" if there is one; otherwise the last "/", unless that is the second slash of
// the first "://" (a URL of scheme and host alone has no separator).
int LastSeparatorIndex(std::string_view path);
bool HasSeparator(std::string_view path);
// The separator at LastSeparatorIndex; without one, "/" for a URL, else kNativeSeparator.
char SeparatorOf(std::string_view path);

// Appends tail with exactly one separator at the seam. With a separator on neither side, the
// destination's own separator is used, else the tail's, else kNativeSeparator. An empty
// destination becomes the tail.
void JoinPath(std::string& destination, std::string_view tail);
std::string JoinedPath(std::string_view destination, std::string_view tail);

// The path up to and including its last separator; "" when it has none.
std::string GetFolderOf(std::string_view path);
// The running executable's folder, ending in its separator ("" if it cannot be found).
std::string GetModuleFolder();

// The last "." after the last separator; with no separator the last "." unless the text is a
// URL; -1 otherwise.
int ExtensionIndex(std::string_view path);
// The text from ExtensionIndex on, dot included; "" when there is none.
std::string GetExtension(std::string_view path);

}  // namespace orvanta
