// The real hidraw path end to end under umockdev: the emulated sysfs, device nodes and udev
// events of a keyboard with our ids, read by the real HidrawEnumerator, HidrawBackend,
// HidChannel, DeviceCapture and UdevMonitor. Runs under umockdev-wrapper (LD_PRELOAD), as a
// normal user (ctest drops root to nobody, so a mode-000 node really cannot be opened).
#include <gtest/gtest.h>

#include <umockdev.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <linux/hidraw.h>
#include <set>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "hid/DeviceAccess.h"
#include "hid/DeviceCapture.h"
#include "hid/HidChannel.h"
#include "hid/HidrawBackend.h"
#include "hid/HidrawEnumerator.h"
#include "hid/UdevMonitor.h"
#include "tests/hid/Descriptors.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class Umockdev : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* preload = std::getenv("LD_PRELOAD");
        if (!preload || !std::strstr(preload, "libumockdev-preload"))
            GTEST_SKIP() << "not under umockdev-wrapper (LD_PRELOAD of libumockdev-preload)";
        bed = umockdev_testbed_new();
        ASSERT_NE(bed, nullptr);
    }
    void TearDown() override
    {
        if (bed)
            g_object_unref(bed);
    }

    // One USB device with one HID interface and its hidraw node. `descriptor` empty: the HID
    // device has no report_descriptor file in sysfs (the kernel's ioctls must tell it).
    // Returns the hidraw device's sysfs path.
    std::string addHidraw(const char* vendor, const char* product, int interfaceNumber, int node,
                          const std::vector<uint8_t>& descriptor)
    {
        const std::string usbName = "usb-" + std::to_string(node);
        gchar* usb = umockdev_testbed_add_device(bed, "usb", usbName.c_str(), nullptr,
                                                 "idVendor", vendor, "idProduct", product, "bcdDevice", "0102", nullptr,
                                                 "DEVTYPE", "usb_device", nullptr);
        char number[8];
        std::snprintf(number, sizeof number, "%02x", interfaceNumber);
        const std::string intfName = usbName + ":1." + std::to_string(interfaceNumber);
        gchar* intf = umockdev_testbed_add_device(bed, "usb", intfName.c_str(), usb, "bInterfaceNumber", number, nullptr,
                                                  "DEVTYPE", "usb_interface", nullptr);
        char hidId[64], hidName[64];
        std::snprintf(hidId, sizeof hidId, "0003:0000%s:0000%s", vendor, product);
        std::snprintf(hidName, sizeof hidName, "0003:%s:%s.%04d", vendor, product, node);
        gchar* hid = umockdev_testbed_add_device(bed, "hid", hidName, intf, nullptr, "HID_ID", hidId, nullptr);
        if (!descriptor.empty())
            umockdev_testbed_set_attribute_binary(bed, hid, "report_descriptor", const_cast<guint8*>(descriptor.data()), gssize(descriptor.size()));
        const std::string name = "hidraw" + std::to_string(node);
        const std::string devname = "/dev/" + name;
        const std::string minor = std::to_string(node);
        // From the record format, which makes the node a pseudo-terminal whose other end the
        // test holds (umockdev_testbed_get_dev_fd).
        const std::string record = "P: " + std::string(hid + 4) + "/hidraw/" + name + "\nN: " + name +
                                   "\nE: SUBSYSTEM=hidraw\nE: DEVNAME=" + devname + "\nA: dev=240:" + minor + "\n";
        GError* error = nullptr;
        const bool added = umockdev_testbed_add_from_string(bed, record.c_str(), &error);
        EXPECT_TRUE(added) << (error ? error->message : "");
        if (error)
            g_error_free(error);
        gchar* raw = added ? g_strdup((std::string(hid) + "/hidraw/" + name).c_str()) : nullptr;
        // The kernel's "device" link from the hidraw node to its HID device (umockdev makes none).
        if (raw)
            umockdev_testbed_set_attribute_link(bed, raw, "device", "../..");
        std::string out = raw ? raw : "";
        g_free(usb);
        g_free(intf);
        g_free(hid);
        g_free(raw);
        return out;
    }

    std::string devFile(const std::string& node) const
    {
        gchar* root = umockdev_testbed_get_root_dir(bed);
        std::string out = std::string(root) + node;
        g_free(root);
        return out;
    }

    UMockdevTestbed* bed = nullptr;
};

