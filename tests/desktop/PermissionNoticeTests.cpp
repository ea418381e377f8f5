#include "app/PermissionNotice.h"

#include "hid/SupportedInterfaces.h"
#include "ui/Language.h"
#include "ui/WindowImplBase.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include <cerrno>

// The device strip's notice and its page, in a window with the strip's names, in both languages.
namespace {

struct StripWindow : WindowImplBase {
    StripWindow()
    {
        auto* strip = new QFrame(this);
        strip->setObjectName("device_strip");
        auto* layout = new QHBoxLayout(strip);
        auto* next = new QPushButton(strip);
        next->setObjectName("device_select_next");
        layout->addWidget(new QLabel("tabs", strip));
        layout->addWidget(next);
    }
    QString GetSkinFile() override { return {}; }
    QString GetWindowClassName() override { return QStringLiteral("StripWindow"); }
};

hid::DeviceAccess Denied(uint16_t type, hid::AccessCause cause, const char* node)
{
    hid::DeviceAccess d;
    d.node = node;
    d.vendorId = 0x3A17;
    d.productId = 0x5055;
    d.deviceType = type;
    d.error = EACCES;
    d.cause = cause;
    return d;
}

TEST(PermissionNotice, StripStateAndPageInBothLanguages)
{
    ASSERT_TRUE(ui::Language::instance().LoadLanguage(TESSEL_SKIN_DIR "/lan_en.xml"));
    StripWindow window;
    app::PermissionNotice notice(&window, window.PM(), "/opt/te'ssel/70-tessel.rules");
    auto* button = window.findChild<QPushButton*>("device_no_access");
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isHidden());
    auto* layout = static_cast<QHBoxLayout*>(window.PM().FindControl("device_strip")->layout());
    EXPECT_EQ(layout->indexOf(button) + 1, layout->indexOf(window.PM().FindControl("device_select_next")))
        << "in the strip, before its arrow";

    notice.SetDenied({Denied(hid::devtype::kKeyboard, hid::AccessCause::NoRule, "/dev/hidraw3"),
                      Denied(hid::devtype::kHeadset, hid::AccessCause::NoSessionAcl, "/dev/hidraw7")});
    EXPECT_FALSE(button->isHidden());
    EXPECT_EQ(button->text(), "Tessel can see your keyboard but may not open it\n"
                              "Tessel can see your headset but may not open it");
    EXPECT_EQ(button->accessibleName(), button->text());

    QDialog* page = notice.ShowPage();
    ASSERT_NE(page, nullptr);
    const auto fixes = page->findChildren<QLineEdit*>("device_access_fix");
    ASSERT_EQ(fixes.size(), 2);
    // The rule's path is quoted for the shell, quote and all.
    EXPECT_EQ(fixes[0]->text(), "sudo install -m 0644 '/opt/te'\\''ssel/70-tessel.rules' /etc/udev/rules.d/70-tessel.rules && "
                                "sudo udevadm control --reload && sudo udevadm trigger --action=add --subsystem-match=hidraw");
    EXPECT_TRUE(fixes[1]->text().startsWith("sudo udevadm control --reload"));
    EXPECT_TRUE(fixes[0]->isReadOnly());
    const auto causes = page->findChildren<QLabel*>("device_access_cause");
    ASSERT_EQ(causes.size(), 2);
    EXPECT_TRUE(causes[0]->text().contains("not installed")) << causes[0]->text().toStdString();
    page->findChildren<QPushButton*>("device_access_copy")[0]->click();
    EXPECT_EQ(QApplication::clipboard()->text(), fixes[0]->text());

    ASSERT_TRUE(ui::Language::instance().LoadLanguage(TESSEL_SKIN_DIR "/lan_cn.xml"));
    notice.ReloadText();
    EXPECT_EQ(button->text(), QStringLiteral("Tessel 能看到您的键盘，但无权打开它\nTessel 能看到您的耳机，但无权打开它"));

    // Access given: the notice goes and the page closes.
    QPointer<QDialog> open(page);
    notice.SetDenied({});
    EXPECT_TRUE(button->isHidden());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(open.isNull() || !open->isVisible());
    ui::Language::instance().LoadLanguage(TESSEL_SKIN_DIR "/lan_en.xml");
}

}  // namespace
