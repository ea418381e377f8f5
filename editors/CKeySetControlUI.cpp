#include "editors/CKeySetControlUI.h"
#include "ui/CDeviceKeyButtonUI.h"

#include "app/PrivateMessages.h"
#include "devices/CVantikUSBDevice.h"
#include "editors/KeyFunctionTables.h"
#include "editors/PanelServices.h"
#include "ui/Language.h"
#include "ui/PaintManager.h"
#include "ui/WindowImplBase.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QStackedWidget>

using editors::Services;

namespace {

// The leading decimal number of a text, as atoi reads it (0 when there is none).
int LeadingNumber(const QString& text)
{
    const QString t = text.trimmed();
    int i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+')))
        negative = t[i++] == QLatin1Char('-');
    int64_t value = 0;
    for (; i < t.size() && t[i].isDigit() && value < 100000000; ++i)
        value = value * 10 + t[i].digitValue();
    return int(negative ? -value : value);
}

QString Resolve(const QString& id)
{
    return ui::Language::instance().Text(id);
}

bool IsKeyboardKind(int kind) { return kind == 1 || kind == 9; }

constexpr const char* kTableCombos[] = {
    "keyset_mousekey_combo", "keyset_mouseswing_combo", "keyset_mousewheel_combo", "keyset_mousedpi_combo",
    "keyset_media_combo", "keyset_system_combo", "keyset_macro_combo", "keyset_gunkey_combo",
    "keyset_combokey_combo",
};
constexpr const char* kNumberEdits[] = {
    "keyset_mouseswing_num_edit", "keyset_mouseswing_delay_edit", "keyset_mouseswing_speed_edit",
    "keyset_mousewheel_num_edit", "keyset_mousewheel_delay_edit", "keyset_mousewheel_speed_edit",
    "keyset_mousefire_interval_edit", "keyset_mousefire_num_edit", "keyset_macro_cycle_edit",
};
constexpr char kKeyEdit[] = "keyset_keyboard_text_edit";
constexpr char kModifierPrefix[] = "key_ComBox_check_";

}  // namespace

CKeySetControlUI::CKeySetControlUI(QWidget* parent) : QWidget(parent) {}

QWidget* CKeySetControlUI::Find(const char* name) const
{
    return ui::PaintManager::FindSubControlByName(const_cast<CKeySetControlUI*>(this), QLatin1String(name));
}

QComboBox* CKeySetControlUI::Combo(const char* name) const
{
    return qobject_cast<QComboBox*>(Find(name));
}

QLineEdit* CKeySetControlUI::Edit(const char* name) const
{
    return qobject_cast<QLineEdit*>(Find(name));
}

void CKeySetControlUI::AttachDevice(CVantikUSBDevice& device)
{
    m_device = &device;
    // The category chooser's items are the categories in order; each carries its number.
    if (QComboBox* c = Combo("keyset_function_combo")) {
        const QSignalBlocker block(c);
        for (int i = 0; i < c->count(); ++i)
            c->setItemData(i, QString::number(i));
    }
    SetDeviceKind(int(device.DeviceType()));
    if (QWidget* layout = Find("keyset_layout"))
        layout->setVisible(false);
    SetKeyButtonsEnabled(false);
    RelabelKeys();
    connect(&device, &CVantikUSBDevice::keyAssignmentsReloaded, this, &CKeySetControlUI::OnAssignmentsReloaded,
            Qt::UniqueConnection);
}

void CKeySetControlUI::OnAssignmentsReloaded()
{
    RelabelKeys();
    // The key being edited shows its function in the profile now in use; what the panel showed
    // belonged to the profile left behind and must not be stored into this one.
    if (!m_device || m_editedKey < 0)
        return;
    const std::vector<KeyAssignmentPair> keys = m_device->KeyAssignments();
    if (size_t(m_editedKey) < keys.size())
        LoadKey(keys[size_t(m_editedKey)]);
    SetKeyButtonsEnabled(false);
}

