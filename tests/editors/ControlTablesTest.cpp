// Every control of the mouse's settings page and the keyboard's system page, by table: each row
// operates one control with input events on the control itself and must change the device's
// memory (read back from the simulator) and the profile file; a control a user can operate there
// without a row fails. (The lighting panel's table is with the lighting tests.)
#include "tests/editors/PanelTestFixture.h"
#include "tests/editors/ControlTable.h"

#include "app/CColorSelectWnd.h"
#include <QTimer>
#include <QDialogButtonBox>
#include <QPushButton>

namespace {

using namespace controltable;

class ControlTablesTest : public PanelOnSimulatorTest {
protected:
    // The device page showing its page behind the tab button `tab`.
    CVantikUSBDevice* showPage(const char* sim, const char* kind, const char* tab)
    {
        CVantikUSBDevice* d = plugAndShow(sim, kind);
        // The page shows the profile once it is loaded after connecting.
        if (!d || !waitFor([d] { return !d->Profile().GetProfilePath().isEmpty(); }) || !drained(d))
            return nullptr;
        auto* button = control<QAbstractButton>(d, tab);
        if (!button)
            return nullptr;
        Click(button);
        return drained(d) ? d : nullptr;
    }
    std::function<std::string()> memory(const char* device, const char* region)
    {
        return [this, device, region] { return sim->dumpHex(device, region); };
    }
    static std::function<Json::Value()> profileOf(CVantikUSBDevice* d)
    {
        return [d] { return CJsonFile::ReadJson(d->Profile().GetProfilePath())["Device"][0]; };
    }
    // Clicks an option of a group that is not the chosen one (the first, else the second).
    static std::function<void(QWidget*)> chooseOther(QWidget* page, const QString& prefix, int count)
    {
        return [page, prefix, count](QWidget*) {
            for (int i = 0; i < count; ++i) {
                auto* b = control<QAbstractButton>(page, (prefix + QString::number(i)).toUtf8().constData());
                if (b && b->isVisible() && b->isEnabled() && !b->isChecked()) {
                    Click(b);
                    return;
                }
            }
            ADD_FAILURE() << "every option of " << prefix.toStdString() << " is chosen";
        };
    }
    // Makes sure option `n` of a group is not the chosen one (chooses another), so that clicking
    // it is a change.
    std::function<void()> notChosen(CVantikUSBDevice* d, const QString& prefix, int n, int count,
                                    std::function<void()> before = {})
    {
        return [this, d, prefix, n, count, before] {
            if (before)
                before();
            auto* b = control<QAbstractButton>(d, (prefix + QString::number(n)).toUtf8().constData());
            ASSERT_NE(b, nullptr);
            if (b->isChecked())
                chooseOther(d, prefix, count)(nullptr);
            ASSERT_TRUE(drained(d));
        };
    }
};

}  // namespace