std::vector<std::string> allPaths()
{
    hid::HidChannel lister;
    std::vector<std::string> out;
    if (!lister.listDevices())
        return out;
    for (std::string p = lister.nextDevicePath(); !p.empty(); p = lister.nextDevicePath())
        out.push_back(p);
    lister.freeDeviceList();
    return out;
}

TEST_F(Umockdev, DiscoveryRegistersExactlyTheSupportedInterfaces)
{
    // The keyboard's gaming interface (four collections), its boot interface (not in the
    // table) and another maker's mouse.
    addHidraw("3A17", "5055", 1, 0, hid::test::kGamingKeyboard);
    addHidraw("3A17", "5055", 0, 1, hid::test::kBootKeyboard);
    addHidraw("046D", "C077", 0, 2, hid::test::kMouse);

    const std::vector<std::string> paths = allPaths();
    EXPECT_EQ(paths.size(), 6u) << "4 collections + 2 single-collection nodes";
    EXPECT_NE(std::find(paths.begin(), paths.end(), "/dev/hidraw0#vid_3a17&pid_5055&mi_01&col04"), paths.end());

    hid::InterfaceRegister reg;
    std::set<int> found;
    hid::DeviceCapture::Callbacks callbacks;
    callbacks.found = [&](int i) {
        found.insert(i);
        return true;
    };
    hid::DeviceCapture capture(reg, callbacks);
    capture.ScanOnce();
    // Rows 0 and 1: the cabled keyboard's command and notification collections, nothing else.
    EXPECT_EQ(found, (std::set<int>{0, 1}));
    EXPECT_EQ(reg.Entry(0)->path, "/dev/hidraw0#vid_3a17&pid_5055&mi_01&col04");
    EXPECT_EQ(reg.Entry(1)->path, "/dev/hidraw0#vid_3a17&pid_5055&mi_01&col03");
}

TEST_F(Umockdev, ACommandGoesOutAndItsAnswerComesBack)
{
    addHidraw("3A17", "5055", 1, 0, hid::test::kGamingKeyboard);
    const int device = umockdev_testbed_get_dev_fd(bed, "/dev/hidraw0");
    ASSERT_GE(device, 0) << "the emulated node's other end";
    // The node is a pseudo-terminal: bytes pass unchanged only in raw mode.
    termios tio{};
    ASSERT_EQ(::tcgetattr(device, &tio), 0);
    ::cfmakeraw(&tio);
    ASSERT_EQ(::tcsetattr(device, TCSANOW, &tio), 0);

    hid::HidChannel channel;
    ASSERT_TRUE(channel.open("/dev/hidraw0#vid_3a17&pid_5055&mi_01&col04", true, true, true, false));
    EXPECT_EQ(channel.attributes().vendorId, 0x3A17);
    EXPECT_EQ(channel.attributes().versionNumber, 0x0102) << "bcdDevice of the USB device";
    EXPECT_EQ(channel.caps().usagePage, 0xFF1C);

    std::vector<uint8_t> command(65, 0);
    command[0] = 0x04;  // the vendor collection's report ID
    command[1] = 0x5A;
    command[64] = 0xA5;
    uint32_t sent = 0;
    ASSERT_TRUE(channel.writeReport(command.data(), uint32_t(command.size()), &sent, 2000));
    EXPECT_EQ(sent, command.size());

    std::vector<uint8_t> onWire(65, 0);
    size_t got = 0;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (got < onWire.size() && std::chrono::steady_clock::now() < deadline) {
        const ssize_t n = ::read(device, onWire.data() + got, onWire.size() - got);
        if (n > 0)
            got += size_t(n);
        else
            std::this_thread::sleep_for(1ms);
    }
    ASSERT_EQ(got, onWire.size());
    EXPECT_EQ(onWire, command);

    std::vector<uint8_t> answer(65, 0);
    answer[0] = 0x04;
    answer[1] = 0x5A;
    answer[2] = 0x01;
    ASSERT_EQ(::write(device, answer.data(), answer.size()), ssize_t(answer.size()));
    std::vector<uint8_t> read(65, 0);
    uint32_t transferred = 0;
    ASSERT_TRUE(channel.readReport(read.data(), uint32_t(read.size()), &transferred, 5000));
    EXPECT_EQ(transferred, answer.size());
    EXPECT_EQ(read, answer);
}