void CKeySetControlUI::SetDeviceKind(int kind)
{
    m_kind = kind;
    if (!IsKeyboardKind(kind))
        return;
    // A keyboard has no DPI and no gun pattern functions.
    if (QComboBox* c = Combo("keyset_function_combo")) {
        const QSignalBlocker block(c);
        for (int i = c->count() - 1; i >= 0; --i) {
            const int category = c->itemData(i).toString().toInt();
            if (category == CatDpi || category == CatGun)
                c->removeItem(i);
        }
    }
}

// --- Macro names ---

void CKeySetControlUI::SetMacroNames(const QStringList& names)
{
    QComboBox* c = Combo("keyset_macro_combo");
    if (!c)
        return;
    const QSignalBlocker block(c);
    c->addItems(names);
    c->setCurrentIndex(-1);
}

void CKeySetControlUI::AddMacroName(const QString& name)
{
    if (QComboBox* c = Combo("keyset_macro_combo")) {
        const QSignalBlocker block(c);
        c->addItem(name);
    }
}

void CKeySetControlUI::RemoveMacroName(int index)
{
    QComboBox* c = Combo("keyset_macro_combo");
    if (!c || index < 0 || index >= c->count())
        return;
    const QSignalBlocker block(c);
    c->removeItem(index);
}

void CKeySetControlUI::RenameMacroName(int index, const QString& name)
{
    QComboBox* c = Combo("keyset_macro_combo");
    if (!c || index < 0 || index >= c->count() || name.isEmpty())
        return;
    c->setItemText(index, name);
}

QStringList CKeySetControlUI::MacroNames() const
{
    QStringList names;
    if (QComboBox* c = Combo("keyset_macro_combo"))
        for (int i = 0; i < c->count(); ++i)
            names << c->itemText(i);
    return names;
}

// --- Showing and reading ---

void CKeySetControlUI::LoadKey(const KeyAssignmentPair& pair)
{
    m_current = pair.current;
    m_default = pair.defaults;
    ShowAssignment(m_current);
}

void CKeySetControlUI::SetKeyText(const QString& text)
{
    if (QLineEdit* e = Edit(kKeyEdit)) {
        const QSignalBlocker block(e);
        e->setText(text);
    }
}

QString CKeySetControlUI::KeyText() const
{
    QLineEdit* e = Edit(kKeyEdit);
    return e ? e->text() : QString();
}

