#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

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
}

// The uaccess tag becomes an ACL in the system rule that runs the "uaccess" builtin
// (73-seat-late.rules); a rules file sorting after it would tag too late. The names compared are
// those of the file we ship and of the system's files where udev is installed.
TEST(UdevRules, SortBeforeTheRuleThatAppliesTheAcl)
{
    namespace fs = std::filesystem;
    std::vector<std::string> ours;
    for (const fs::directory_entry& e : fs::directory_iterator(TESSEL_SOURCE_DIR "/packaging"))
        if (e.path().extension() == ".rules")
            ours.push_back(e.path().filename().string());
    ASSERT_EQ(ours.size(), 1u) << "one rules file is installed";

    std::vector<std::string> aclRules;
    for (const char* dir : {"/usr/lib/udev/rules.d", "/lib/udev/rules.d"}) {
        std::error_code error;
        for (const fs::directory_entry& e : fs::directory_iterator(dir, error)) {
            std::ifstream in(e.path());
            const std::string text{std::istreambuf_iterator<char>(in), {}};
            if (text.find("RUN{builtin}+=\"uaccess\"") != std::string::npos)
                aclRules.push_back(e.path().filename().string());
        }
    }
    if (aclRules.empty())
        aclRules.push_back("73-seat-late.rules");  // no udev here: systemd's name for it
    for (const std::string& acl : aclRules)
        EXPECT_LT(ours[0], acl);
}

}  // namespace
