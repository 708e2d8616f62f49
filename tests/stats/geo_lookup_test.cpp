// Countries of addresses, looked up in MaxMind-format databases the test writes itself.
#include "stats/geo_lookup.h"

#include "stats/mmdb_file.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <unistd.h>

namespace orvanta::engine {
namespace {

// What the station's own test networks are placed in.
test::MmdbFile Countries(int ipVersion) {
    test::MmdbFile file(ipVersion);
    file.Add("127.0.0.0/8", "country", "NZ");
    file.Add("127.0.0.2/32", "country", "CA");
    // Known only by where the network is registered.
    file.Add("127.0.0.3/32", "registered_country", "AU");
    // Not a country code at all.
    file.Add("127.0.0.4/32", "country", "N1");
    file.Add("127.0.0.5/32", "country", "nl");
    if (ipVersion == 6) {
        file.Add("2001:db8::/32", "country", "JP");
    }
    return file;
}

class GeoLookupTest : public ::testing::Test {
protected:
    std::unique_ptr<GeoLookup> Open(const std::string& bytes, std::string* error = nullptr) {
        test::WriteFile(m_path, bytes);
        std::string why;
        auto lookup = GeoLookup::Open(m_path, &why);
        if (error != nullptr) {
            *error = why;
        }
        EXPECT_EQ(lookup == nullptr, !why.empty()) << why;
        return lookup;
    }

    test::TempDir m_dir;
    const std::string m_path = m_dir.File("countries.mmdb");
};

TEST_F(GeoLookupTest, AnIpv4DatabaseGivesCountriesOfItsNetworksAndNothingElse) {
    const auto lookup = Open(Countries(4).Bytes());
    ASSERT_NE(lookup, nullptr);
    EXPECT_EQ(lookup->Country("127.0.0.1"), "NZ");
    EXPECT_EQ(lookup->Country("127.255.0.9"), "NZ");
    EXPECT_EQ(lookup->Country("127.0.0.2"), "CA") << "the narrower network wins";
    EXPECT_EQ(lookup->Country("::ffff:127.0.0.2"), "CA") << "IPv4 seen on an IPv6 socket";
    EXPECT_EQ(lookup->Country("127.0.0.3"), "AU") << "the registered country when no other";
    EXPECT_EQ(lookup->Country("127.0.0.4"), "");
    EXPECT_EQ(lookup->Country("127.0.0.5"), "NL");
    EXPECT_EQ(lookup->Country("10.0.0.1"), "") << "outside every network";
    EXPECT_EQ(lookup->Country("2001:db8::1"), "") << "IPv6 in an IPv4 database";
    for (const char* notAnAddress : {"", "localhost", "127.0.0.1:8000", "127.0.0.0/8"}) {
        EXPECT_EQ(lookup->Country(notAnAddress), "") << notAnAddress;
    }
}

TEST_F(GeoLookupTest, AnIpv6DatabaseKnowsIpv6NetworksAndIpv4OnesUnderIt) {
    const auto lookup = Open(Countries(6).Bytes());
    ASSERT_NE(lookup, nullptr);
    EXPECT_EQ(lookup->Country("2001:db8::1"), "JP");
    EXPECT_EQ(lookup->Country("2001:db8:ffff::7"), "JP");
    EXPECT_EQ(lookup->Country("2001:db9::1"), "");
    EXPECT_EQ(lookup->Country("127.0.0.1"), "NZ");
    EXPECT_EQ(lookup->Country("127.0.0.2"), "CA");
    EXPECT_EQ(lookup->Country("::ffff:127.0.0.2"), "CA");
}

TEST_F(GeoLookupTest, AMissingOrForeignFileIsRefusedWithTheReason) {
    std::string error;
    EXPECT_EQ(GeoLookup::Open(m_dir.File("absent.mmdb"), &error), nullptr);
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_EQ(GeoLookup::Open(m_dir.Path(), &error), nullptr);
    EXPECT_EQ(error, "not a file");
    EXPECT_EQ(Open("", &error), nullptr);
    EXPECT_EQ(error, "an empty file");
    EXPECT_EQ(Open("#!/bin/sh\nnot a database at all\n", &error), nullptr);
    EXPECT_EQ(error, "The MaxMind DB file contains invalid metadata");
}

// Metadata whole but the tree and data cut away. Where the tree it names would not fit in what
// is left, the file is refused; where it would, it is read out of the metadata and leads
// nowhere: the file knows no address, and nothing is read past its end.
TEST_F(GeoLookupTest, AFileCutShortIsRefusedOrKnowsNoAddress) {
    const auto cut = [](const test::MmdbFile& file) {
        const std::string whole = file.Bytes();
        return whole.substr(whole.find("\xAB\xCD\xEFMaxMind.com"));
    };
    std::string error;
    EXPECT_EQ(Open(cut(Countries(6)), &error), nullptr);
    EXPECT_EQ(error, "The MaxMind DB file contains invalid metadata");
    test::MmdbFile small(4);
    small.Add("127.0.0.0/8", "country", "NZ");
    const auto lookup = Open(cut(small));
    ASSERT_NE(lookup, nullptr);
    EXPECT_EQ(lookup->Country("127.0.0.2"), "");
    EXPECT_EQ(lookup->Country("10.0.0.1"), "");
}

// The file the tests write is one the format's own command-line reader takes, so the lookup
// tests are not two halves of one misreading.
TEST_F(GeoLookupTest, TheTestDatabaseReadsTheSameWithTheFormatsOwnTool) {
    constexpr char kTool[] = "/usr/bin/mmdblookup";
    if (::access(kTool, X_OK) != 0) {
        GTEST_SKIP() << kTool << " is not installed (Debian's mmdb-bin)";
    }
    test::WriteFile(m_path, Countries(6).Bytes());
    for (const auto& [address, code] : {std::pair{"127.0.0.2", "CA"}, {"2001:db8::1", "JP"}}) {
        const std::string command = std::string(kTool) + " --file " + m_path + " --ip " + address +
                                    " country iso_code 2>&1";
        std::string out;
        if (FILE* pipe = ::popen(command.c_str(), "r"); pipe != nullptr) {
            std::array<char, 256> buffer{};
            while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) {
                out += buffer.data();
            }
            EXPECT_EQ(::pclose(pipe), 0) << out;
        }
        EXPECT_NE(out.find(std::string("\"") + code + "\""), std::string::npos) << out;
    }
}

}  // namespace
}  // namespace orvanta::engine