void CKeySetControlUI::ShowAssignment(const KeyAssignment& a)
{
    auto select = [this](const char* name, int index) {
        if (QComboBox* c = Combo(name); c && index >= -1 && index < c->count()) {
            const QSignalBlocker block(c);
            c->setCurrentIndex(index);
        }
    };
    auto selectRow = [&](const char* name, std::span<const keyfn::FunctionRow> table) {
        const int r = keyfn::FindRow(table, a.type, a.p1, a.p2);
        if (r >= 0)
            select(name, r);
    };
    auto setEdit = [this](const char* name, int value) {
        if (QLineEdit* e = Edit(name)) {
            const QSignalBlocker block(e);
            e->setText(QString::number(value));
        }
    };
    auto showCycle = [this](bool on) {
        if (QWidget* w = Find("keyset_macro_cycle_layout"))
            w->setVisible(on);
    };
    const auto keys = keyfn::KeyTable();
    const int macroItems = Combo("keyset_macro_combo") ? Combo("keyset_macro_combo")->count() : 0;

    int t = a.type;
    if (a.type == m_default.type && a.p1 == m_default.p1 && a.p2 == m_default.p2)
        t = 0;
    int category = -1;
    switch (t) {
    case 0x00:
        category = CatDefault;
        break;
    case 0x10:
        category = CatMouseButton;
        selectRow("keyset_mousekey_combo", keyfn::MouseButtonTable());
        break;
    case 0x11:
    case 0x12:
        category = t == 0x11 ? CatHScroll : CatVScroll;
        setEdit(t == 0x11 ? "keyset_mouseswing_delay_edit" : "keyset_mousewheel_delay_edit", a.p1 / 16);
        setEdit(t == 0x11 ? "keyset_mouseswing_speed_edit" : "keyset_mousewheel_speed_edit", a.p1 % 16);
        if (a.p2 & 0x80) {
            setEdit(t == 0x11 ? "keyset_mouseswing_num_edit" : "keyset_mousewheel_num_edit",
                    t == 0x11 ? a.p2 % 128 : 128 - a.p2 % 128);
            select(t == 0x11 ? "keyset_mouseswing_combo" : "keyset_mousewheel_combo", 1);
        } else {
            setEdit(t == 0x11 ? "keyset_mouseswing_num_edit" : "keyset_mousewheel_num_edit", a.p2);
            select(t == 0x11 ? "keyset_mouseswing_combo" : "keyset_mousewheel_combo", 0);
        }
        break;
    case 0x13:
        category = CatDpi;
        selectRow("keyset_mousedpi_combo", keyfn::DpiActionTable());
        break;
    case 0x14:
        category = CatFire;
        setEdit("keyset_mousefire_interval_edit", a.p1);
        setEdit("keyset_mousefire_num_edit", a.p2);
        break;
    case 0x20:
        if (a.p1 == 0) {
            category = CatKey;
            int found = -1;
            for (size_t i = 0; i < keys.size(); ++i)
                if (keys[i].p1 == 0 && keys[i].p2 == a.p2) {
                    found = int(i);
                    break;
                }
            if (found >= 0) {
                SetModifierOption(0);
                SetKeyText(Resolve(QString::fromLatin1(keys[size_t(found)].textId)));
            } else {
                SetModifierOption(-1);
                SetKeyText({});
                m_current.p1 = m_current.p2 = 0;
            }
        } else if (a.p1 <= 0x80) {
            category = CatKey;
            int option = 0;
            for (int r = 0; r < 8; ++r)
                if (keys[size_t(r)].p1 == a.p1) {
                    option = keyfn::ModifierOptionOfRow(r);
                    break;
                }
            SetModifierOption(option);
            QString text;
            for (size_t i = 8; i < keys.size(); ++i)
                if (keys[i].type == 0x20 && keys[i].p1 == 0 && keys[i].p2 == a.p2) {
                    text = Resolve(QString::fromLatin1(keys[i].textId));
                    break;
                }
            SetKeyText(text);
        } else {
            category = CatShortcut;
            selectRow("keyset_combokey_combo", keyfn::ShortcutTable());
        }
        break;
    case 0x30:
        category = CatMedia;
        selectRow("keyset_media_combo", keyfn::MediaTable());
        break;
    case 0x40:
        category = CatSystem;
        selectRow("keyset_system_combo", keyfn::SystemTable());
        break;
    case 0x70:
        category = CatMacro;
        if (a.p1 >= macroItems) {
            select("keyset_macro_combo", -1);
            select("keyset_macro_over_combo", -1);
        } else {
            select("keyset_macro_combo", a.p1);
            select("keyset_macro_over_combo", a.p2 < 5 ? a.p2 : -1);
        }
        showCycle(false);
        break;
    case 0x71:
        category = CatMacro;
        if (a.p1 >= macroItems) {
            select("keyset_macro_combo", -1);
            showCycle(false);
        } else {
            select("keyset_macro_combo", a.p1);
            showCycle(true);
        }
        setEdit("keyset_macro_cycle_edit", a.p2);
        select("keyset_macro_over_combo", 4);
        break;
    case 0x72:
        category = CatGun;
        select("keyset_gunkey_combo", a.p1 < 4 ? a.p1 : -1);
        break;
    case 0xB0:
        category = CatShortcut;
        select("keyset_combokey_combo", -1);
        break;
    default:
        break;
    }

    QWidget* layout = Find("keyset_layout");
    QComboBox* chooser = Combo("keyset_function_combo");
    const int item = chooser && category >= 0 ? chooser->findData(QString::number(category)) : -1;
    if (item < 0) {
        if (layout)
            layout->setVisible(false);
        return;
    }
    if (layout)
        layout->setVisible(true);
    {
        const QSignalBlocker block(chooser);
        chooser->setCurrentIndex(item);
    }
    if (auto* pages = qobject_cast<QStackedWidget*>(Find("function_switch_tablayout")))
        pages->setCurrentIndex(category);
}

