// The string table: every text the program shows, looked up by id, so that a language pack can
// replace all of them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::res {

// Texts the program's own numbers name.
inline constexpr uint32_t kStrAppCaption = 1;
inline constexpr uint32_t kStrSystemMenuAbout = 101;
inline constexpr uint32_t kStrRuntimeDownloadQuestion = 2000;
inline constexpr uint32_t kStrTrayTooltip = 2006;
inline constexpr uint32_t kStrServiceModuleNotFound = 2011;
inline constexpr uint32_t kStrServiceModuleLoadFailed = 2012;
// The module refused to start and said why (its own words, in English).
inline constexpr uint32_t kStrServiceStartRefused = 2013;
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
// The configuration file could not be written (exit step, "Save current config as...").
inline constexpr uint32_t kStrConfigSaveFailed = 10090;

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
// BEGIN general and server pages
inline constexpr uint32_t kStrOverrideSheetCaption = 202;
inline constexpr uint32_t kStrIniFileFilter = 10023;
inline constexpr uint32_t kStrAnyAddress = 10054;
inline constexpr uint32_t kStrGeneralTitle = 34000;
inline constexpr uint32_t kStrGeneralConfigFileGroup = 34001;
inline constexpr uint32_t kStrGeneralLoadConfig = 34002;
inline constexpr uint32_t kStrGeneralSaveConfig = 34003;
inline constexpr uint32_t kStrGeneralEnableLogging = 34004;
inline constexpr uint32_t kStrGeneralLogDirLabel = 34005;
inline constexpr uint32_t kStrGeneralLogFileLabel = 34006;
inline constexpr uint32_t kStrGeneralContentsGroup = 34007;
inline constexpr uint32_t kStrGeneralContentDirLabel = 34008;
inline constexpr uint32_t kStrGeneralIndexPageLabel = 34009;
inline constexpr uint32_t kStrGeneralFormatNote = 34010;
inline constexpr uint32_t kStrFormatTitle = 34020;
inline constexpr uint32_t kStrFormatMp3OrOgg = 34021;
inline constexpr uint32_t kStrFormatWma = 34022;
inline constexpr uint32_t kStrFormatEncoderLabel = 34023;
inline constexpr uint32_t kStrFormatEncoderConfig = 34024;
inline constexpr uint32_t kStrServerTitle = 34040;
inline constexpr uint32_t kStrServerLimitsGroup = 34041;
inline constexpr uint32_t kStrServerMaxListenerLabel = 34042;
inline constexpr uint32_t kStrServerPasswordGroup = 34043;
inline constexpr uint32_t kStrServerPasswordLabel = 34044;
inline constexpr uint32_t kStrServerBandwidthNote = 34045;
inline constexpr uint32_t kStrServerBandwidthExample = 34046;
inline constexpr uint32_t kStrNetworkTitle = 34060;
inline constexpr uint32_t kStrNetworkGroup = 34061;
inline constexpr uint32_t kStrNetworkPortLabel = 34062;
inline constexpr uint32_t kStrNetworkBindLabel = 34063;
inline constexpr uint32_t kStrNetworkTimeoutLabel = 34064;
inline constexpr uint32_t kStrNetworkOverrideGroup = 34065;
inline constexpr uint32_t kStrNetworkOverrideButton = 34066;
inline constexpr uint32_t kStrNetworkNicNote = 34067;
inline constexpr uint32_t kStrNetworkRouterNote = 34068;
// The Network page's "Secure connections" group: the certificate chain and key (PEM files).
inline constexpr uint32_t kStrNetworkTlsGroup = 34069;
inline constexpr uint32_t kStrNetworkTlsCertificateLabel = 34070;
inline constexpr uint32_t kStrNetworkTlsKeyLabel = 34071;
inline constexpr uint32_t kStrNetworkTlsBrowse = 34072;
inline constexpr uint32_t kStrNetworkTlsNote = 34073;
inline constexpr uint32_t kStrNetworkTlsFileFilter = 34074;
inline constexpr uint32_t kStrOverrideTitle = 34080;
inline constexpr uint32_t kStrOverrideGroup = 34081;
inline constexpr uint32_t kStrOverrideUsePreexisting = 34082;
inline constexpr uint32_t kStrOverrideEditAddress = 34083;
inline constexpr uint32_t kStrOverrideAddressLabel = 34084;
inline constexpr uint32_t kStrOverridePortLabel = 34085;
// The sheet's own messages when a number field does not hold a number, or one out of range.
inline constexpr uint32_t kStrFieldNotUnsigned = 34090;
inline constexpr uint32_t kStrFieldOutOfRange = 34091;
// END general and server pages
// BEGIN private page and list view
// Private page (dialog 178): the user list's column headers and its messages.
inline constexpr uint32_t kStrPrivateUsernameColumn = 10052;
inline constexpr uint32_t kStrPrivatePasswordColumn = 10053;
inline constexpr uint32_t kStrPrivateUserInvalid = 10061;
inline constexpr uint32_t kStrPrivateUserExists = 10063;
inline constexpr uint32_t kStrPrivateDeleteQuestion = 10064;
inline constexpr uint32_t kStrPrivateTitle = 36000;
inline constexpr uint32_t kStrPrivateEnable = 36001;
inline constexpr uint32_t kStrPrivateGroup = 36002;
inline constexpr uint32_t kStrPrivateAdd = 36003;
inline constexpr uint32_t kStrPrivateDelete = 36004;
inline constexpr uint32_t kStrPrivateWmaNote = 36005;
// New-user dialog (dialog 182).
inline constexpr uint32_t kStrNewUserTitle = 36020;
inline constexpr uint32_t kStrNewUserIdLabel = 36021;
inline constexpr uint32_t kStrNewUserPasswordLabel = 36022;
inline constexpr uint32_t kStrNewUserAdd = 36023;
inline constexpr uint32_t kStrNewUserCancel = 36024;
// END private page and list view
// BEGIN language page
// Language page (dialog 412): the list's item for "no language chosen" and the page's texts.
inline constexpr uint32_t kStrDefaultLanguage = 10071;
inline constexpr uint32_t kStrLanguageTitle = 37000;
inline constexpr uint32_t kStrLanguageDisablePack = 37001;
inline constexpr uint32_t kStrLanguageAvailableLabel = 37002;
inline constexpr uint32_t kStrLanguageRestartNote = 37003;
// END language page
// BEGIN station and schedule pages
// Schedule page: hour list items (printf widths, "%2d AM") and the unused-slot item of the
// weekday lists of slots 2 and 3.
inline constexpr uint32_t kStrHourAm = 2067;
inline constexpr uint32_t kStrHourPm = 2068;
inline constexpr uint32_t kStrSelectWeekday = 2069;
// Station page: age groups (Generation 1..5) and talk choices (Ment 1..2); position 0 of both
// lists is kStrNotSelected.
inline constexpr uint32_t kStrGenerationAll = 2077;
inline constexpr uint32_t kStrGenerationTeens = 2078;
inline constexpr uint32_t kStrGeneration20s = 2079;
inline constexpr uint32_t kStrGeneration30s = 2080;
inline constexpr uint32_t kStrGeneration40sAndOver = 2081;
inline constexpr uint32_t kStrMentWith = 2082;
inline constexpr uint32_t kStrMentWithout = 2083;
inline constexpr uint32_t kStrNotSelected = 2084;
// Station page (dialog 421).
inline constexpr uint32_t kStrStationTitle = 35000;
inline constexpr uint32_t kStrStationClusterGroup = 35001;
inline constexpr uint32_t kStrStationClusterCheck = 35002;
inline constexpr uint32_t kStrStationClusterNote = 35003;
inline constexpr uint32_t kStrStationGeneralGroup = 35004;
inline constexpr uint32_t kStrStationLanguageLabel = 35005;
inline constexpr uint32_t kStrStationGenreLabel = 35006;
inline constexpr uint32_t kStrStationGenerationLabel = 35007;
inline constexpr uint32_t kStrStationMentLabel = 35008;
inline constexpr uint32_t kStrStationGeneralNote = 35009;
// Metadata page (dialog 181).
inline constexpr uint32_t kStrMetadataTitle = 35050;
inline constexpr uint32_t kStrMetadataTitleGroup = 35051;
inline constexpr uint32_t kStrMetadataTitleNote = 35052;
inline constexpr uint32_t kStrMetadataTitleMeaning = 35053;
inline constexpr uint32_t kStrMetadataTitleExample = 35054;
inline constexpr uint32_t kStrMetadataUrlGroup = 35055;
inline constexpr uint32_t kStrMetadataUrlNote = 35056;
inline constexpr uint32_t kStrMetadataUrlMeaning = 35057;
inline constexpr uint32_t kStrMetadataUrlExample = 35058;
inline constexpr uint32_t kStrMetadataLengthNote = 35059;
inline constexpr uint32_t kStrMetadataFormatNote = 35060;
// Directory Server page (dialog 234).
inline constexpr uint32_t kStrDirectoryTitle = 35100;
inline constexpr uint32_t kStrDirectoryGroup = 35101;
inline constexpr uint32_t kStrDirectoryPublicServer = 35102;
inline constexpr uint32_t kStrDirectoryShoutcast = 35103;
inline constexpr uint32_t kStrDirectoryShoutcastFormatNote = 35104;
inline constexpr uint32_t kStrDirectoryShoutcastTitleNote = 35105;
// Schedule page (dialog 268).
inline constexpr uint32_t kStrPlanTitle = 35150;
inline constexpr uint32_t kStrPlanGroup = 35151;
inline constexpr uint32_t kStrPlanAroundTheClock = 35152;
inline constexpr uint32_t kStrPlanDaily = 35153;
inline constexpr uint32_t kStrPlanWeekly = 35154;
inline constexpr uint32_t kStrPlanIrregular = 35155;
inline constexpr uint32_t kStrPlanDailyFrom = 35156;
inline constexpr uint32_t kStrPlanTo = 35157;
inline constexpr uint32_t kStrPlanWeeklyFrom = 35158;
// END station and schedule pages

inline constexpr uint32_t kStrButtonOk = 33000;
inline constexpr uint32_t kStrButtonCancel = 33001;

// The text of an id: from the language pack's table when one is installed and has the id,
// else the built-in text; "" when neither has it.
std::string LoadString(uint32_t id);

// A language pack's texts by id.
using StringTable = std::map<uint32_t, std::string>;
// Puts a language pack's table in front of the built-in texts for every later LoadString, on
// any thread; null leaves the built-in texts alone in force.
void SetStringOverride(std::shared_ptr<const StringTable> table);

// Every id of the built-in table, ascending: what a complete language pack translates.
std::vector<uint32_t> AllStringIds();

// Fills a format text from the table with arguments already turned into text: each "%s", "%d"
// or other single-letter conversion takes the next argument, padded to the conversion's width
// (on the right with '-', with zeros with '0' for a number), "%%" gives "%". A text from a
// language pack is outside input, so unlike printf this never reads past the arguments it was
// given: a conversion without an argument becomes "", and widths are capped at 64.
std::string FormatString(std::string_view format, std::initializer_list<std::string_view> args);

}  // namespace orvanta::res
