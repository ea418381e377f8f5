#include "editors/CMacroControlUI.h"

#include "devices/CVantikUSBDevice.h"
#include "editors/CKeySetControlUI.h"
#include "editors/KeyFunctionTables.h"
#include "editors/MacroFile.h"
#include "editors/MacroRowDelegate.h"
#include "editors/PanelServices.h"
#include "profiles/CBasicProfiledata.h"
#include "profiles/CJsonFile.h"
#include "profiles/DataPaths.h"
#include "profiles/ProfileList.h"
#include "profiles/UserFiles.h"
#include "protocol/MacroImage.h"
#include "ui/CRedioMacroButtonUI.h"
#include "ui/Language.h"
#include "ui/MenuWnd.h"
#include "ui/Notify.h"
#include "ui/PaintManager.h"
#include "ui/WindowImplBase.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QIntValidator>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>
#include <json/reader.h>
#include <json/writer.h>

using editors::Services;

using macrofile::DelayOf;
using macrofile::EventTextId;
using macrofile::IntOf;

namespace {

constexpr char kMacroFilter[] = "Macro Files(*.mac)";

std::string JsonText(const Json::Value& v)
{
    return Json::StyledWriter().write(v);
}

Json::Value ParseJson(const QString& text)
{
    Json::Value v;
    Json::Reader().parse(text.toStdString(), v, false);
    return v;
}

Json::Value MakeEvent(bool down, int button, int type, int delay)
{
    Json::Value e(Json::objectValue);
    e["Action"] = down ? "down" : "up";
    e["Button"] = button;
    e["Type"] = type;
    e["Delay"] = std::to_string(delay);
    return e;
}

// What the recorder remembers across recordings: the last key pressed and the last mouse
// message taken, so held keys and repeated messages make one row.
struct RepeatMemory {
    int scan = -1;
    bool extended = false;
    uint32_t mouseMessage = 0;
};
RepeatMemory g_repeat;
RepeatMemory g_replaceRepeat;

using macroview::DelayValidator;
using macroview::kMaxDelayMs;

}  // namespace

CMacroControlUI::CMacroControlUI(QWidget* parent) : QWidget(parent)
{
    m_clock = [] {
        static QElapsedTimer timer;
        if (!timer.isValid())
            timer.start();
        return int64_t(timer.elapsed());
    };
}

CMacroControlUI::~CMacroControlUI()
{
    if (m_recording)
        EndRecording();
}

QWidget* CMacroControlUI::Find(const char* name) const
{
    return ui::PaintManager::FindSubControlByName(const_cast<CMacroControlUI*>(this), QLatin1String(name));
}

QListWidget* CMacroControlUI::NameList() const { return qobject_cast<QListWidget*>(Find("macro_name_list")); }
QListWidget* CMacroControlUI::ActionList() const { return qobject_cast<QListWidget*>(Find("macro_action_list")); }

void CMacroControlUI::AttachDevice(CVantikUSBDevice& device)
{
    m_device = &device;
    if (auto* e = qobject_cast<QLineEdit*>(Find("macro_fixed_time_edit"))) {
        if (!dynamic_cast<const DelayValidator*>(e->validator()))
            e->setValidator(new DelayValidator(e));
        e->setText(QString::number(m_fixedDelay));
    }
    for (const char* name : {"mouse_x_left_edit", "mouse_x_right_edit", "mouse_y_up_edit", "mouse_y_down_edit"})
        if (auto* e = qobject_cast<QLineEdit*>(Find(name))) {
            e->setValidator(new QIntValidator(0, 999, e));
            e->setText(QStringLiteral("10"));
        }
    if (QListWidget* actions = ActionList(); actions && !qobject_cast<macroview::MacroRowDelegate*>(actions->itemDelegate())) {
        // The rows are drawn by the delegate; only a delay being edited has a widget.
        auto* rows = new macroview::MacroRowDelegate(actions);
        actions->setItemDelegate(rows);
        actions->setUniformItemSizes(true);
        actions->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
        connect(rows, &macroview::MacroRowDelegate::DelayEdited, this, [this](int row, int delay) {
            SetRowDelay(row, delay);
            SaveMacro();
        });
    }
    SetMacroFolder(device.DataFolder());
    SetMacroControlsEnabled(false);
    LoadMacroList();
    if (auto* keys = device.findChild<CKeySetControlUI*>()) {
        keys->SetMacroNames(MacroNames());
        keys->RelabelKeys();
    }
}

QString CMacroControlUI::MacroFile(int index) const
{
    QListWidget* list = NameList();
    if (!list || index < 0 || index >= list->count())
        return {};
    // An id that would lead out of the device folder names no file.
    return paths::macroFile(m_folder, list->item(index)->data(Qt::UserRole).toString());
}