int CKeySetControlUI::SelectedCategory() const
{
    QComboBox* c = Combo("keyset_function_combo");
    if (!c || c->currentIndex() < 0)
        return -1;
    return c->currentData().toString().toInt();
}

KeyAssignmentPair CKeySetControlUI::ReadAssignment()
{
    auto index = [this](const char* name) {
        QComboBox* c = Combo(name);
        return c ? c->currentIndex() : -1;
    };
    auto number = [this](const char* name) {
        QLineEdit* e = Edit(name);
        return e ? LeadingNumber(e->text()) : 0;
    };
    auto fromTable = [&](const char* name, std::span<const keyfn::FunctionRow> table, KeyAssignment& out) {
        const int i = index(name);
        if (i >= 0 && size_t(i) < table.size()) {
            out.type = table[size_t(i)].type;
            out.p1 = table[size_t(i)].p1;
            out.p2 = table[size_t(i)].p2;
        }
    };
    KeyAssignment f = m_current;
    switch (SelectedCategory()) {
    case CatMouseButton:
        fromTable("keyset_mousekey_combo", keyfn::MouseButtonTable(), f);
        break;
    case CatHScroll: {
        const int p1 = (number("keyset_mouseswing_delay_edit") & 15) * 16 + (number("keyset_mouseswing_speed_edit") & 15);
        const int count = number("keyset_mouseswing_num_edit") & 127;
        f.type = 0x11;
        f.p1 = uint8_t(p1);
        f.p2 = uint8_t(index("keyset_mouseswing_combo") == 1 ? count + 128 : count);
        break;
    }
    case CatVScroll: {
        const int p1 = (number("keyset_mousewheel_delay_edit") & 15) * 16 + (number("keyset_mousewheel_speed_edit") & 15);
        const int count = number("keyset_mousewheel_num_edit") & 127;
        f.type = 0x12;
        f.p1 = uint8_t(p1);
        // Downwards is a negative count in the signed byte.
        f.p2 = uint8_t(index("keyset_mousewheel_combo") == 1 ? ((128 - count) % 256) | 0x80 : count);
        break;
    }
    case CatDpi:
        fromTable("keyset_mousedpi_combo", keyfn::DpiActionTable(), f);
        break;
    case CatFire:
        f.type = 0x14;
        f.p1 = uint8_t(number("keyset_mousefire_interval_edit"));
        f.p2 = uint8_t(number("keyset_mousefire_num_edit"));
        break;
    case CatKey: {
        const int option = GetModifierOption();
        f.type = 0x20;
        f.p1 = option >= 1 && option <= 4 ? uint8_t(1 << (option - 1)) : 0;
        f.p2 = KeyText().isEmpty() ? 0 : m_current.p2;
        break;
    }
    case CatMedia:
        fromTable("keyset_media_combo", keyfn::MediaTable(), f);
        break;
    case CatSystem:
        fromTable("keyset_system_combo", keyfn::SystemTable(), f);
        break;
    case CatShortcut:
        fromTable("keyset_combokey_combo", keyfn::ShortcutTable(), f);
        break;
    case CatMacro: {
        const int i = index("keyset_macro_combo");
        QComboBox* macros = Combo("keyset_macro_combo");
        const int n = macros ? macros->count() : 0;
        if (i == -1 || n == 0)
            break;
        const int m = index("keyset_macro_over_combo");
        if (m == 4) {
            f.type = 0x71;
            f.p1 = uint8_t(i);
            f.p2 = uint8_t(number("keyset_macro_cycle_edit"));
        } else {
            f.type = 0x70;
            f.p1 = uint8_t(i);
            f.p2 = uint8_t(m);  // no mode chosen: 0xFF
        }
        break;
    }
    case CatGun: {
        const int i = index("keyset_gunkey_combo");
        if (i >= 0) {
            f.type = 0x72;
            f.p1 = uint8_t(i);
            f.p2 = 0;
        }
        break;
    }
    default:
        f.type = m_default.type;
        f.p1 = m_default.p1;
        f.p2 = m_default.p2;
        break;
    }
    m_current.type = f.type;
    m_current.p1 = f.p1;
    m_current.p2 = f.p2;
    return {m_current, m_default};
}

