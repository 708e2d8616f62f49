#include "res/string_table.h"

#include <gtest/gtest.h>

namespace orvanta::res {
namespace {

TEST(FormatStringTest, ConversionsTakeTheArgumentsInOrderPaddedToTheirWidth) {
    EXPECT_EQ(FormatString(LoadString(2067), {"1"}), " 1 AM");
    EXPECT_EQ(FormatString(LoadString(2067), {"12"}), "12 AM");
    EXPECT_EQ(FormatString("( %2d / %2d )", {"3", "120"}), "(  3 / 120 )");
    EXPECT_EQ(FormatString("[%-4s|%05d|%03d]", {"ab", "-12", "7"}), "[ab  |-0012|007]");
    EXPECT_EQ(FormatString("%3.3f Mbytes", {"1.000"}), "1.000 Mbytes");
    EXPECT_EQ(FormatString("100%% %s", {"done"}), "100% done");
}

TEST(FormatStringTest, TextsFromOutsideCannotReachPastTheArguments) {
    // A language pack's text may hold more conversions than the program passes.
    EXPECT_EQ(FormatString("%s and %s and %n", {"one"}), "one and  and ");
    // A huge width is capped rather than honoured.
    EXPECT_EQ(FormatString("%999999999999d", {"1"}).size(), 64u);
    EXPECT_EQ(FormatString("ends in %", {}), "ends in %");
    EXPECT_EQ(FormatString("ends in %-12", {"x"}), "ends in %-12");
}

}  // namespace
}  // namespace orvanta::res
