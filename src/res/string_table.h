// The string table: every text the program shows, looked up by id, so that a language pack can
// replace all of them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace orvanta::res {

inline constexpr uint32_t kStrAppCaption = 1;
inline constexpr uint32_t kStrRuntimeDownloadQuestion = 2000;
inline constexpr uint32_t kStrServiceModuleNotFound = 2011;
inline constexpr uint32_t kStrServiceModuleLoadFailed = 2012;
inline constexpr uint32_t kStrStartFailedPortOccupied = 2066;
inline constexpr uint32_t kStrCommandLineParseFailed = 10070;

// The text of an id; "" when the table has no such id.
std::string LoadString(uint32_t id);

// Fills a format text from the table with arguments already turned into text: each "%s", "%d"
// or other single-letter conversion (with any flags or width) takes the next argument, "%%"
// gives "%". A text from a language pack is outside input, so unlike printf this never reads
// past the arguments it was given: a conversion without an argument becomes "".
std::string FormatString(std::string_view format, std::initializer_list<std::string_view> args);

}  // namespace orvanta::res