void CKeySetControlUI::SetModifierOption(int i)
{
    for (int n = 0; n < 5; ++n) {
        const QString name = QLatin1String(kModifierPrefix) + QString::number(n);
        if (auto* b = qobject_cast<QAbstractButton*>(ui::PaintManager::FindSubControlByName(this, name))) {
            const QSignalBlocker block(b);
            // Radio buttons of one parent are exclusive; switch that off to clear them all.
            const bool exclusive = b->autoExclusive();
            b->setAutoExclusive(false);
            b->setChecked(n == i);
            b->setAutoExclusive(exclusive);
        }
    }
}

int CKeySetControlUI::GetModifierOption() const
{
    for (int n = 0; n < 5; ++n) {
        const QString name = QLatin1String(kModifierPrefix) + QString::number(n);
        auto* b = qobject_cast<QAbstractButton*>(
            ui::PaintManager::FindSubControlByName(const_cast<CKeySetControlUI*>(this), name));
        if (b && b->isChecked())
            return n;
    }
    return -1;
}

void CKeySetControlUI::SetKeyButtonsEnabled(bool on)
{
    for (const char* name : {"key_butt_keysave", "key_butt_keycancel", "key_butt_prosave"})
        if (QWidget* w = Find(name))
            w->setEnabled(on);
}

void CKeySetControlUI::SelectCategoryPage(int category)
{
    if (auto* pages = qobject_cast<QStackedWidget*>(Find("function_switch_tablayout")); pages && category >= 0)
        pages->setCurrentIndex(category);
}

void CKeySetControlUI::OnCategoryChange()
{
    const int category = SelectedCategory();
    SelectCategoryPage(category);
    if (category == CatKey) {
        SetKeyText({});
        SetModifierOption(-1);
    }
    // The category's list starts with nothing chosen: the key keeps its function until the
    // user picks an item (a list showing its first item would look chosen, and was not).
    static constexpr struct {
        int category;
        const char* combo;
    } kItemCombos[] = {
        {CatMouseButton, "keyset_mousekey_combo"}, {CatDpi, "keyset_mousedpi_combo"},
        {CatMedia, "keyset_media_combo"},          {CatSystem, "keyset_system_combo"},
        {CatMacro, "keyset_macro_combo"},          {CatGun, "keyset_gunkey_combo"},
        {CatShortcut, "keyset_combokey_combo"},
    };
    for (const auto& c : kItemCombos)
        if (c.category == category)
            if (QComboBox* combo = Combo(c.combo)) {
                const QSignalBlocker block(combo);
                combo->setCurrentIndex(-1);
            }
}

// --- Capture, apply, write ---

void CKeySetControlUI::CaptureKey(uint32_t scanCode, uint32_t flags)
{
    // A release would make the last key released the captured one: Ctrl released after C
    // turned Ctrl+C into Ctrl alone.
    if (flags & 0x80)
        return;
    const int r = keyfn::FindScanRow(uint8_t(scanCode), (flags & 1) != 0);
    if (r < 0 || scanCode > 0xFF)
        return;
    const keyfn::FunctionRow& row = keyfn::KeyTable()[size_t(r)];
    if (r < 8) {
        SetModifierOption(keyfn::ModifierOptionOfRow(r));
        SetKeyText({});
        m_current.type = 0x20;
        m_current.p1 = row.p1;
        m_current.p2 = 0;
    } else {
        if (GetModifierOption() == -1)
            SetModifierOption(0);
        SetKeyText(Resolve(QString::fromLatin1(row.textId)));
        m_current.type = 0x20;
        m_current.p2 = row.p2;
    }
    ApplyKeyPanel();
}

