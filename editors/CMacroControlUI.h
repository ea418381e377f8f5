#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "devices/CDevicePanel.h"
#include "editors/CDeviceHook.h"

#include <json/value.h>

class QListWidget;
class QListWidgetItem;
namespace ui {
class MenuWnd;
}

// The macro editor of the keyboard and mouse pages. The device folder holds "macro.config" (the
// macros in order: their number is what key assignments use) and one "<Guid>.mac" file per
// macro with its timed events. The panel edits the list and the files at once; recording takes
// the events the input hook reports.
class CMacroControlUI : public QWidget, public CDevicePanel {
    Q_OBJECT
public:
    enum Placement { Append, Before, After, Replace };
    enum MoveKind { MoveUp, MoveDown, MoveTop, MoveBottom };
    static constexpr int kMaxMacros = 50;
    static constexpr int kMaxRows = 4000;

    explicit CMacroControlUI(QWidget* parent = nullptr);
    ~CMacroControlUI() override;

    // CDevicePanel
    void AttachDevice(CVantikUSBDevice& device) override;
    bool HandlePanelNotify(TNotifyUI& msg) override;

    void SetMacroFolder(const QString& folder) { m_folder = folder; }
    void LoadMacroList();
    QStringList MacroNames() const;
    void SelectMacro(int index);
    void ShowMacro();
    // The name made, or empty at 50 macros.
    QString NewMacro();
    // 1 renamed, 0 nothing to do, -1 the name is taken (the user was told).
    int RenameMacro();
    void DeleteMacro(int number);
    // Asks, renumbers the keys of every profile of the device, deletes. True when deleted.
    bool DeleteSelectedMacro();
    void SaveMacro();
    bool ExportMacro(const QString& path);
    bool ImportMacro(const QString& path);
    void MoveAction(MoveKind kind);
    void DeleteAction();
    void DeleteAllActions();
    void StartRecording(int timeMode);
    void StopRecording();
    bool IsRecording() const { return m_recording; }
    bool IsFixedTimeChecked() const;
    void ReadFixedDelay();
    void RecordKeyEvent(Placement placement, uint32_t message, const KeyboardHookRecord& record);
    void RecordMouseEvent(Placement placement, uint32_t message, const HookMouseRecord& record);
    void InsertMouseAction(uint32_t message, int variant);
    // The events of the shown macro as saved (JSON text per row).
    QStringList RowData() const;
    int SelectedRow() const;
    void SelectRow(int row);
    // Milliseconds of a steady clock; tests replace it.
    void SetClock(std::function<int64_t()> clock) { m_clock = std::move(clock); }

    // The recording the window runs: the panel's lock, the hook, the device strip.
    void BeginRecording(Placement placement, int timeMode);
    void EndRecording();

    // The menu of an event row ("XML/Menus/macro_action_menu.xml"), popped at the cursor for
    // row `row`, which becomes the selected row. Null while recording, without a shown macro or
    // when the row does not exist.
    ui::MenuWnd* OpenActionMenu(int row);
    // Carries out one item of that menu (names compared without regard to case); false for a
    // name that is not one of its items.
    bool RunActionMenuItem(const QString& item);

private:
    // The message for a macro file with more events than a macro may hold.
    QString TooLongText(const QString& name, size_t events) const;
    // A message shown once the current event is handled.
    void TellLater(const QString& body);
    // The hook went away (the grab was lost): the recording ends as by its stop button.
    void OnHookLost();
    QListWidget* NameList() const;
    QListWidget* ActionList() const;
    QWidget* Find(const char* name) const;
    void SetMacroControlsEnabled(bool on);
    void AddRow(int at, const Json::Value& event);
    void SetRowDelay(int row, int delay);
    QString MacroFile(int index) const;
    Json::Value ReadList() const;
    void AfterListChange();
    // `eventTime`: the X server's time of the event in ms, 0 when unknown.
    bool RecordRow(Placement placement, const Json::Value& event, uint8_t keyRepeatScan, bool isKey, uint32_t eventTime);

    CVantikUSBDevice* m_device = nullptr;
    QString m_folder;
    // The id of the macro whose events the action list shows (empty while none or while the
    // list is being refilled): the rows are saved to that macro, whatever the name list's
    // selection already moved to.
    QString m_shownGuid;
    // The position in the name list of the macro the action list shows; -1 for none.
    int ShownMacroIndex() const;
    int m_timeMode = 1;
    int64_t m_lastTick = 0;
    uint32_t m_lastEventTime = 0;  // the X time of the last recorded event, 0 when unknown
    int m_fixedDelay = 50;
    bool m_recordedRow = false;
    bool m_recording = false;
    Placement m_placement = Append;
    std::function<int64_t()> m_clock;
    QPointer<ui::MenuWnd> m_actionMenu;
};