Json::Value CMacroControlUI::ReadList() const
{
    const QString file = paths::macroListFile(m_folder);
    Json::Value doc = CJsonFile::ReadJson(file);
    if (!doc.isObject()) {
        // What is read here is written back: a damaged list is kept beside itself first.
        userfiles::KeptBeforeReplacing(file);
        doc = Json::Value(Json::objectValue);
    }
    if (!doc["MacroInfo"].isArray())
        doc["MacroInfo"] = Json::Value(Json::arrayValue);
    return doc;
}

void CMacroControlUI::LoadMacroList()
{
    QListWidget* list = NameList();
    if (m_folder.isEmpty() || !list)
        return;
    const QSignalBlocker block(list);
    list->clear();
    const Json::Value info = protocol::jsonMember(CJsonFile::ReadJson(paths::macroListFile(m_folder)), "MacroInfo");
    if (!info.isArray())
        return;
    QStringList refused;
    for (const Json::Value& entry : info) {
        const Json::Value& name = protocol::jsonMember(entry, "MacroName");
        const Json::Value& guid = protocol::jsonMember(entry, "Guid");
        const QString id = QString::fromStdString(guid.isString() ? guid.asString() : std::string());
        const QString text = QString::fromStdString(name.isString() ? name.asString() : std::string());
        // An id that is no plain file name ("../x", "a/b") would read or write outside the
        // device folder: such an entry is left out and the user told, never listed as a macro
        // that silently saves nothing.
        if (!paths::isSafeFileBaseName(id)) {
            refused << text;
            continue;
        }
        auto* item = new QListWidgetItem(text);
        item->setData(Qt::UserRole, id);
        item->setSizeHint(QSize(0, 30));
        list->addItem(item);
    }
    if (!refused.isEmpty()) {
        QString body = ui::Language::instance().Text(QStringLiteral("message_text_macro_refused"));
        body = body.arg(refused.join(QStringLiteral(", ")), paths::macroListFile(m_folder));
        // Told once the page is up: the list is loaded while the page is being built.
        QTimer::singleShot(0, this, [this, body] { editors::Services().message(this, body, false, 0); });
    }
}

QStringList CMacroControlUI::MacroNames() const
{
    QStringList names;
    if (QListWidget* list = NameList())
        for (int i = 0; i < list->count(); ++i)
            names << list->item(i)->text();
    return names;
}

void CMacroControlUI::SelectMacro(int index)
{
    if (QListWidget* list = NameList()) {
        const QSignalBlocker block(list);
        list->setCurrentRow(index);
    }
    ShowMacro();
}

void CMacroControlUI::SetMacroControlsEnabled(bool on)
{
    for (const char* name : {"macro_action_layout", "mouse_move_layout", "macro_btn_export", "macro_btn_name_sub",
                             "macro_btn_name_edit"})
        if (QWidget* w = Find(name))
            w->setEnabled(on);
}

void CMacroControlUI::AddRow(int at, const Json::Value& event)
{
    if (QListWidget* list = ActionList())
        list->insertItem(at, new macroview::MacroRowItem(event, QString::fromStdString(JsonText(event))));
}

void CMacroControlUI::SetRowDelay(int row, int delay)
{
    QListWidget* list = ActionList();
    if (!list || row < 0 || row >= list->count())
        return;
    auto* item = static_cast<macroview::MacroRowItem*>(list->item(row));
    Json::Value event = ParseJson(item->data(macroview::kEventRole).toString());
    if (!event.isObject())
        return;
    event["Delay"] = std::to_string(std::clamp(delay, 0, kMaxDelayMs));
    item->SetEvent(event, QString::fromStdString(JsonText(event)));
}

QStringList CMacroControlUI::RowData() const
{
    QStringList rows;
    if (QListWidget* list = ActionList())
        for (int i = 0; i < list->count(); ++i)
            rows << list->item(i)->data(Qt::UserRole).toString();
    return rows;
}

int CMacroControlUI::SelectedRow() const
{
    QListWidget* list = ActionList();
    return list ? list->currentRow() : -1;
}

void CMacroControlUI::SelectRow(int row)
{
    if (QListWidget* list = ActionList())
        list->setCurrentRow(row);
}

void CMacroControlUI::ShowMacro()
{
    QListWidget* names = NameList();
    QListWidget* actions = ActionList();
    if (!names || !actions)
        return;
    // A delay being edited in a row of the macro shown until now is finished (and saved to
    // that macro) before its rows go.
    if (QWidget* focus = QApplication::focusWidget(); focus && actions->isAncestorOf(focus))
        focus->clearFocus();
    m_shownGuid.clear();
    const int index = names->currentRow();
    if (index < 0) {
        actions->clear();
        return;
    }
    const QString file = MacroFile(index);
    if (file.isEmpty())
        return;
    SetMacroControlsEnabled(true);
    actions->clear();
    // What cannot be an event is left out; the rest of the file still loads. A file that cannot
    // be read at all is kept beside itself, since saving the macro replaces it.
    const Json::Value doc = CJsonFile::ReadJson(file);
    if (!doc.isObject())
        userfiles::KeptBeforeReplacing(file);
    const macrofile::Survey survey = macrofile::Inspect(doc);
    if (survey.TooLong()) {
        // Shown as empty and not taken as the shown macro: nothing typed here replaces the file.
        SetMacroControlsEnabled(false);
        TellLater(TooLongText(names->item(index)->text(), survey.events));
        return;
    }
    for (const Json::Value& e : macrofile::Events(doc))
        AddRow(actions->count(), e);
    m_shownGuid = names->item(index)->data(Qt::UserRole).toString();
    if (survey.leftOut > 0 || survey.longDelays > 0) {
        QString body = ui::Language::instance().Text(QStringLiteral("message_text_macro_rows_adjusted"));
        TellLater(body.arg(names->item(index)->text()).arg(survey.leftOut).arg(survey.longDelays));
    }
}

