// Every control of the mouse's settings page and the keyboard's system page, by table: each row
// operates one control with input events on the control itself and must change the device's
// memory (read back from the simulator) and the profile file; a control a user can operate there
// without a row fails. (The lighting panel's table is with the lighting tests.)
#include "tests/editors/PanelTestFixture.h"
#include "tests/editors/ControlTable.h"

#include <QColorDialog>
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
        if (!d)
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
    // Clicks the option itself; when it is the chosen one, another is chosen first.
    std::function<void(QWidget*)> chooseThis(CVantikUSBDevice* d, const QString& prefix, int count)
    {
        return [this, d, prefix, count](QWidget* w) {
            if (qobject_cast<QAbstractButton*>(w)->isChecked()) {
                chooseOther(d, prefix, count)(nullptr);
                ASSERT_TRUE(drained(d));
            }
            Click(w);
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
        rows.push_back({"DPI_select_check_" + i, page(0), chooseThis(mouse, "DPI_select_check_", 5), settings, profile});
        // The colour comes from the colour dialog the swatch opens.
        rows.push_back({"DPI_color_option_" + i, page(0),
                        [](QWidget* w) {
                            Click(w);
                            QColorDialog* dialog = nullptr;
                            ASSERT_TRUE(QTest::qWaitFor([&] {
                                for (QWidget* top : QApplication::topLevelWidgets())
                                    if (auto* d = qobject_cast<QColorDialog*>(top); d && d->isVisible())
                                        dialog = d;
                                return dialog != nullptr;
                            }, 5000));
                            const QColor now = dialog->currentColor();
                            dialog->setCurrentColor(now == QColor(10, 20, 30) ? QColor(40, 50, 60) : QColor(10, 20, 30));
                            auto* box = dialog->findChild<QDialogButtonBox*>();
                            ASSERT_NE(box, nullptr);
                            Click(box->button(QDialogButtonBox::Ok));
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
        rows.push_back({"polling_rate_option_" + std::to_string(n), page(0),
                        chooseThis(mouse, "polling_rate_option_", 4), settings, profile});
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
