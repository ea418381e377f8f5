#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "hid/HidChannel.h"
#include "hid/HidrawEnumerator.h"
#include "tests/hid/Descriptors.h"

namespace hid {
namespace {

namespace fs = std::filesystem;

// A small sysfs tree laid out as the kernel does it: class/hidraw/hidrawN is a link to the
// node under its HID device, whose parent is the USB interface and grandparent the USB device.
class FakeSysfs : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "tessel-sysfs-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        fs::create_directories(root / "class/hidraw");
    }
    void TearDown() override { fs::remove_all(root); }

    static void write(const fs::path& file, const std::string& text)
    {
        std::ofstream(file, std::ios::binary) << text;
    }

    // interfaceNumber < 0: no USB interface above (HID_PHYS says it instead).
    void addNode(const std::string& name, const std::string& hidId,
                 const std::vector<uint8_t>& descriptor, int interfaceNumber,
                 const std::string& phys = "")
    {
        const fs::path usbDevice = root / "devices/usb1" / name;
        const fs::path usbInterface = usbDevice / "intf";
        const fs::path hidDevice = usbInterface / ("0003:" + hidId);
        fs::create_directories(hidDevice / "hidraw" / name);
        write(usbDevice / "bcdDevice", "0102\n");
        if (interfaceNumber >= 0) {
            char text[8];
            std::snprintf(text, sizeof text, "%02x\n", interfaceNumber);
            write(usbInterface / "bInterfaceNumber", text);
        }
        write(hidDevice / "uevent", "DRIVER=hid-generic\nHID_ID=0003:0000" + hidId.substr(0, 4) +
                                        ":0000" + hidId.substr(5, 4) + "\nHID_PHYS=" + phys + "\n");
        write(hidDevice / "report_descriptor", std::string(descriptor.begin(), descriptor.end()));
        fs::create_directory_symlink(hidDevice, hidDevice / "hidraw" / name / "device");
        fs::create_directory_symlink(hidDevice / "hidraw" / name, root / "class/hidraw" / name);
    }

    fs::path root;
};

TEST_F(FakeSysfs, EveryCollectionOfEveryNodeBecomesAPath)
{
    addNode("hidraw10", "3A17:5055", test::kGamingKeyboard, 1);
    addNode("hidraw2", "0C76:1630", test::kHeadset, 3);
    addNode("hidraw3", "046D:C077", test::kMouse, -1, "usb-0000:00:14.0-2/input0");
    addNode("hidraw4", "1234:5678", {0x05, 0x01, 0x26}, 0);  // descriptor cut off: left out

    const std::vector<std::string> expected = {
        "/dev/hidraw2#vid_0c76&pid_1630&mi_03",
        "/dev/hidraw3#vid_046d&pid_c077&mi_00",
        "/dev/hidraw10#vid_3a17&pid_5055&mi_01&col01",
        "/dev/hidraw10#vid_3a17&pid_5055&mi_01&col02",
        "/dev/hidraw10#vid_3a17&pid_5055&mi_01&col03",
        "/dev/hidraw10#vid_3a17&pid_5055&mi_01&col04",
    };
    EXPECT_EQ(HidrawEnumerator::paths(root.string()), expected);

    HidrawEnumerator::Node node;
    ASSERT_TRUE(HidrawEnumerator::readNode(root.string(), "hidraw10", node));
    EXPECT_EQ(node.attributes.vendorId, 0x3A17);
    EXPECT_EQ(node.attributes.productId, 0x5055);
    EXPECT_EQ(node.attributes.versionNumber, 0x0102);
    EXPECT_EQ(node.interfaceNumber, 1u);
    EXPECT_EQ(node.descriptor, test::kGamingKeyboard);

    // The channel lists the same paths when no simulator folder is set.
    ::unsetenv("TESSEL_SIM_DIR");
    HidChannel::setSysfsRoot(root.string());
    HidChannel ch;
    ASSERT_TRUE(ch.listDevices());
    std::vector<std::string> listed;
    for (std::string p = ch.nextDevicePath(); !p.empty(); p = ch.nextDevicePath())
        listed.push_back(p);
    EXPECT_EQ(listed, expected);
    HidChannel::setSysfsRoot("/sys");
}

TEST_F(FakeSysfs, OpenTakesTheNodesFactsAndRefusesAReusedNode)
{
    addNode("hidraw10", "3A17:5055", test::kGamingKeyboard, 1);
    // A regular file stands in for the node: opening needs only the file, the facts come
    // from sysfs by the node's name.
    fs::create_directories(root / "dev");
    write(root / "dev/hidraw10", "");
    HidChannel::setSysfsRoot(root.string());
    const std::string node = (root / "dev/hidraw10").string();

    HidChannel ch;
    ASSERT_TRUE(ch.open(node + "#vid_3a17&pid_5055&mi_01&col04", true, true, true, false));
    EXPECT_EQ(ch.caps().usagePage, 0xFF1C);
    EXPECT_EQ(ch.caps().outputReportByteLength, 65);
    EXPECT_EQ(ch.attributes().versionNumber, 0x0102);
    EXPECT_EQ(ch.collectionNumber(), 4u);

    // Presence checks open with no access: that works, moving reports does not.
    ASSERT_TRUE(ch.open(node + "#vid_3a17&pid_5055&mi_01&col03", false, false, true, false));
    EXPECT_EQ(ch.caps().usagePage, 0x0C);
    uint8_t buffer[3] = {};
    uint32_t n = 0;
    EXPECT_FALSE(ch.readReport(buffer, 3, &n, 10));

    const struct {
        const char* tokens;
    } stale[] = {{"#vid_3a17&pid_5088&mi_01&col04"}, {"#vid_0c76&pid_5055&mi_01&col04"},
                 {"#vid_3a17&pid_5055&mi_02&col04"}, {"#vid_3a17&pid_5055&mi_01&col05"}};
    for (const auto& c : stale) {
        SCOPED_TRACE(c.tokens);
        EXPECT_FALSE(ch.open(node + c.tokens, true, true, true, false));
        EXPECT_FALSE(ch.isOpen());
    }
    HidChannel::setSysfsRoot("/sys");
}

TEST_F(FakeSysfs, NoHidrawClassIsAnEmptyList)
{
    EXPECT_TRUE(HidrawEnumerator::paths((root / "nothing-here").string()).empty());
}

}  // namespace
}  // namespace hid