QString CMacroControlUI::TooLongText(const QString& name, size_t events) const
{
    const QString body = ui::Language::instance().Text(QStringLiteral("message_text_macro_too_long"));
    return body.arg(name).arg(events).arg(macrofile::MaxEvents());
}

void CMacroControlUI::TellLater(const QString& body)
{
    // Told once the page is up: a macro can be shown while the page is being built.
    QTimer::singleShot(0, this, [this, body] { editors::Services().message(this, body, false, 0); });
}

int CMacroControlUI::ShownMacroIndex() const
{
    QListWidget* names = NameList();
    if (!names || m_shownGuid.isEmpty())
        return -1;
    for (int i = 0; i < names->count(); ++i)
        if (names->item(i)->data(Qt::UserRole).toString() == m_shownGuid)
            return i;
    return -1;
}

QString CMacroControlUI::NewMacro()
{
    QListWidget* list = NameList();
    if (!list || list->count() >= kMaxMacros)
        return {};
    const QStringList names = MacroNames();
    QString name;
    for (int n = 1;; ++n) {
        name = QStringLiteral("macro_%1").arg(n);
        if (!names.contains(name, Qt::CaseInsensitive))
            break;
    }
    // Each macro has its own file, also when two are added within one millisecond.
    const QString id = QString::fromStdString(CJsonFile::MakeTimestampName([&](const std::string& candidate) {
        const QString name = QString::fromStdString(candidate);
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->data(Qt::UserRole).toString() == name)
                return true;
        return QFileInfo::exists(paths::macroFile(m_folder, name));
    }));
    auto* item = new QListWidgetItem(name);
    item->setData(Qt::UserRole, id);
    item->setSizeHint(QSize(0, 30));
    {
        const QSignalBlocker block(list);
        list->addItem(item);
    }
    Json::Value doc = ReadList();
    Json::Value entry(Json::objectValue);
    entry["MacroName"] = name.toStdString();
    entry["Guid"] = id.toStdString();
    doc["MacroInfo"][Json::ArrayIndex(list->count() - 1)] = entry;
    userfiles::NoteSave(paths::macroListFile(m_folder), CJsonFile::WriteJson(paths::macroListFile(m_folder), doc) == 0);
    SelectMacro(list->count() - 1);
    return name;
}

int CMacroControlUI::RenameMacro()
{
    QListWidget* list = NameList();
    auto* edit = qobject_cast<QLineEdit*>(Find("macro_edit_macroname"));
    if (!list || !edit || list->currentRow() < 0)
        return 0;
    const QString name = edit->text();
    if (name.trimmed().isEmpty())
        return 0;
    if (MacroNames().contains(name, Qt::CaseInsensitive)) {
        Services().message(window(), QStringLiteral("message_text_5"), true, 0);
        return -1;
    }
    const int i = list->currentRow();
    list->item(i)->setText(name);
    Json::Value doc = ReadList();
    if (Json::ArrayIndex(i) < doc["MacroInfo"].size() && doc["MacroInfo"][i].isObject()) {
        doc["MacroInfo"][i]["MacroName"] = name.toStdString();
        userfiles::NoteSave(paths::macroListFile(m_folder), CJsonFile::WriteJson(paths::macroListFile(m_folder), doc) == 0);
    }
    edit->clear();
    if (m_device)
        if (auto* keys = m_device->findChild<CKeySetControlUI*>()) {
            keys->RenameMacroName(i, name);
            m_device->LoadNameLists();
            keys->RelabelKeys();
        }
    return 1;
}

void CMacroControlUI::DeleteMacro(int number)
{
    QListWidget* list = NameList();
    if (!list || number < 0 || number >= list->count())
        return;
    if (const QString file = MacroFile(number); !file.isEmpty())
        QFile::remove(file);
    {
        const QSignalBlocker block(list);
        delete list->takeItem(number);
    }
    if (QListWidget* actions = ActionList())
        actions->clear();
    Json::Value doc = ReadList();
    Json::Value removed;
    if (Json::ArrayIndex(number) < doc["MacroInfo"].size())
        doc["MacroInfo"].removeIndex(Json::ArrayIndex(number), &removed);
    userfiles::NoteSave(paths::macroListFile(m_folder), CJsonFile::WriteJson(paths::macroListFile(m_folder), doc) == 0);
    if (list->count() > 0)
        SelectMacro(0);
    else
        SetMacroControlsEnabled(false);
}