TEST_F(Umockdev, PlugAndUnplugWakeTheMonitorAndUnplugIsARemoval)
{
    hid::UdevMonitor monitor;
    ASSERT_TRUE(monitor.start());
    const std::string syspath = addHidraw("3A17", "5055", 1, 0, hid::test::kGamingKeyboard);
    umockdev_testbed_uevent(bed, syspath.c_str(), "add");
    EXPECT_TRUE(monitor.waitForChange(10000)) << "add";

    hid::InterfaceRegister reg;
    std::set<int> lost;
    hid::DeviceCapture::Callbacks callbacks;
    callbacks.found = [](int) { return true; };
    callbacks.lost = [&](int i) { lost.insert(i); };
    hid::DeviceCapture capture(reg, callbacks);
    capture.ScanOnce();
    ASSERT_FALSE(reg.Entry(0)->path.empty());

    umockdev_testbed_uevent(bed, syspath.c_str(), "remove");
    umockdev_testbed_remove_device(bed, syspath.c_str());
    EXPECT_TRUE(monitor.waitForChange(10000)) << "remove";
    capture.ScanOnce();
    EXPECT_EQ(lost, (std::set<int>{0, 1}));
    EXPECT_TRUE(reg.Entry(0)->path.empty());
    EXPECT_FALSE(hid::DeviceCapture::InterfacePresent("/dev/hidraw0#vid_3a17&pid_5055&mi_01&col04"));
}

TEST_F(Umockdev, ANodeWithMode000GivesThePermissionState)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root opens any node; ctest runs this binary as an unprivileged user";
    addHidraw("3A17", "5055", 1, 0, hid::test::kGamingKeyboard);
    addHidraw("3A17", "221C", 1, 1, hid::test::kGamingKeyboard);  // a mouse that opens
    ASSERT_EQ(::chmod(devFile("/dev/hidraw0").c_str(), 0), 0) << std::strerror(errno);

    const fs::path scratch = fs::temp_directory_path() / ("tessel-access-" + std::to_string(::getpid()));
    fs::create_directories(scratch / "rules");
    hid::AccessCheckSetup setup;
    setup.rulesFolders = {(scratch / "rules").string()};
    setup.sandboxMarker = (scratch / "flatpak-info").string();

    struct Case {
        const char* what;
        bool rule;
        bool sandbox;
        hid::AccessCause cause;
    };
    const Case cases[] = {{"no rule installed", false, false, hid::AccessCause::NoRule},
                          {"rule but no access in this session", true, false, hid::AccessCause::NoSessionAcl},
                          {"in a sandbox", true, true, hid::AccessCause::Sandbox}};
    for (const Case& c : cases) {
        if (c.rule)
            std::ofstream(scratch / "rules/70-tessel.rules")
                << "SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"3a17\", ATTRS{idProduct}==\"5055\", TAG+=\"uaccess\"\n";
        if (c.sandbox)
            std::ofstream(scratch / "flatpak-info") << "[Application]\nname=org.tessel.Tessel\n";
        const auto devices = hid::CheckDeviceAccess(setup);
        ASSERT_EQ(devices.size(), 2u) << c.what;
        EXPECT_EQ(devices[0].node, "/dev/hidraw0");
        EXPECT_FALSE(devices[0].canOpen) << c.what;
        EXPECT_EQ(devices[0].error, EACCES) << c.what;
        EXPECT_EQ(devices[0].cause, c.cause) << c.what;
        EXPECT_EQ(devices[0].deviceType, 1) << "the keyboard";
        EXPECT_TRUE(devices[1].canOpen) << c.what;
    }
    fs::remove_all(scratch);

    // Discovery reports it once it was seen on two passes, and not the mouse that opened.
    hid::InterfaceRegister reg;
    std::vector<std::vector<hid::DeviceAccess>> reports;
    hid::DeviceCapture::Callbacks callbacks;
    callbacks.found = [](int) { return true; };
    callbacks.accessDenied = [&](const std::vector<hid::DeviceAccess>& denied) { reports.push_back(denied); };
    hid::DeviceCapture capture(reg, callbacks);
    capture.ScanOnce();
    EXPECT_TRUE(reports.empty());
    capture.ScanOnce();
    ASSERT_EQ(reports.size(), 1u);
    ASSERT_EQ(reports[0].size(), 1u);
    EXPECT_EQ(reports[0][0].node, "/dev/hidraw0");
    EXPECT_FALSE(reg.Entry(4)->path.empty()) << "the mouse was registered";

    // Access granted: the state goes away and the keyboard is registered.
    ASSERT_EQ(::chmod(devFile("/dev/hidraw0").c_str(), 0600), 0);
    capture.ScanOnce();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_TRUE(reports[1].empty());
    EXPECT_FALSE(reg.Entry(0)->path.empty());
}

