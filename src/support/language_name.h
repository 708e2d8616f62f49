// The short name of a language for lists and the status panel: "English" rather than
// "English (United States)".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvanta {

// The callers kept language names in 260-byte buffers with a terminating zero.
inline constexpr size_t kLanguageNameMaxBytes = 259;

// The name without its parenthesised part: cut at the first blank that is not the first
// character and is followed by '('. Then at most kLanguageNameMaxBytes bytes, ending on a whole
// UTF-8 character.
std::string ShortenLanguageName(std::string_view name);

// The localised name of a LANGID (primary-only ones such as 9 included), shortened as above; ""
// when there is no name for it.
std::string ShortLanguageName(uint32_t languageId);

}  // namespace orvanta