void CKeySetControlUI::EditKey(int position)
{
    if (!m_device)
        return;
    const std::vector<KeyAssignmentPair> keys = m_device->KeyAssignments();
    if (position < 0 || size_t(position) >= keys.size())
        return;
    m_editedKey = position;
    if (QWidget* hint = Find("keyset_pick_hint"))
        hint->setVisible(false);
    if (QWidget* layout = Find("keyset_layout"))
        layout->setVisible(true);
    LoadKey(keys[size_t(position)]);
    SetKeyButtonsEnabled(false);
}

void CKeySetControlUI::ApplyKeyPanel()
{
    if (!m_device || m_editedKey < 0)
        return;
    const KeyAssignmentPair pair = ReadAssignment();
    std::vector<KeyAssignmentPair> keys = m_device->KeyAssignments();
    if (size_t(m_editedKey) >= keys.size())
        return;
    KeyAssignment& current = keys[size_t(m_editedKey)].current;
    current.type = pair.current.type;
    current.p1 = pair.current.p1;
    current.p2 = pair.current.p2;
    m_device->StoreKeyAssignments(keys);
    RelabelKeys();
    SetKeyButtonsEnabled(true);
}

int CKeySetControlUI::WriteToDevice()
{
    if (!m_device)
        return 0;
    // The profile keeps the assignments at once, whatever the device makes of them: Tessel may
    // end before the device's answer lands. The macros, then the key table, go out on the
    // device's I/O worker; the outcome lands below.
    m_device->SaveProfile();
    QPointer<CKeySetControlUI> self(this);
    m_device->PostKeyWrite([self](CVantikUSBDevice::KeyWriteResult r) {
        if (self)
            self->KeysWritten(r);
    });
    return 1;
}

void CKeySetControlUI::KeysWritten(const CVantikUSBDevice::KeyWriteResult& result)
{
    if (!m_device)
        return;
    const int r = result.macros;
    const QString device = m_device->DeviceName();
    if (r > 0 || (r < 0 && r != -1)) {
        // r > 0: the macros in use exceed the device's macro memory by r events. r < -1: the
        // device did not take the image. Either way the key table is not written, so no key
        // points at a macro the device does not hold; the changes stay pending.
        editors::ShowWriteFailure(window(), r, result.failure, r > 0 ? QString() : device);
        return;
    }
    if (r == -1)
        Services().message(window(), QStringLiteral("message_text_7"), true, 0);
    if (result.keys != 1) {
        // The profile file keeps the assignments; the user can write them again.
        editors::ShowWriteFailure(window(), result.keys == 0 ? -1 : result.keys, result.failure,
                                  result.failure == IoFailure::None ? QString() : device);
        return;
    }
    SetKeyButtonsEnabled(false);
}

// Property of a key button holding its label from the device picture (a text id or a text).
static constexpr char kBaseLabelProperty[] = "keylabel_base";

void CKeySetControlUI::RelabelKeys()
{
    if (!m_device)
        return;
    const QStringList names = MacroNames();
    const auto page = IsKeyboardKind(m_kind) ? keyfn::PageKind::Keyboard : keyfn::PageKind::Mouse;
    for (const KeyAssignmentPair& pair : m_device->KeyAssignments()) {
        auto* button = qobject_cast<QAbstractButton*>(m_device->KeyButton(pair.current.position));
        if (!button)
            continue;
        // The picture's own label, kept the first time round. A function without a label of its
        // own shows it again, so a label never outlives the assignment or the profile it came
        // from.
        if (!button->property(kBaseLabelProperty).isValid()) {
            const QVariant id = button->property("textid");
            button->setProperty(kBaseLabelProperty, id.toString().isEmpty() ? button->text() : id.toString());
        }
        // A key that does what it does out of the box keeps the picture's legend (short names
        // and icons drawn for the key); a reassigned key shows its function.
        QString label;
        const QString function = keyfn::AssignmentLabel(pair.current, page, names, Resolve);
        if (pair.current.packed() != pair.defaults.packed())
            label = function;
        // What a screen reader says the key does, the factory function included.
        button->setProperty(ui::CDeviceKeyButtonUI::kAssignmentProperty, function.isEmpty() ? QVariant() : QVariant(function));
        if (label.isEmpty())
            label = button->property(kBaseLabelProperty).toString();
        if (ui::Language::instance().Has(label))
            ui::Language::instance().SetTextId(button, label);
        else if (button->text() != label)
            button->setText(label);
    }
    m_device->ShowKeyAssignments();
}