namespace {

// Keys on the deleted macro go back to what they do out of the box; keys on later macros
// follow their macro's new number. True when anything changed.
bool Renumber(std::vector<KeyAssignmentPair>& keys, int m)
{
    bool changed = false;
    for (KeyAssignmentPair& k : keys) {
        KeyAssignment& a = k.current;
        if (a.type != 0x70 && a.type != 0x71)
            continue;
        if (a.p1 == m) {
            a.type = k.defaults.type;
            a.p1 = k.defaults.p1;
            a.p2 = k.defaults.p2;
            changed = true;
        } else if (a.p1 > m) {
            --a.p1;
            changed = true;
        }
    }
    return changed;
}

}  // namespace

bool CMacroControlUI::DeleteSelectedMacro()
{
    QListWidget* list = NameList();
    if (Services().message(window(), QStringLiteral("message_text_4"), true, 1) != 1)
        return false;
    const int m = list ? list->currentRow() : -1;
    if (m < 0 || !m_device)
        return false;
    std::vector<KeyAssignmentPair> active = m_device->KeyAssignments();
    const bool used = std::any_of(active.begin(), active.end(), [m](const KeyAssignmentPair& k) {
        return (k.current.type == 0x70 || k.current.type == 0x71) && k.current.p1 == m;
    });
    if (used && Services().message(window(), QStringLiteral("message_text_2"), true, 1) != 1)
        return false;
    // Every other profile of the device, through the profile's scratch slot.
    CBasicProfiledata& profile = m_device->Profile();
    const ProfileList profiles(m_device->DataFolder(), m_device->DefaultProfileFile());
    const QString activePath = profile.GetProfilePath();
    for (const ProfileList::Entry& e : profiles.Entries()) {
        const QString path = profiles.ProfileFile(e.id);
        if (path.isEmpty() || path == activePath)
            continue;
        if (profile.LoadScratchData(path).isNull())
            continue;
        std::vector<KeyAssignmentPair> keys = profile.GetScratchKeyList();
        if (Renumber(keys, m)) {
            profile.SetScratchKeyList(keys);
            profile.SaveScratchTo(path);
        }
    }
    const bool activeChanged = Renumber(active, m);
    if (activeChanged)
        m_device->StoreKeyAssignments(active);
    DeleteMacro(m);
    auto* keys = m_device->findChild<CKeySetControlUI*>();
    if (keys)
        keys->RemoveMacroName(m);
    m_device->LoadNameLists();
    if (activeChanged && keys) {
        keys->RelabelKeys();
        keys->WriteToDevice();
    }
    return true;
}

void CMacroControlUI::SaveMacro()
{
    QListWidget* names = NameList();
    QListWidget* actions = ActionList();
    // The rows belong to the macro they were loaded from, not necessarily to the one selected:
    // a delay edit that finishes while another macro is being selected saves where it was typed.
    const int index = ShownMacroIndex();
    if (!names || !actions || index < 0)
        return;
    const QString file = MacroFile(index);
    if (file.isEmpty())
        return;
    Json::Value doc(Json::objectValue);
    for (int i = 0; i < actions->count(); ++i) {
        QListWidgetItem* item = actions->item(i);
        const QString data = item->data(Qt::UserRole).toString();
        if (data.isEmpty())
            break;
        Json::Value event = ParseJson(data);
        if (!event.isObject())
            continue;
        event["Delay"] = std::to_string(macrofile::DelayOf(event));
        doc["Events"].append(event);
    }
    doc["MacroName"] = names->item(index)->text().toStdString();
    doc["Guid"] = names->item(index)->data(Qt::UserRole).toString().toStdString();
    doc["Version"] = 64;
    userfiles::NoteSave(file, CJsonFile::WriteJson(file, doc) == 0);
}

bool CMacroControlUI::ExportMacro(const QString& path)
{
    QListWidget* names = NameList();
    const QString file = names ? MacroFile(names->currentRow()) : QString();
    if (file.isEmpty() || path.isEmpty() || !QFile::exists(file))
        return false;
    QFile::remove(path);
    return QFile::copy(file, path);
}

bool CMacroControlUI::ImportMacro(const QString& path)
{
    if (path.isEmpty() || !QFile::exists(path))
        return false;
    // A file with more events than a macro may hold is refused before any macro is made for it.
    if (const macrofile::Survey survey = macrofile::Inspect(CJsonFile::ReadJson(path)); survey.TooLong()) {
        editors::Services().message(this, TooLongText(QFileInfo(path).fileName(), survey.events), false, 0);
        return false;
    }
    const QString name = NewMacro();
    if (name.isEmpty())
        return false;
    const QString file = MacroFile(NameList()->currentRow());
    QFile::remove(file);
    QFile::copy(path, file);
    ShowMacro();
    return true;
}

