// Weekday names as the user's locale writes them, for lists in which the week runs from Monday
// to Sunday. Windows reads them from the user's locale settings (LOCALE_SDAYNAME1..7); here
// ICU's default locale, which follows the environment (LC_ALL, LC_TIME, LANG), stands for those.
#pragma once

#include <string>
#include <vector>

namespace orvanta::platform {

inline constexpr int kDaysPerWeek = 7;

// The full names of the seven days in `locale` (an ICU locale id such as "de_DE"; empty for
// the user's default locale), Monday first and Sunday last, as UTF-8. Empty when ICU has no
// names at all.
std::vector<std::string> WeekdayNames(const std::string& locale = {});

}  // namespace orvanta::platform
