#pragma once

#include <QFrame>
#include <QString>

class QAbstractButton;
class QLabel;
class QProgressBar;
class WindowImplBase;

// One row of the settings window's update list, built from the skin's
// "XML/CustomControlXML/device_Update_list_item.xml": the option "check_name_select" (the row's
// short name; selecting it asks for that update), the installed version "OldRev", the offered
// version "updateRev" (hidden while empty), a link to the offered version's download page, and
// the state: its text, progress and done mark. The sub-controls notify `window`.
class CUpdateInfoListItemUI : public QFrame {
    Q_OBJECT
public:
    static constexpr char kClassName[] = "UpdateInfoListItemUI";
    static constexpr int kHeight = 50;
    static constexpr int kStates = 9;

    CUpdateInfoListItemUI(WindowImplBase* window, QWidget* parent = nullptr);

    QString GetClass() const { return QString::fromLatin1(kClassName); }

    // 0 to 8 (see the table in the .cpp); setting the state it already has does nothing, a value
    // outside the range is ignored.
    void SetState(int state);
    int State() const { return m_state; }
    // The text id shown for a state; empty outside 0 to 8.
    static QString StateTextId(int state);

    void SetName(const QString& name);
    QString Name() const;
    void SetCurrentVersion(const QString& text);
    void SetOfferedVersion(const QString& text);
    QString OfferedVersion() const;
    // The offered version's download page; shown as a link when it is an http or https URL.
    void SetDownloadPath(const QString& path);
    QString DownloadPath() const { return m_downloadPath; }
    void SetTargetFile(const QString& file) { m_targetFile = file; }

    QAbstractButton* Option() const { return m_option; }
    bool OptionSelected() const;
    // Selects without raising the option's notification.
    void SelectOption(bool selected);
    void EnableOption(bool enabled);
    // A text id shown instead of the state's own text, until the next state change; empty shows
    // the state's text. A row still waiting for its answer, or that got none, says so: the state
    // such a row is in (7) would otherwise claim it is up to date.
    void SetStatusNote(const QString& textId);
    QString StatusNote() const { return m_note; }
    // "%d%" of the progress; reset to 0 whenever the progress is shown or hidden.
    void SetProgress(int percent);

private:
    void applyState();
    void updateLink();

    QAbstractButton* m_option = nullptr;
    QLabel* m_oldRev = nullptr;
    QLabel* m_newRev = nullptr;
    QWidget* m_arrow = nullptr;
    QLabel* m_statusText = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_progressValue = nullptr;
    QLabel* m_ok = nullptr;
    QAbstractButton* m_link = nullptr;
    QString m_downloadPath;
    QString m_targetFile;
    int m_state = -1;
    QString m_note;
};