void CMacroControlUI::MoveAction(MoveKind kind)
{
    QListWidget* list = ActionList();
    const int i = SelectedRow();
    if (!list || i < 0)
        return;
    int to = i;
    switch (kind) {
    case MoveUp: to = i > 0 ? i - 1 : i; break;
    case MoveDown: to = i < list->count() - 1 ? i + 1 : i; break;
    case MoveTop: to = 0; break;
    case MoveBottom: to = list->count() - 1; break;
    }
    if (to == i)
        return;
    const Json::Value event = ParseJson(list->item(i)->data(Qt::UserRole).toString());
    delete list->takeItem(i);
    AddRow(to, event);
    list->setCurrentRow(to);
}

void CMacroControlUI::DeleteAction()
{
    QListWidget* list = ActionList();
    const int i = SelectedRow();
    if (list && i >= 0)
        delete list->takeItem(i);
}

void CMacroControlUI::DeleteAllActions()
{
    if (QListWidget* list = ActionList())
        list->clear();
}

bool CMacroControlUI::IsFixedTimeChecked() const
{
    auto* b = qobject_cast<QAbstractButton*>(Find("macro_check_time"));
    return b && b->isChecked();
}

void CMacroControlUI::ReadFixedDelay()
{
    auto* e = qobject_cast<QLineEdit*>(Find("macro_fixed_time_edit"));
    if (!e)
        return;
    const int64_t value = macrofile::LeadingNumber(e->text().toStdString());
    if (value == m_fixedDelay)
        return;
    m_fixedDelay = int(std::clamp<int64_t>(value, 0, 65535));
    e->setText(QString::number(m_fixedDelay));
    e->setCursorPosition(int(e->text().size()));
}

void CMacroControlUI::StartRecording(int timeMode)
{
    m_timeMode = timeMode;
    m_lastTick = m_clock();
    m_lastEventTime = 0;
    if (timeMode == 2)
        ReadFixedDelay();
    for (const char* name : {"macro_name_tab", "macro_action_list"})
        if (QWidget* w = Find(name)) {
            w->setAttribute(Qt::WA_TransparentForMouseEvents, true);
            for (QWidget* c : w->findChildren<QWidget*>())
                c->setAttribute(Qt::WA_TransparentForMouseEvents, true);
        }
    for (const char* name : {"macro_tab_macroaction_edit", "macro_tab_macrodelay_edit"})
        if (QWidget* w = Find(name))
            w->setEnabled(false);
    if (QWidget* w = Find("macro_btn_starredio"))
        w->setVisible(false);
    if (QWidget* w = Find("macro_btn_stopredio")) {
        w->setVisible(true);
        // The stop button blinks for as long as the recording runs.
        if (auto* blink = qobject_cast<ui::CRedioMacroButtonUI*>(w))
            blink->SetBlinking(true);
    }
    m_recording = true;
}

void CMacroControlUI::StopRecording()
{
    for (const char* name : {"macro_name_tab", "macro_action_list"})
        if (QWidget* w = Find(name)) {
            w->setAttribute(Qt::WA_TransparentForMouseEvents, false);
            for (QWidget* c : w->findChildren<QWidget*>())
                c->setAttribute(Qt::WA_TransparentForMouseEvents, false);
        }
    for (const char* name : {"macro_tab_macroaction_edit", "macro_tab_macrodelay_edit"})
        if (QWidget* w = Find(name))
            w->setEnabled(true);
    if (QWidget* w = Find("macro_btn_starredio"))
        w->setVisible(true);
    if (QWidget* w = Find("macro_btn_stopredio")) {
        w->setVisible(false);
        if (auto* blink = qobject_cast<ui::CRedioMacroButtonUI*>(w))
            blink->SetBlinking(false);
    }
    m_recording = false;
}