void CKeySetControlUI::ShowCaptureNotice()
{
    if (m_noticeShown)
        return;
    m_noticeShown = true;
    if (QWidget* w = Find("keyset_capture_notice"))
        w->setVisible(true);
}

// --- Notifications ---

bool CKeySetControlUI::HandlePanelNotify(TNotifyUI& msg)
{
    if (!msg.pSender)
        return false;
    const QString name = msg.pSender->objectName();
    const QString& type = msg.sType;
    const bool inPanel = isAncestorOf(msg.pSender);

    // A key of the device picture, while the panel is the page's editor.
    if (type == QLatin1String(ui::kNotifyClick) && !inPanel && isVisible() &&
        name.startsWith(QLatin1String("key_"), Qt::CaseInsensitive)) {
        bool ok = false;
        const int position = name.mid(4).toInt(&ok);
        if (ok) {
            EditKey(position);
            return true;
        }
        return false;
    }
    if (!inPanel)
        return false;

    auto sendCapture = [this](intptr_t on) {
        if (auto* w = qobject_cast<WindowImplBase*>(window()))
            w->SendMessage(app::pm::kKeyboardCapture, on, 0);
    };
    if (type == QLatin1String(ui::kNotifyItemSelect)) {
        if (name == QLatin1String("keyset_function_combo")) {
            // Choosing a category assigns nothing by itself: the user picks an item, captures a
            // key, sets the values or saves. The default category has nothing to pick.
            OnCategoryChange();
            if (SelectedCategory() == CatDefault)
                ApplyKeyPanel();
            else
                SetKeyButtonsEnabled(true);
            return true;
        }
        if (name == QLatin1String("keyset_macro_over_combo")) {
            if (QWidget* w = Find("keyset_macro_cycle_layout"))
                w->setVisible(msg.wParam == 4);
            ApplyKeyPanel();
            return true;
        }
        for (const char* combo : kTableCombos)
            if (name == QLatin1String(combo)) {
                ApplyKeyPanel();
                return true;
            }
        return false;
    }
    if (type == QLatin1String(ui::kNotifyKillFocus) || type == QLatin1String(ui::kNotifySetFocus)) {
        const bool set = type == QLatin1String(ui::kNotifySetFocus);
        if (name == QLatin1String(kKeyEdit)) {
            sendCapture(set ? 1 : 0);
            return true;
        }
        if (!set)
            for (const char* edit : kNumberEdits)
                if (name == QLatin1String(edit)) {
                    ApplyKeyPanel();
                    return true;
                }
        return false;
    }
    if (type == QLatin1String(ui::kNotifySelectChanged) && name.startsWith(QLatin1String(kModifierPrefix))) {
        if (msg.wParam == 1) {
            SetModifierOption(name.mid(int(strlen(kModifierPrefix))).toInt());
            ApplyKeyPanel();
        }
        return true;
    }
    if (type == QLatin1String(ui::kNotifyClick)) {
        if (name == QLatin1String("key_butt_keysave")) {
            ApplyKeyPanel();
        } else if (name == QLatin1String("key_butt_keydefalut")) {
            ShowAssignment(m_default);
            SetKeyButtonsEnabled(true);
        } else if (name == QLatin1String("key_butt_keycancel")) {
            ShowAssignment(m_current);
            SetKeyButtonsEnabled(false);
        } else if (name == QLatin1String("key_butt_prosave")) {
            WriteToDevice();
        } else {
            return false;
        }
        return true;
    }
    return false;
}
