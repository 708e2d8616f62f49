// The string table: every text the program shows, looked up by id, so that a language pack can
// replace all of them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace orvanta::res {

// Texts the program's own numbers name.
inline constexpr uint32_t kStrAppCaption = 1;
inline constexpr uint32_t kStrSystemMenuAbout = 101;
inline constexpr uint32_t kStrRuntimeDownloadQuestion = 2000;
inline constexpr uint32_t kStrTrayTooltip = 2006;
inline constexpr uint32_t kStrServiceModuleNotFound = 2011;
inline constexpr uint32_t kStrServiceModuleLoadFailed = 2012;
// Genre code c is shown as string kStrGenreBase + c / 100 (2020 "Alternative" for 100).
inline constexpr uint32_t kStrGenreBase = 2019;
inline constexpr uint32_t kStrLabelSourceStatus = 2055;
inline constexpr uint32_t kStrLabelSourcePort = 2056;
inline constexpr uint32_t kStrLabelClientPort = 2057;
inline constexpr uint32_t kStrLabelGenre = 2058;
inline constexpr uint32_t kStrLabelLanguage = 2059;
inline constexpr uint32_t kStrLabelReceived = 2060;
inline constexpr uint32_t kStrLabelSent = 2061;
inline constexpr uint32_t kStrLabelOnAirTime = 2062;
inline constexpr uint32_t kStrSourceConnected = 2064;
inline constexpr uint32_t kStrSourceNotConnected = 2065;
inline constexpr uint32_t kStrStartFailedPortOccupied = 2066;
inline constexpr uint32_t kStrLabelPrivateBroadcast = 2087;
inline constexpr uint32_t kStrLabelShoutcastRegister = 2090;
inline constexpr uint32_t kStrYes = 2091;
inline constexpr uint32_t kStrNo = 2092;
inline constexpr uint32_t kStrConfigSheetCaption = 10035;
inline constexpr uint32_t kStrDisconnectQuestion = 10065;
inline constexpr uint32_t kStrCommandLineParseFailed = 10070;

// Texts of windows, controls and menus, numbered here so that a language pack can replace
// them too: 30000 + the number of the window (102 main window, 100 About box, 230 tray menu)
// times ten, plus the control's place.
inline constexpr uint32_t kStrNotAvailable = 30001;  // genre and language of a cluster member
inline constexpr uint32_t kStrMainTitle = 31020;
inline constexpr uint32_t kStrMainStart = 31021;
inline constexpr uint32_t kStrMainStop = 31022;
inline constexpr uint32_t kStrMainConfig = 31023;
inline constexpr uint32_t kStrAboutTitle = 31000;
inline constexpr uint32_t kStrAboutClose = 31001;
inline constexpr uint32_t kStrAboutProduct = 31002;
inline constexpr uint32_t kStrAboutVersion = 31003;
inline constexpr uint32_t kStrAboutHomepage = 31004;
inline constexpr uint32_t kStrAboutForum = 31005;
inline constexpr uint32_t kStrAboutNotice = 31006;
inline constexpr uint32_t kStrTrayStart = 32300;
inline constexpr uint32_t kStrTrayStop = 32301;
inline constexpr uint32_t kStrTrayConfig = 32303;
inline constexpr uint32_t kStrTrayAbout = 32305;
inline constexpr uint32_t kStrTrayExit = 32307;
inline constexpr uint32_t kStrButtonOk = 33000;
inline constexpr uint32_t kStrButtonCancel = 33001;
inline constexpr uint32_t kStrConfigSheetPending = 33002;

// The text of an id; "" when the table has no such id.
std::string LoadString(uint32_t id);

// Fills a format text from the table with arguments already turned into text: each "%s", "%d"
// or other single-letter conversion (with any flags or width) takes the next argument, "%%"
// gives "%". A text from a language pack is outside input, so unlike printf this never reads
// past the arguments it was given: a conversion without an argument becomes "".
std::string FormatString(std::string_view format, std::initializer_list<std::string_view> args);

}  // namespace orvanta::res
