#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>

#include "SimDevice.h"
#include "profiles/CJsonFile.h"
#include "protocol/MacroImage.h"

using namespace protocol;
using sim::DeviceKind;
using sim::Region;
using sim::Route;

namespace {

// The shoot image the mouse is sent: one record per shipped gun pattern, guns 0 to 3 in order.
std::vector<uint8_t> shippedShootImage()
{
    std::vector<MacroRecord> records;
    for (int gun = 0; gun < 4; ++gun) {
        const Json::Value pattern = CJsonFile::ReadJson(
            QStringLiteral(TESSEL_DATA_DIR "/ShootData_%1.Shoot").arg(gun));
        records.push_back(macroRecordFromJson(jsonMember(pattern, "Events")));
    }
    return buildMacroImage(records).value_or(std::vector<uint8_t>{});
}

TEST(ShootWrite, ShippedPatternsReachTheMouseWhole)
{
    // Four guns of 30 bullets, six events a bullet: the largest image the editor makes.
    const std::vector<uint8_t> image = shippedShootImage();
    ASSERT_EQ(image.size(), 16u + 4 * 6 + 4 * 4 * 180);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SimDevice device(dir.path().toStdString(), false);
    CommandTransport transport{CommandTransport::Timeouts{800, 800, 800}};
    ASSERT_TRUE(device.attach(transport, DeviceKind::Mouse, Route::Cable));

    ASSERT_EQ(transport.openSession(), kOk);
    EXPECT_EQ(transport.writeShootData(image.data(), uint32_t(image.size())), kOk);
    EXPECT_EQ(transport.closeSession(), kOk);

    const std::vector<uint8_t> memory = device.simulator().memory(DeviceKind::Mouse, Region::Shoot);
    ASSERT_GE(memory.size(), image.size());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), memory.begin()));
    const sim::SimResult dump = device.simulator().dump(DeviceKind::Mouse, Region::Shoot);
    const Json::Value& decoded = dump.data["image"];
    EXPECT_TRUE(decoded["valid"].asBool()) << decoded["problem"].asString();
    ASSERT_EQ(decoded["macros"].size(), 4u);
    for (Json::ArrayIndex gun = 0; gun < 4; ++gun)
        EXPECT_EQ(decoded["macros"][gun].size(), 180u) << "gun " << gun;
}

}  // namespace
