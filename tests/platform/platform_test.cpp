#include "platform/process.h"
#include "platform/program_path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvanta::platform {
namespace {

using Args = std::vector<std::string>;

TEST(SplitParametersTest, QuotesAndBackslashesFollowTheWindowsRules) {
    // clang-format off
    const std::pair<std::string, Args> cases[] = {
        {"", {}},
        {"  a  b\tc ", {"a", "b", "c"}},
        {"/S \"C:\\Program Files\\x\" /v", {"/S", "C:\\Program Files\\x", "/v"}},
        {"a\\\\\"b c\"", {"a\\b c"}},  // 2n backslashes, the quote groups
        {"a\\\"b", {"a\"b"}},          // 2n+1 backslashes, a literal quote
        {"a\\b \"\"", {"a\\b", ""}},   // an empty quoted argument
        {"\"unterminated arg", {"unterminated arg"}},
    };
    // clang-format on
    for (const auto& [text, args] : cases) {
        EXPECT_EQ(SplitParameters(text), args) << text;
    }
    EXPECT_EQ(BuildCommandLine("/opt/ovserver", {"/start", "/config:/srv/my station.ini", ""}),
              "\"/opt/ovserver\" /start \"/config:/srv/my station.ini\" \"\"");
}

}  // namespace
}  // namespace orvanta::platform