bool CMacroControlUI::RecordRow(Placement placement, const Json::Value& event, uint8_t, bool, uint32_t eventTime)
{
    QListWidget* list = ActionList();
    if (!list)
        return false;
    const int selected = list->currentRow();
    if (placement == Replace) {
        if (selected < 0)
            return false;
        Json::Value row = ParseJson(list->item(selected)->data(Qt::UserRole).toString());
        if (!row.isObject())
            return false;
        row["Button"] = event["Button"];
        row["Type"] = event["Type"];
        delete list->takeItem(selected);
        AddRow(selected, row);
        list->setCurrentRow(selected);
        return true;
    }
    if (placement != Append && selected < 0)
        return false;
    if (list->count() >= kMaxRows)
        return false;
    // The delay of the row before the new one: the time from its event to this one.
    int d = 0;
    if (m_timeMode == 2) {
        d = m_fixedDelay;
    } else if (m_timeMode == 1) {
        // The time between the two events as the X server stamped them, so a window busy
        // elsewhere does not shorten it; the time of handling when either has no stamp.
        const int64_t now = m_clock();
        const int64_t gap = eventTime && m_lastEventTime ? int64_t(uint32_t(eventTime - m_lastEventTime)) : now - m_lastTick;
        d = int(std::min<int64_t>(std::max<int64_t>(gap, 0), 65535));
        m_lastTick = now;
        m_lastEventTime = eventTime;
    }
    int at = list->count();
    if (placement == Before)
        at = selected;
    else if (placement == After)
        at = selected + 1;
    Json::Value row = event;
    row["Delay"] = std::to_string(list->count() == 0 ? 0 : (m_timeMode == 2 ? m_fixedDelay : 0));
    AddRow(at, row);
    if (m_recordedRow && at > 0)
        SetRowDelay(at - 1, d);
    m_recordedRow = true;
    if (placement == Before)
        list->setCurrentRow(at + 1);
    else
        list->setCurrentRow(at);
    QTimer::singleShot(50, list, [list] {
        if (QListWidgetItem* item = list->currentItem())
            list->scrollToItem(item);
    });
    return true;
}

void CMacroControlUI::RecordKeyEvent(Placement placement, uint32_t message, const KeyboardHookRecord& record)
{
    const bool down = message == CDeviceHook::kKeyDown || message == CDeviceHook::kSysKeyDown;
    const int scan = int(record.scanCode);
    const bool extended = (record.flags & 1) != 0;
    RepeatMemory& memory = placement == Replace ? g_replaceRepeat : g_repeat;
    const bool same = memory.scan == scan && memory.extended == extended;
    if (down) {
        if (same)
            return;  // the system repeating a held key
        memory.scan = scan;
        memory.extended = extended;
    } else if (same) {
        memory.scan = -1;
    }
    const int r = scan <= 0xFF ? keyfn::FindScanRow(uint8_t(scan), extended) : -1;
    if (r < 0)
        return;
    const keyfn::FunctionRow& row = keyfn::KeyTable()[size_t(r)];
    Json::Value event;
    if (row.p2 != 0)
        event = MakeEvent(down, row.p2, 10, 0);
    else if (row.p1 != 0)
        event = MakeEvent(down, row.p1, 9, 0);
    else
        return;
    RecordRow(placement, event, uint8_t(scan), true, record.time);
}

void CMacroControlUI::RecordMouseEvent(Placement placement, uint32_t message, const HookMouseRecord& record)
{
    const auto rows = keyfn::MouseActionTable();
    int r = -1;
    if (message == 0x020B || message == 0x020C) {
        const uint32_t x = record.mouseData >> 16;
        if (x == 2)
            r = message == 0x020B ? 6 : 7;
        else if (x == 1)
            r = message == 0x020B ? 8 : 9;
    } else {
        for (int i = 0; i < 6; ++i)
            if (rows[size_t(i)].message == message)
                r = i;
    }
    if (r < 0)
        return;
    RepeatMemory& memory = placement == Replace ? g_replaceRepeat : g_repeat;
    if (memory.mouseMessage == message)
        return;
    memory.mouseMessage = message;
    // The click on the stop button that ends the recording is no part of the macro.
    if ((message == 0x0201 || message == 0x0202))
        if (QWidget* stop = Find("macro_btn_stopredio"); stop && stop->isVisible()) {
            const QRect area(stop->mapToGlobal(QPoint(0, 0)), stop->size());
            if (area.contains(record.x, record.y))
                return;
        }
    const keyfn::MouseActionRow& row = rows[size_t(r)];
    RecordRow(placement, MakeEvent((row.eventByte & 0x80) != 0, row.bit, row.eventByte & 0x7F, 0), 0, false, record.time);
}

void CMacroControlUI::InsertMouseAction(uint32_t message, int variant)
{
    QListWidget* list = ActionList();
    if (!list)
        return;
    const auto rows = keyfn::MouseActionTable();
    Json::Value event;
    if (message == 0x0200) {
        static constexpr const char* kEdits[] = {"mouse_x_left_edit", "mouse_x_right_edit", "mouse_y_up_edit", "mouse_y_down_edit"};
        if (variant < 0 || variant > 3)
            return;
        const keyfn::MouseActionRow& row = rows[size_t(10 + variant)];
        auto* e = qobject_cast<QLineEdit*>(Find(kEdits[variant]));
        const int distance = int(macrofile::LeadingNumber(e ? e->text().toStdString() : std::string()) & 0xFF);
        event = MakeEvent((row.eventByte & 0x80) != 0, distance, row.eventByte & 0x7F, m_fixedDelay);
    } else if (message == 0x020B || message == 0x020C) {
        const bool down = message == 0x020B;
        event = MakeEvent(down, variant == 1 ? 0x08 : 0x10, 1, m_fixedDelay);
    } else {
        int r = -1;
        for (int i = 0; i < 6; ++i)
            if (rows[size_t(i)].message == message)
                r = i;
        if (r < 0)
            return;
        event = MakeEvent((rows[size_t(r)].eventByte & 0x80) != 0, rows[size_t(r)].bit, 1, m_fixedDelay);
    }
    const int p = std::max(list->currentRow(), 0);
    const int at = list->count() > 0 ? p + 1 : 0;
    AddRow(at, event);
    list->setCurrentRow(at);
}

