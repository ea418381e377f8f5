#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

// The profile panel's "switch to this profile when ... is in focus" list: the applications
// whose focus selects the profile shown in the panel, a field to name one (the running
// applications offered when the desktop can list them), add and remove, and whether the
// profile is the one taken when no rule matches. Every change is written at once to the
// device's rule file beside its profiles.
class FocusRulesEditor : public QWidget {
    Q_OBJECT
public:
    // What the application offers the editor: the names of the running applications (none when
    // the focus source cannot list them), and a call after each saved change.
    struct Hooks {
        std::function<std::optional<QStringList>()> runningApplications;
        std::function<void(const QString& userFolder)> changed;
    };
    static void SetHooks(Hooks hooks);

    explicit FocusRulesEditor(QWidget* parent = nullptr);

    // The device's user data folder; then the profile whose rules are shown.
    void SetFolder(const QString& userFolder, const QString& defaultProfile)
    {
        m_folder = userFolder;
        m_defaultProfile = defaultProfile;
    }
    void ShowProfile(const QString& profileId);
    // Reads the file again (after a change made elsewhere, e.g. over the bus).
    void Reload() { ShowProfile(m_profileId); }

    // The actions of the controls, also for tests and scripts. False when nothing changed.
    bool AddMatch(const QString& match);
    bool RemoveMatch(const QString& match);
    bool SetDefault(bool isDefault);
    QStringList Matches() const;
    // Refills the field's list with the running applications.
    void OfferRunningApplications();

private:
    bool Store(const struct FocusRuleSet& set);
    void ShowStatus(const QString& textId);

    QString m_folder;
    QString m_defaultProfile;
    QString m_profileId;
    QLabel* m_title = nullptr;
    QListWidget* m_list = nullptr;
    QComboBox* m_field = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_remove = nullptr;
    QCheckBox* m_default = nullptr;
    QLabel* m_status = nullptr;
};
