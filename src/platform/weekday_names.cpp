#include "platform/weekday_names.h"

#include <unicode/dtfmtsym.h>
#include <unicode/locid.h>
#include <unicode/ucal.h>
#include <unicode/unistr.h>
#include <utility>

namespace orvanta::platform {

std::vector<std::string> WeekdayNames(const std::string& locale) {
    const icu::Locale where =
        locale.empty() ? icu::Locale::getDefault() : icu::Locale(locale.c_str());
    UErrorCode status = U_ZERO_ERROR;
    const icu::DateFormatSymbols symbols(where, status);
    if (U_FAILURE(status)) {
        return {};
    }
    // ICU numbers the days as its calendar does: 1 Sunday to 7 Saturday, index 0 unused.
    int32_t count = 0;
    const icu::UnicodeString* days = symbols.getWeekdays(count);
    if (days == nullptr || count <= UCAL_SATURDAY) {
        return {};
    }
    std::vector<std::string> names;
    names.reserve(kDaysPerWeek);
    for (const int day : {UCAL_MONDAY, UCAL_TUESDAY, UCAL_WEDNESDAY, UCAL_THURSDAY, UCAL_FRIDAY,
                          UCAL_SATURDAY, UCAL_SUNDAY}) {
        std::string name;
        days[day].toUTF8String(name);
        names.push_back(std::move(name));
    }
    return names;
}

}  // namespace orvanta::platform
