#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;
class QLabel;

namespace ui {

// One tab of the device strip, built from "XML/CustomControlXML/DeviceOption.xml". Its option
// "device_select" selects the device's page and shares one exclusive group with the other tabs
// of the same window (the group named by the option's dynamic property "group"); its option
// "synchro_device_select" marks the device for same lighting. The whole tab is clickable.
// Selecting raises "selectchanged" from "device_select" through the window's wiring.
// The tab only shows things: the device behind it is an opaque widget, and the window routes
// the tab's timers to that device.
class CDeviceOptionUI : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool selected READ IsSelected)
    Q_PROPERTY(bool synchro READ IsSynchro)
public:
    static constexpr char kClassName[] = "DeviceOption";
    static constexpr char kLayoutFile[] = "XML/CustomControlXML/DeviceOption.xml";

    explicit CDeviceOptionUI(QWidget* parent = nullptr);

    QString GetClass() const { return QString::fromLatin1(kClassName); }

    void SetDevice(QWidget* device) { m_device = device; }
    QWidget* Device() const { return m_device; }

    // Device type (1 keyboard, 2 mouse, 3 mouse pad, 4 and 7 headset, 5 hub, anything else
    // unknown) and variant (for the pad: 0 hard, 1 soft) choose the icons and the name text.
    void SetKind(int type, int variant);
    int Type() const { return m_type; }
    int Variant() const { return m_variant; }
    // "kb", "ms", "hard_mp", "soft_mp", "hd", "hub" or "unknow".
    static QString KindKey(int type, int variant);
    // "common/device_ico/<kind>_device_normal.png" and the other three states.
    QString NormalIcon() const { return m_icons[0]; }
    QString SelectedIcon() const { return m_icons[1]; }
    QString SynchroNormalIcon() const { return m_icons[2]; }
    QString SynchroSelectedIcon() const { return m_icons[3]; }
    // The text id of the device's name, e.g. "kb_device_name_text".
    QString NameTextId() const { return m_nameId; }

    void SetOptionIndex(int index) { m_optionIndex = index; }
    int OptionIndex() const { return m_optionIndex; }
    // Index of the device's page in "device_switch" (the window's page stack).
    void SetPageIndex(int index) { m_pageIndex = index; }
    int PageIndex() const { return m_pageIndex; }
    // Index of the power panel in "device_power_switch"; -1 when the device has none.
    void SetPowerIndex(int index) { m_powerIndex = index; }
    int PowerIndex() const { return m_powerIndex; }
    void SetState(int state) { m_state = state; }
    int State() const { return m_state; }
    int LinkFailures() const { return m_linkFailures; }
    void SetLinkFailures(int count) { m_linkFailures = count; }

    // Selects or deselects "device_select"; with notify = false without "selectchanged".
    void SetSelected(bool selected, bool notify);
    bool IsSelected() const;
    // Marks the device for same lighting (the icons follow); notify as above.
    void SetSynchro(bool synchro, bool notify);
    bool IsSynchro() const;

    // The line under the name, e.g. "Cable · 80 %"; an empty text hides it.
    void SetStatusText(const QString& text);
    QString StatusText() const;

    QAbstractButton* SelectButton();
    QAbstractButton* SynchroButton();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void bind();
    void joinGroup();
    void refresh();
    void updateAccessibleNames();
    // Checks or unchecks `button` of this tab; an exclusive group may be left with none checked.
    void setChecked(QAbstractButton* button, bool checked, bool notify);

    QPointer<QWidget> m_device;
    QPointer<QAbstractButton> m_select;
    QPointer<QAbstractButton> m_synchro;
    QPointer<QLabel> m_name;
    QPointer<QLabel> m_status;
    QPointer<QButtonGroup> m_group;
    bool m_bound = false;
    int m_type = 0;
    int m_variant = 0;
    QString m_icons[4];
    QString m_nameId;
    int m_optionIndex = 0;
    int m_pageIndex = -1;
    int m_powerIndex = -1;
    int m_state = 0;
    int m_linkFailures = 0;
};

}  // namespace ui
