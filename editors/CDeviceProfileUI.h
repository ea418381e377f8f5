#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "devices/CDevicePanel.h"
#include "devices/CVantikUSBDevice.h"
#include "editors/FocusRulesEditor.h"
#include "profiles/ProfileList.h"

#include <json/value.h>

#include <chrono>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;

// A device page's profile panel: the combo of the device's profiles and the operations on them
// (select, new, delete, copy, import, export, reset, rename), kept in step with the profile list
// of the device's user data folder. It also owns the page's row of feature tabs: it shows the
// tabs that fit the device kind and whose editor is in the page, and switches the page to the
// editor of the tab the user picks.
//
// The panel changes files only; after an operation that changes the selected profile it tells
// its device to reload. A switch the device could not take is undone: the list on disk keeps
// the profile it had and the device goes back to it.
class CDeviceProfileUI : public QWidget, public CDevicePanel {
    Q_OBJECT
public:
    // The combo's name; the main window arms the profile switch timer on its selections.
    static constexpr char kComboName[] = "device_profile_combo";
    // Result codes of RenameProfile.
    enum RenameResult { RenameNameUsed = 0, RenameDone = 1, RenameBlank = 2 };
    // Feature tabs, numbered as SelectFeatureTab takes them.
    enum FeatureTab {
        TabLight = 1, TabKeys, TabMacro, TabSystem, TabCursor, TabSound, TabMagic, TabVirtual,
        TabShoot, TabProfile
    };

    explicit CDeviceProfileUI(QWidget* parent = nullptr);

    // CDevicePanel
    void AttachDevice(CVantikUSBDevice& device) override;
    bool HandlePanelNotify(TNotifyUI& msg) override;

    void SetDeviceKind(int kind) { m_deviceKind = kind; }
    int DeviceKind() const { return m_deviceKind; }
    void SetProfilePaths(const QString& userFolder, const QString& defaultProfile);
    // Loads (or makes) the list, fills the combo, selects the recorded profile, shows the tabs.
    void InitProfiles();

    // Selects combo item `index` (without a notification unless `notify`), records it as the
    // selected profile and takes its identifier. False when the list on disk could not be made to
    // select it.
    bool SelectProfile(int index, bool notify);
    int GetSelectedIndex() const;
    QString GetSelectedProfileId() const { return m_selectedId; }
    QString GetNameEditText() const;
    void SetNameEditText(const QString& text);
    void ShowProfileMenu(bool show);
    bool IsProfileMenuShown() const;
    int GetProfileCount();
    QString GetProfileFileAt(int index) const;

    // False when nothing changed (a limit, no selection, or a file that could not be written).
    bool NewProfile();
    bool DeleteProfile();
    bool CopyProfile();
    bool ImportProfile(const QString& path);
    bool ExportProfile(const QString& target);
    bool ResetProfile();
    int RenameProfile(const QString& name);
    // The list of applications whose focus selects the profile shown (null without the card).
    FocusRulesEditor* FocusRules() const { return m_focusRules; }
    void SelectFeatureTab(int tab);
    // The feature tab shown, 0 before one was picked.
    int CurrentFeatureTab() const { return m_featureTab; }
    // Shows the tabs whose editor is in the page and that fit the device kind.
    void RefreshFeatureTabs();

    // The profile switch the main window runs 400 ms after a combo selection: records the
    // combo's selection and has the device take it (its writes are posted to the device's I/O
    // worker; 0 when nothing is selected, else 1). When the device could not take it, once its
    // answer landed, the previous profile is selected again on disk and in the combo, the device
    // is set back to it once, and the user is told which device, what failed and what was kept.
    // When the selection cannot be written (a full disk), nothing is switched: the combo goes
    // back to the profile that stays selected and the user is told (returns 0).
    int SwitchToSelectedProfile();
    // Whether a switch (or the rollback of one) is still on its way to the device.
    bool SwitchInFlight() const { return m_switchesInFlight > 0; }
    // The same switch, to the profile of identifier `id`, made for the user by the application
    // in focus: it does not count as the user's own choice. False when no profile has that id.
    bool SwitchToProfileId(const QString& id);
    // When the user last switched this device's profile (the combo, a deleted profile, a
    // script), none when never since start.
    std::optional<std::chrono::steady_clock::time_point> LastUserSwitch() const { return m_lastUserSwitch; }

signals:
    // A switch made profile `name` the device's (the device took it, or gets it when it
    // connects); a switch the device refused and that was undone raises nothing.
    void profileSwitched(const QString& name);

private:
    QComboBox* Combo();
    QLineEdit* NameEdit() const;
    QStringList ComboNames() const;
    void FillCombo();
    // A switch on its way: what it needs to undo itself and to say what was kept.
    struct Switch {
        int serial = 0;
        Json::Value listBefore;
        int previous = -1;
        QString previousId;
        QString wanted, kept;  // profile names
    };
    void SwitchLanded(const Switch& sw, const CVantikUSBDevice::PushResult& result);
    void ShowSwitchFailure(const Switch& sw, const CVantikUSBDevice::PushResult& failed,
                           const CVantikUSBDevice::PushResult& rollback);
    // The device takes the selected profile; failures are shown.
    void ReloadDevice();
    void ShowWriteFailure(int code, IoFailure failure);
    void ShowFileFailure();
    void ShowStatus(const QString& textId);
    void OnClick(const QString& name);

    CVantikUSBDevice* m_device = nullptr;
    int m_deviceKind = 0;
    QString m_userFolder;
    QString m_defaultProfile;
    QString m_selectedId;
    std::vector<ProfileList::Entry> m_lastEntries;
    QPointer<QComboBox> m_combo;
    int m_featureTab = 0;
    int m_switchSerial = 0;
    int m_switchesInFlight = 0;
    bool m_automaticSwitch = false;
    QPointer<FocusRulesEditor> m_focusRules;
    std::optional<std::chrono::steady_clock::time_point> m_lastUserSwitch;
};