TEST_F(ControlTablesTest, EveryMouseSettingChangesTheMouseAndTheProfile)
{
    CVantikUSBDevice* mouse = showPage("mouse", "mouse", "device_tab_cursor");
    ASSERT_NE(mouse, nullptr);
    auto settings = memory("mouse", "settings");
    auto profile = profileOf(mouse);
    auto page = [&](int n) {
        return [&, n] {
            Click(control<QWidget>(mouse, ("mouse_device_seting_option_" + std::to_string(n)).c_str()));
            ASSERT_TRUE(drained(mouse));
        };
    };
    auto typeOther = [](QWidget* w) {
        TypeAndLeave(w, qobject_cast<QLineEdit*>(w)->text() == "1600" ? "2400" : "1600");
    };
    std::vector<Row> rows;
    for (int n = 0; n < 5; ++n) {
        const std::string i = std::to_string(n);
        rows.push_back({"DPI_slider_" + i, page(0), StepSlider, settings, profile});
        rows.push_back({"DPI_edit_" + i, page(0), typeOther, settings, profile});
        rows.push_back({"DPI_select_check_" + i, notChosen(mouse, "DPI_select_check_", n, 5, page(0)), Click, settings, profile});
        // The colour comes from the palette window the swatch opens (modal: answered from a
        // timer while it runs).
        rows.push_back({"DPI_color_option_" + i, page(0),
                        [](QWidget* w) {
                            bool answered = false;
                            QTimer poll;
                            poll.setInterval(20);
                            QObject::connect(&poll, &QTimer::timeout, [&] {
                                for (QWidget* top : QApplication::topLevelWidgets())
                                    if (auto* p = qobject_cast<CColorSelectWnd*>(top); p && p->isVisible() && !answered) {
                                        answered = true;
                                        auto* red = p->PM().Find<QLineEdit>("color_edit_r");
                                        red->setText(red->text() == "10" ? "40" : "10");
                                        p->PM().Find<QAbstractButton>("okbtn")->click();
                                    }
                            });
                            poll.start();
                            Click(w);
                            poll.stop();
                            ASSERT_TRUE(answered) << "no palette window";
                        },
                        settings, profile});
    }
    // The active stage cannot be switched off, so its box is not live: each row makes another
    // stage the active one and switches every stage back on, so that switching one off is allowed.
    auto stagesOnAndAnotherActive = [&](int n) {
        return [&, n] {
            page(0)();
            auto* other = control<QAbstractButton>(mouse, ("DPI_select_check_" + std::to_string((n + 1) % 5)).c_str());
            ASSERT_NE(other, nullptr);
            if (!other->isChecked())
                Click(other);
            ASSERT_TRUE(drained(mouse));
            for (int k = 0; k < 5; ++k) {
                auto* box = control<QAbstractButton>(mouse, ("DPI_enable_check_" + std::to_string(k)).c_str());
                if (box && box->isVisible() && box->isEnabled() && !box->isChecked()) {
                    Click(box);
                    ASSERT_TRUE(drained(mouse));
                }
            }
        };
    };
    for (int n = 0; n < 5; ++n)
        rows.push_back({"DPI_enable_check_" + std::to_string(n), stagesOnAndAnotherActive(n), Click, settings, profile});
    for (int n = 0; n < 4; ++n)
        rows.push_back({"polling_rate_option_" + std::to_string(n), notChosen(mouse, "polling_rate_option_", n, 4, page(0)),
                        Click, settings, profile});
    // The pointer settings of the second page are kept in the profile only: the mouse has no
    // place for them.
    const char* desktop = "kept in the profile only";
    rows.push_back({"pointer_speed_slider", page(1), StepSlider, {}, profile, desktop});
    rows.push_back({"scroll_speed_slider", page(1), StepSlider, {}, profile, desktop});
    rows.push_back({"double_click_slider", page(1), StepSlider, {}, profile, desktop});
    rows.push_back({"pointer_precision_check", page(1), Click, {}, profile, desktop});
    rows.push_back({"scrolls_page_check", page(1), Click, {}, profile, desktop});

    Walker walker(mouse, [&] { return drained(mouse); }, [&](const std::function<bool()>& c) { return waitFor(c); });
    walker.Walk(rows);
    walker.ExpectEveryControlHasARow({
        {"mouse_device_seting_option_0", "chooses the page of stages"},
        {"mouse_device_seting_option_1", "chooses the page of pointer settings"},
        {"device_tab_", "chooses the page shown"},
        {"key_", "the mouse picture's buttons choose the button to assign on the keys page"},
        {"mouse_led_", "the mouse picture's lights show the lighting"},
        {"windowdeviceset_1", "opens the desktop's own mouse settings"},
    });
}

TEST_F(ControlTablesTest, EveryKeyboardSystemSettingChangesTheKeyboardAndTheProfile)
{
    CVantikUSBDevice* keyboard = showPage("keyboard", "keyboard", "device_tab_system");
    ASSERT_NE(keyboard, nullptr);
    auto settings = memory("keyboard", "settings");
    auto profile = profileOf(keyboard);
    auto none = [] {};
    std::vector<Row> rows;
    for (int n = 0; n < 4; ++n)
        rows.push_back({"polling_rate_option_" + std::to_string(n), notChosen(keyboard, "polling_rate_option_", n, 4), Click,
                        settings, profile});
    for (const char* flag : {"winlockflag_option", "wflag_option", "6flag_option"})
        rows.push_back({flag, none, Click, settings, profile});
    // Key repeat is the desktop's: kept in the profile, the keyboard has no place for it.
    const char* desktop = "key repeat is the desktop's";
    for (int n = 0; n < 4; ++n)
        rows.push_back({"repeat_delay_check_" + std::to_string(n), notChosen(keyboard, "repeat_delay_check_", n, 4), Click,
                        {}, profile, desktop});
    rows.push_back({"repeat_rate_slider", none, StepSlider, {}, profile, desktop});

    Walker walker(keyboard, [&] { return drained(keyboard); }, [&](const std::function<bool()>& c) { return waitFor(c); });
    walker.Walk(rows);
    walker.ExpectEveryControlHasARow({
        {"repeat_input_richedit", "a field to try the key repeat in; nothing is kept"},
        {"reset_repeat_btn", "empties the try-out field"},
        {"device_tab_", "chooses the page shown"},
        {"key_", "the keyboard picture's keys choose the key to assign on the keys page"},
    });
}