void CMacroControlUI::BeginRecording(Placement placement, int timeMode)
{
    auto* window = qobject_cast<WindowImplBase*>(this->window());
    if (!window)
        return;
    auto* hook = window->findChild<CDeviceHook*>();
    if (!hook) {
        hook = new CDeviceHook(window);
    }
    // A member function, so that the connection is made once however often a recording starts.
    connect(hook, &CDeviceHook::lost, this, &CMacroControlUI::OnHookLost, Qt::UniqueConnection);
    static constexpr int kModes[] = {CDeviceHook::MacroAppend, CDeviceHook::MacroBefore, CDeviceHook::MacroAfter,
                                     CDeviceHook::MacroReplace};
    m_placement = placement;
    StartRecording(timeMode);
    hook->StartHook(kModes[placement], window, true, true);
    if (QWidget* strip = ui::PaintManager::FindSubControlByName(window, QStringLiteral("device_select_layout")))
        strip->setEnabled(false);
    if (m_device)
        if (QWidget* profile = ui::PaintManager::FindSubControlByName(m_device, QStringLiteral("DeviceProfileItem")))
            profile->setEnabled(false);
    if (m_device)
        if (auto* keys = m_device->findChild<CKeySetControlUI*>())
            keys->SetKeyButtonsEnabled(true);
}

void CMacroControlUI::OnHookLost()
{
    if (m_recording)
        EndRecording();
}

void CMacroControlUI::EndRecording()
{
    StopRecording();
    if (auto* window = qobject_cast<WindowImplBase*>(this->window())) {
        if (auto* hook = window->findChild<CDeviceHook*>())
            hook->RemoveHook();
        if (QWidget* strip = ui::PaintManager::FindSubControlByName(window, QStringLiteral("device_select_layout")))
            strip->setEnabled(true);
    }
    if (m_device) {
        if (QWidget* profile = ui::PaintManager::FindSubControlByName(m_device, QStringLiteral("DeviceProfileItem")))
            profile->setEnabled(true);
        if (auto* keys = m_device->findChild<CKeySetControlUI*>())
            keys->SetKeyButtonsEnabled(false);
    }
    SaveMacro();
}

void CMacroControlUI::AfterListChange()
{
    if (!m_device)
        return;
    m_device->LoadNameLists();
}

ui::MenuWnd* CMacroControlUI::OpenActionMenu(int row)
{
    QListWidget* list = ActionList();
    QListWidget* names = NameList();
    auto* owner = qobject_cast<WindowImplBase*>(window());
    if (m_recording || !list || !names || !owner || !names->currentItem() || row < 0 || row >= list->count())
        return nullptr;
    list->setCurrentRow(row);
    m_actionMenu = ui::MenuWnd::Popup(QStringLiteral("XML/Menus/macro_action_menu.xml"), QCursor::pos(), owner);
    return m_actionMenu;
}

bool CMacroControlUI::RunActionMenuItem(const QString& item)
{
    const QString name = item.toLower();
    // Recording in front of (8) or behind (16) the row; the first variant measures the delays
    // unless the fixed delay is ticked.
    struct Recording {
        const char* name;
        Placement placement;
        int timeMode;  // 0: measured, or fixed when "macro_check_time" is selected
    };
    static constexpr Recording kRecordings[] = {
        {"redio_previous_record_time", Before, 0}, {"redio_previous_constant_time", Before, 2},
        {"redio_previous_ignore_time", Before, 3},  {"redio_later_record_time", After, 0},
        {"redio_later_constant_time", After, 2},   {"redio_later_ignore_time", After, 3},
        {"macro_action_edit", Replace, 3},
    };
    for (const Recording& r : kRecordings)
        if (name == QLatin1String(r.name)) {
            BeginRecording(r.placement, r.timeMode ? r.timeMode : (IsFixedTimeChecked() ? 2 : 1));
            return true;
        }
    // Mouse buttons: the down and up messages, and the X-button variant (0 forward, 1 back).
    struct Button {
        const char* prefix;
        uint32_t down, up;
        int variant;
    };
    static constexpr Button kButtons[] = {
        {"left", 0x0201, 0x0202, 0},   {"right", 0x0204, 0x0205, 0},  {"middle", 0x0207, 0x0208, 0},
        {"forward", 0x020B, 0x020C, 0}, {"back", 0x020B, 0x020C, 1},
    };
    for (const Button& b : kButtons) {
        const QString prefix = QLatin1String(b.prefix) + QLatin1Char('_');
        if (!name.startsWith(prefix))
            continue;
        const QString what = name.mid(prefix.size());
        if (what == QLatin1String("down")) {
            InsertMouseAction(b.down, b.variant);
        } else if (what == QLatin1String("up")) {
            InsertMouseAction(b.up, b.variant);
        } else if (what == QLatin1String("click")) {
            // Each insertion goes behind the selected row and becomes it: the release follows
            // the press.
            InsertMouseAction(b.down, b.variant);
            InsertMouseAction(b.up, b.variant);
        } else {
            return false;
        }
        SaveMacro();
        return true;
    }
    return false;
}

