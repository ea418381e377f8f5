#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "FirmwarePeer.h"
#include "protocol/CommandTransport.h"

using namespace protocol;

namespace {

void writeText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QByteArray events(int count)
{
    QByteArray list;
    for (int i = 0; i < count; ++i)
        list += QByteArray(i ? "," : "") +
                R"({"Action":"down","Button":4,"Type":10,"Delay":"1"})";
    return R"({"Version":64,"Events":[)" + list + "]}";
}

class MacroWriteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ::setenv("TESSEL_SIM_DIR", m_dir.path().toUtf8().constData(), 1);
        QDir(m_dir.path()).mkdir("keyboard");
        m_folder = m_dir.filePath("keyboard");
        writeText(m_folder + "/macro.config", R"({"MacroInfo":[
            {"MacroName":"a","Guid":"g0"},
            {"MacroName":"b","Guid":"g1"},
            {"MacroName":"c","Guid":"../escape"},
            {"MacroName":"d","Guid":"g3"}]})");
        writeText(m_folder + "/g0.mac", R"({"Events":[
            {"Action":"down","Button":4,"Type":10,"Delay":"120"},
            {"Action":"up","Button":4,"Type":10,"Delay":"0"}]})");
        writeText(m_folder + "/g1.mac", R"({"Events":[
            {"Action":"down","Button":1,"Type":1,"Delay":"50"}]})");
        writeText(m_folder + "/g3.mac", events(29));
        writeText(m_dir.filePath("escape.mac"), events(5));

        m_peer = std::make_unique<FirmwarePeer>(m_dir.path().toStdString(),
                                                "hid#vid_3a17&pid_5055&mi_01");
        std::vector<uint8_t> info(34, 0);
        info[CommandTransport::kInfoMacroUnits] = 1;  // 128 bytes of macro memory
        m_peer->setMemory(0x03, info);
        ASSERT_TRUE(m_transport.channelA().open(m_peer->path(), true, true, true, false));
        m_transport.setReady(1);
        m_transport.setMode(1);
    }

    std::vector<uint8_t> commands() const
    {
        std::vector<uint8_t> out;
        for (const auto& r : m_peer->requests())
            out.push_back(r[3]);
        return out;
    }

    QTemporaryDir m_dir;
    QString m_folder;
    std::unique_ptr<FirmwarePeer> m_peer;
    CommandTransport m_transport{CommandTransport::Timeouts{300, 300, 300}};
    CommandTransport::InfoBlock m_info{};
};

}  // namespace

TEST_F(MacroWriteTest, WritesTheListedMacrosInListOrderInsideASession)
{
    EXPECT_EQ(m_transport.writeMacros(m_folder, {1, 0}, m_info), 0);
    EXPECT_EQ(m_info[CommandTransport::kInfoMacroUnits], 1) << "information block read again";
    EXPECT_EQ(commands(), (std::vector<uint8_t>{0x03, 0x01, 0x15, 0x02}));
    const std::vector<uint8_t> expected = {
        0xAA, 0x55, 40, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        20, 0, 28, 0,
        1, 0, 0, 0, 50, 0, 0x81, 1,                       // g1
        2, 0, 0, 0, 120, 0, 0x8A, 4, 0, 0, 0x0A, 4,       // g0
    };
    EXPECT_EQ(m_peer->memory(0x15), expected);
}

TEST_F(MacroWriteTest, NamesThatLeaveTheFolderOrAreMissingGiveEmptyRecords)
{
    EXPECT_EQ(m_transport.writeMacros(m_folder, {2, 9}, m_info), 0);
    const std::vector<uint8_t> expected = {
        0xAA, 0x55, 28, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        20, 0, 24, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    };
    EXPECT_EQ(m_peer->memory(0x15), expected);
}

TEST_F(MacroWriteTest, ImageThatDoesNotFitIsNotSent)
{
    // 16 + 6 + 4 × 29 = 138 bytes: 10 over the 128 of the device.
    EXPECT_EQ(m_transport.writeMacros(m_folder, {3}, m_info), 3);
    EXPECT_EQ(commands(), (std::vector<uint8_t>{0x03}));
}

TEST_F(MacroWriteTest, NothingToSend)
{
    EXPECT_EQ(m_transport.writeMacros(m_folder, {}, m_info), 0);
    QFile::remove(m_folder + "/macro.config");
    EXPECT_EQ(m_transport.writeMacros(m_folder, {0}, m_info), 0);
    EXPECT_EQ(commands(), (std::vector<uint8_t>{0x03, 0x03}));
}

TEST_F(MacroWriteTest, FailedTransferHasItsOwnCodeApartFromNoMemory)
{
    using Fault = FirmwarePeer::Fault;
    struct Case {
        const char* what;
        FirmwarePeer::Action open;
        FirmwarePeer::Action image;
    };
    const Case cases[] = {
        {"image refused", {}, {Fault::Status, 0xFF}},
        {"no reply to the image", {}, {Fault::Drop}},
        {"session not opened", {Fault::Status, 0xFE}, {}},
    };
    for (const Case& c : cases) {
        m_peer->script({{}, c.open, c.image});
        const size_t before = m_peer->requestCount();
        EXPECT_EQ(m_transport.writeMacros(m_folder, {0}, m_info), kMacroTransferFailed) << c.what;
        // The close goes out whatever failed.
        EXPECT_EQ(m_peer->requests().back()[3], 0x02) << c.what;
        EXPECT_EQ(m_peer->requestCount() - before, 4u) << c.what;
    }
}

TEST_F(MacroWriteTest, TransportNotReadySendsOnlyTheCloseAndItGoesNowhere)
{
    m_transport.setReady(0);
    m_info[CommandTransport::kInfoMacroUnits] = 1;
    // Nothing to write to is not a failure of the caller's macros: 0, and no traffic at all.
    EXPECT_EQ(m_transport.writeMacros(m_folder, {1, 0}, m_info), 0);
    EXPECT_EQ(m_peer->requestCount(), 0u);
    // The size check still holds without a device, from the block the caller has.
    EXPECT_EQ(m_transport.writeMacros(m_folder, {3}, m_info), 3);
    EXPECT_EQ(m_peer->requestCount(), 0u);
}
