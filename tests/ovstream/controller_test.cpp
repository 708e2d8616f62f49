// The controller's options beside its operations: each name lands in its own field of the
// settings the engine starts with, in its own form.
#include "engine/controller.h"

#include <gtest/gtest.h>

#include <orvanta/service_options.h>

namespace orvanta::engine {
namespace {

const ModuleIdentity kIdentity = {
    {'O', 'V', 'T', 'E', 'S', 'T', ' ', ' '}, "test.so", "test", 0, {0, 0}};

// The console's credentials arrive as their stored hashes and the address list as written; the
// console is off, and plain HTTP serves only this machine, until they are set.
TEST(ControllerTest, AdminOptionsReachTheEngineSettingsByName) {
    Controller controller(kIdentity);
    EngineSettings s = controller.Snapshot();
    EXPECT_EQ(s.adminUser, "admin");
    EXPECT_EQ(s.adminPasswordHash, "");
    EXPECT_FALSE(s.adminAllowPlainHttp);
    EXPECT_EQ(s.adminAllowFrom, "");
    EXPECT_EQ(s.adminApiTokenHash, "");

    const std::string hash =
        "pbkdf2-sha256$1000$AAECAwQFBgcICQoLDA0ODw==$beM5rf90KpCcAQg9rqzVJDXHDURZ"
        "od+A0rjTFF0Nlfo=";
    const std::string token =
        "sha256$ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    EXPECT_TRUE(controller.SetOption(ORVANTA_OPTION_ADMIN_USER, "ann"));
    EXPECT_TRUE(controller.SetOption(ORVANTA_OPTION_ADMIN_PASSWORD_HASH, hash));
    EXPECT_TRUE(controller.SetOption(ORVANTA_OPTION_ADMIN_ALLOW_PLAIN_HTTP, "1"));
    EXPECT_TRUE(controller.SetOption(ORVANTA_OPTION_ADMIN_ALLOW_FROM, "127.0.0.1, 10.0.0.0/8 ::1"));
    EXPECT_TRUE(controller.SetOption(ORVANTA_OPTION_ADMIN_API_TOKEN, token));
    s = controller.Snapshot();
    EXPECT_EQ(s.adminUser, "ann");
    EXPECT_EQ(s.adminPasswordHash, hash);
    EXPECT_TRUE(s.adminAllowPlainHttp);
    EXPECT_EQ(s.adminAllowFrom, "127.0.0.1, 10.0.0.0/8 ::1");
    EXPECT_EQ(s.adminApiTokenHash, token);

    EXPECT_FALSE(controller.SetOption(ORVANTA_OPTION_ADMIN_ALLOW_PLAIN_HTTP, "yes"))
        << "a flag is a number";
    EXPECT_TRUE(controller.Snapshot().adminAllowPlainHttp) << "a refused value changes nothing";
    EXPECT_TRUE(controller.SetOption(ORVANTA_OPTION_ADMIN_ALLOW_PLAIN_HTTP, "0"));
    EXPECT_TRUE(controller.SetOption(ORVANTA_OPTION_ADMIN_PASSWORD_HASH, ""));
    s = controller.Snapshot();
    EXPECT_FALSE(s.adminAllowPlainHttp);
    EXPECT_EQ(s.adminPasswordHash, "") << "the console turned off again";
}

}  // namespace
}  // namespace orvanta::engine