// The kernel's answers to the report-descriptor ioctls, for a node whose sysfs has no
// report_descriptor: umockdev has no hidraw ioctls of its own, so this handler gives them.
gboolean answerHidrawIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer)
{
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    const std::vector<uint8_t>& descriptor = hid::test::kGamingKeyboard;
    GError* error = nullptr;
    auto answer = [&](const void* data, size_t size) -> gboolean {
        UMockdevIoctlData* into = umockdev_ioctl_data_resolve(arg, 0, gsize(size), &error);
        if (!into)
            return FALSE;
        std::memcpy(into->data, data, size);
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    };
    if (request == HIDIOCGRAWINFO) {
        hidraw_devinfo info{};
        info.bustype = 3;
        info.vendor = 0x3A17;
        info.product = 0x5055;
        return answer(&info, sizeof info);
    }
    if (request == HIDIOCGRDESCSIZE) {
        const int size = int(descriptor.size());
        return answer(&size, sizeof size);
    }
    if (request == HIDIOCGRDESC) {
        hidraw_report_descriptor d{};
        d.size = uint32_t(descriptor.size());
        std::memcpy(d.value, descriptor.data(), descriptor.size());
        return answer(&d, sizeof d);
    }
    umockdev_ioctl_client_complete(client, -1, ENOTTY);
    return TRUE;
}

TEST_F(Umockdev, WithoutSysfsDescriptorTheIoctlsTellIt)
{
    addHidraw("3A17", "5055", 1, 0, {});
    UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
    g_signal_connect(handler, "handle-ioctl", G_CALLBACK(answerHidrawIoctl), nullptr);
    GError* error = nullptr;
    ASSERT_TRUE(umockdev_testbed_attach_ioctl(bed, "/dev/hidraw0", handler, &error))
        << (error ? error->message : "");
    EXPECT_TRUE(allPaths().empty()) << "a node whose descriptor cannot be read is not listed";

    // The handler runs in this thread's main context, so the open that waits for it runs on
    // another thread.
    auto opened = std::async(std::launch::async, [] {
        return hid::HidrawBackend::open("/dev/hidraw0#vid_3a17&pid_5055&mi_01&col04", "/sys", true, true);
    });
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (opened.wait_for(0ms) != std::future_status::ready && std::chrono::steady_clock::now() < deadline)
        g_main_context_iteration(nullptr, FALSE);
    ASSERT_EQ(opened.wait_for(0ms), std::future_status::ready);
    const auto backend = opened.get();
    ASSERT_NE(backend, nullptr);
    EXPECT_EQ(backend->attributes().vendorId, 0x3A17);
    EXPECT_EQ(backend->attributes().productId, 0x5055);
    EXPECT_EQ(backend->collection().usagePage, 0xFF1C);
    umockdev_testbed_detach_ioctl(bed, "/dev/hidraw0", nullptr);
    g_object_unref(handler);
}

}  // namespace
