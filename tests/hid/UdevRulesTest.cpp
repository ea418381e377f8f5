#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <utility>

namespace {

// The rules grant device access to whoever sits at the machine, so they must name exactly the
// supported devices, in the spelling udev compares against (lower-case hexadecimal).
TEST(UdevRules, GrantAccessToTheSupportedDevicesOnly)
{
    std::ifstream in(TESSEL_SOURCE_DIR "/packaging/70-tessel.rules");
    ASSERT_TRUE(in.good());
    const std::regex rule(
        R"re(SUBSYSTEM=="hidraw", ATTRS\{idVendor\}=="([0-9a-f]{4})", ATTRS\{idProduct\}=="([0-9a-f]{4})", TAG\+="uaccess")re");
    std::set<std::pair<std::string, std::string>> devices;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, rule)) << line;
        devices.insert({m[1], m[2]});
    }
    const std::set<std::pair<std::string, std::string>> expected = {
        {"3a17", "5055"}, {"3a17", "5088"}, {"3a17", "221c"},
        {"3a17", "221d"}, {"3a17", "1004"}, {"0c76", "1630"},
    };
    EXPECT_EQ(devices, expected);
    // uaccess becomes an ACL in 73-seat-late.rules; a later file would tag too late.
    EXPECT_LT(std::string("70-tessel.rules"), std::string("73-seat-late.rules"));
}

}  // namespace