bool CMacroControlUI::HandlePanelNotify(TNotifyUI& msg)
{
    if (!msg.pSender)
        return false;
    // An item of the row menu this panel opened (the menu belongs to the window, not the panel).
    if (msg.sType == QLatin1String(ui::kNotifyMenu) && msg.wParam == ui::kMenuCommand) {
        if (!m_actionMenu || msg.pSender != m_actionMenu.data() || !msg.lParam)
            return false;
        RunActionMenuItem(reinterpret_cast<const ui::MenuCmd*>(msg.lParam)->name);
        return true;
    }
    if (!isAncestorOf(msg.pSender))
        return false;
    const QString name = msg.pSender->objectName();
    if (msg.sType == QLatin1String(ui::kNotifyItemSelect) && name == QLatin1String("macro_name_list")) {
        ShowMacro();
        return true;
    }
    // A row activated (double click or Enter): its menu at the cursor.
    if (msg.sType == QLatin1String(ui::kNotifyItemActivate) &&
        (name == QLatin1String("macro_action_list") || name == QLatin1String("macro_action"))) {
        QListWidget* list = ActionList();
        OpenActionMenu(name == QLatin1String("macro_action_list") ? int(msg.wParam) : (list ? list->currentRow() : -1));
        return true;
    }
    if (msg.sType != QLatin1String(ui::kNotifyClick))
        return false;
    auto* keys = m_device ? m_device->findChild<CKeySetControlUI*>() : nullptr;
    if (name == QLatin1String("macro_btn_name_add")) {
        if (const QString made = NewMacro(); !made.isEmpty()) {
            if (keys)
                keys->AddMacroName(made);
            AfterListChange();
        }
    } else if (name == QLatin1String("macro_btn_name_sub")) {
        DeleteSelectedMacro();
    } else if (name == QLatin1String("macro_btn_name_edit")) {
        RenameMacro();
    } else if (name == QLatin1String("macro_btn_save")) {
        SaveMacro();
    } else if (name == QLatin1String("macro_btn_cancel")) {
        ShowMacro();
    } else if (name == QLatin1String("macro_btn_export")) {
        QListWidget* list = NameList();
        const QString suggested = list && list->currentItem() ? list->currentItem()->text() + QStringLiteral(".mac") : QString();
        ExportMacro(Services().saveFile(window(), QLatin1String(kMacroFilter), suggested));
    } else if (name == QLatin1String("macro_btn_import")) {
        if (ImportMacro(Services().openFile(window(), QLatin1String(kMacroFilter)))) {
            if (keys)
                keys->AddMacroName(MacroNames().back());
            AfterListChange();
        }
    } else if (name == QLatin1String("macro_btn_up") || name == QLatin1String("macro_btn_down") ||
               name == QLatin1String("macro_btn_uptop") || name == QLatin1String("macro_btn_downbottom")) {
        MoveAction(name == QLatin1String("macro_btn_up") ? MoveUp : name == QLatin1String("macro_btn_down") ? MoveDown
                   : name == QLatin1String("macro_btn_uptop") ? MoveTop : MoveBottom);
        SaveMacro();
    } else if (name == QLatin1String("macro_btn_delete")) {
        DeleteAction();
        SaveMacro();
    } else if (name == QLatin1String("macro_btn_deleteall")) {
        DeleteAllActions();
        SaveMacro();
    } else if (name == QLatin1String("macro_inset_moveleftkey_btn") || name == QLatin1String("macro_inset_moverightkey_btn") ||
               name == QLatin1String("macro_inset_moveupkey_btn") || name == QLatin1String("macro_inset_movedownkey_btn")) {
        const int variant = name == QLatin1String("macro_inset_moveleftkey_btn") ? 0
                            : name == QLatin1String("macro_inset_moverightkey_btn") ? 1
                            : name == QLatin1String("macro_inset_moveupkey_btn") ? 2 : 3;
        InsertMouseAction(0x0200, variant);
        SaveMacro();
    } else if (name == QLatin1String("macro_btn_starredio")) {
        BeginRecording(Append, IsFixedTimeChecked() ? 2 : 1);
    } else if (name == QLatin1String("macro_btn_stopredio")) {
        EndRecording();
    } else {
        return false;
    }
    return true;
}
