#include "app/CColorSelectWnd.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLoggingCategory>

#include "ui/SkinDpi.h"
#include "editors/CLightControlUI.h"
#include "profiles/CJsonFile.h"
#include "profiles/DataPaths.h"
#include "profiles/UserFiles.h"
#include "ui/Language.h"
#include "hid/DebugLog.h"

namespace {

constexpr uint32_t kLanguageChanged = 0x0C11;
const char kPaletteFileName[] = "color_option_info.config";
const char kSevenColourImage[] = "common/base1.png";

QString Hex8(uint32_t argb)
{
    return QStringLiteral("%1").arg(argb, 8, 16, QLatin1Char('0')).toUpper();
}

QColor ToColor(uint32_t argb)
{
    return QColor::fromRgba(argb);
}

uint32_t FromColor(const QColor& c)
{
    return 0xFF000000u | (uint32_t(c.red()) << 16) | (uint32_t(c.green()) << 8) | uint32_t(c.blue());
}

// The member `key` of `v` as an object or an array to write into; any other value there (a
// damaged file) is replaced.
Json::Value& Member(Json::Value& v, const char* key, Json::ValueType type)
{
    if (!v.isObject())
        v = Json::Value(Json::objectValue);
    Json::Value& m = v[key];
    if (m.type() != type)
        m = Json::Value(type);
    return m;
}

}  // namespace

CColorSelectWnd::CColorSelectWnd(QString userFile, QString defaultFile)
    : WindowImplBase(nullptr),
      m_userFile(userFile.isEmpty() ? UserPaletteFile() : std::move(userFile)),
      m_defaultFile(defaultFile.isEmpty() ? DefaultPaletteFile() : std::move(defaultFile))
{
    setWindowFlag(Qt::FramelessWindowHint);
    setWindowFlag(Qt::Tool);
    setAttribute(Qt::WA_QuitOnClose, false);
}

QString CColorSelectWnd::UserPaletteFile()
{
    return QDir(paths::userDataFolder()).filePath(QLatin1String(kPaletteFileName));
}

QString CColorSelectWnd::DefaultPaletteFile()
{
    return QDir(paths::defaultDataFolder()).filePath(QLatin1String(kPaletteFileName));
}

uint32_t CColorSelectWnd::SwatchColour(const QWidget* swatch)
{
    return swatch ? swatch->property("bkcolor").toString().toUInt(nullptr, 16) : 0;
}

bool CColorSelectWnd::SlotHoldsColour(const QWidget* swatch)
{
    return swatch && swatch->property("userdata").toString() == QLatin1String("1");
}

void CColorSelectWnd::SetSwatch(QWidget* swatch, uint32_t argb, bool keepSlot, const QString& userData)
{
    if (!swatch)
        return;
    swatch->setProperty("bkcolor", Hex8(argb));
    if (keepSlot)
        swatch->setProperty("userdata", userData);
    const bool empty = keepSlot && userData != QLatin1String("1");
    // An empty keep slot reads as a place to fill, not as a white colour.
    const QString fill = empty ? QStringLiteral("transparent") : ToColor(argb).name();
    const QString border = empty ? QStringLiteral("1px dashed #4a5566")
                                 : keepSlot ? QStringLiteral("0px solid transparent") : QStringLiteral("2px solid #2b3442");
    swatch->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; border: %2; border-radius: 4px; padding: 0; }"
                                         " QPushButton:checked { border: 2px solid #f2f5fa; }"
                                         " QPushButton:focus { border: 2px solid #2de2e6; }")
                              .arg(fill, border));
}

QAbstractButton* CColorSelectWnd::Preset(int n) const
{
    return const_cast<CColorSelectWnd*>(this)->PM().Find<QAbstractButton>(QStringLiteral("%1%2").arg(QLatin1String("color_option_")).arg(n));
}

QAbstractButton* CColorSelectWnd::KeepSlot(int n) const
{
    return const_cast<CColorSelectWnd*>(this)->PM().Find<QAbstractButton>(QStringLiteral("%1%2").arg(QLatin1String("collect_color_option_")).arg(n));
}

CColorPaletteUI* CColorSelectWnd::Palette() const
{
    return const_cast<CColorSelectWnd*>(this)->PM().Find<CColorPaletteUI>(QStringLiteral("Pallet"));
}

void CColorSelectWnd::InitWindow()
{
    m_presetGroup = new QButtonGroup(this);
    m_keepGroup = new QButtonGroup(this);
    for (int n = 0; n < kPresets; ++n)
        if (QAbstractButton* b = Preset(n)) {
            b->setCheckable(true);
            m_presetGroup->addButton(b, n);
            SetSwatch(b, SwatchColour(b), false, QString());
        }
    for (int n = 0; n < kKeepSlots; ++n)
        if (QAbstractButton* b = KeepSlot(n)) {
            b->setCheckable(true);
            m_keepGroup->addButton(b, n);
            SetSwatch(b, 0xFFFFFFFF, true, QString());
        }
    for (const char* name : {"color_edit_r", "color_edit_g", "color_edit_b"}) {
        QWidget* edit = PM().FindControl(QLatin1String(name));
        ui::PaintManager::SetNumberOnly(edit, true);
        ui::PaintManager::SetMaxChar(edit, 3);
    }
    LoadPaletteFile();
    ShowTexts();
}

Json::Value CColorSelectWnd::ReadUserFile() const
{
    return CJsonFile::ReadJson(m_userFile);
}

void CColorSelectWnd::WriteUserFile(const Json::Value& doc) const
{
    userfiles::NoteSave(m_userFile, CJsonFile::WriteJson(m_userFile, doc) == 0);
}

void CColorSelectWnd::LoadPaletteFile()
{
    Json::Value doc = userfiles::IsTooLarge(m_userFile) ? Json::Value() : ReadUserFile();
    if (doc.isNull()) {
        // A damaged file is kept beside the new one before the shipped copy replaces it.
        const Json::Value shipped = CJsonFile::ReadJson(m_defaultFile);
        if (!shipped.isNull() && userfiles::KeptBeforeReplacing(m_userFile))
            WriteUserFile(shipped);
        doc = shipped;
    }
    SetColor(m_colour);
    SetSevenColor(m_sevenColour);
    const Json::Value info = doc.isObject() ? doc["coloroptioninfo"] : Json::Value();
    if (info.isObject()) {
        // The stored preset colours are not applied (the skin's colours stay); the index is.
        const Json::Value& index = info["palletDialogcoloroption_selectitem"];
        if (index.isInt())
            m_presetIndex = index.asInt();
        const Json::Value& kept = info["palletDialogcollectcoloroption"];
        for (int n = 0; n < kKeepSlots && kept.isArray() && Json::ArrayIndex(n) < kept.size(); ++n) {
            const Json::Value& slot = kept[Json::ArrayIndex(n)];
            QAbstractButton* b = KeepSlot(n);
            if (!b || !slot.isObject() || !slot["color"].isString())
                continue;
            const QString userData = slot["UserData"].isString() ? Utf8ToWide(slot["UserData"].asString()) : QString();
            bool ok = false;
            const uint32_t colour = QString::fromStdString(slot["color"].asString()).toUInt(&ok, 16);
            if (userData == QLatin1String("1") && ok)
                SetSwatch(b, colour, true, userData);
            else
                SetSwatch(b, 0xFFFFFFFF, true, userData);
        }
    }
    if (QAbstractButton* preset = Preset(m_presetIndex))
        PM().SelectOption(preset, true, false);
    // No keep slot is selected after opening.
    m_keepIndex = -1;
    m_keepGroup->setExclusive(false);
    for (QAbstractButton* b : m_keepGroup->buttons())
        PM().SelectOption(b, false, false);
    m_keepGroup->setExclusive(true);
}

void CColorSelectWnd::SavePresets()
{
    Json::Value doc = ReadUserFile();
    Json::Value& info = Member(doc, "coloroptioninfo", Json::objectValue);
    Json::Value& presets = Member(info, "palletDialogcoloroption", Json::arrayValue);
    for (int n = 0; n < kPresets; ++n)
        if (QAbstractButton* b = Preset(n)) {
            Json::Value& entry = presets[Json::ArrayIndex(n)];
            if (!entry.isObject())
                entry = Json::Value(Json::objectValue);
            entry["color"] = Hex8(SwatchColour(b)).toStdString();
        }
    info["palletDialogcoloroption_selectitem"] = m_presetIndex;
    WriteUserFile(doc);
}

void CColorSelectWnd::SaveKeepSlots()
{
    Json::Value doc = ReadUserFile();
    Json::Value& info = Member(doc, "coloroptioninfo", Json::objectValue);
    Json::Value& kept = Member(info, "palletDialogcollectcoloroption", Json::arrayValue);
    for (int n = 0; n < kKeepSlots; ++n)
        if (QAbstractButton* b = KeepSlot(n)) {
            Json::Value& entry = kept[Json::ArrayIndex(n)];
            if (!entry.isObject())
                entry = Json::Value(Json::objectValue);
            entry["color"] = Hex8(SwatchColour(b)).toStdString();
            entry["UserData"] = WideToUtf8(b->property("userdata").toString());
        }
    info["palletDialogcollectcoloroption_selectitem"] = m_keepIndex;
    WriteUserFile(doc);
}

void CColorSelectWnd::SetWindowDpi(int dpi)
{
    m_dpi = ui::ValidDpi(dpi, "SET_WND DPI SET ERROR");
    dpi = m_dpi;
    PM().SetDPI(dpi);
    // The skin's size is its minimum: text laid out at another DPI before must not widen it.
    resize(minimumSize());
}

void CColorSelectWnd::SetColor(uint32_t argb)
{
    m_colour = argb;
    SetPreviewColour(argb);
    SetPaletteSelection(argb);
    ShowComponents(argb);
}

void CColorSelectWnd::SetPreviewColour(uint32_t argb)
{
    QWidget* preview = PM().FindControl(QStringLiteral("color_show_btn"));
    if (!preview)
        return;
    preview->setProperty("bkcolor", Hex8(argb));
    preview->setProperty("bkimage", QString());
    preview->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; border: 1px solid #2b3442; border-radius: 6px; }")
                               .arg(ToColor(argb).name()));
    preview->setAccessibleDescription(ToColor(argb).name());
}

void CColorSelectWnd::SetPaletteSelection(uint32_t argb)
{
    if (CColorPaletteUI* palette = Palette())
        palette->SetSelectedColor(ToColor(argb));
}

void CColorSelectWnd::ShowComponents(uint32_t argb)
{
    const int parts[] = {int((argb >> 16) & 0xFF), int((argb >> 8) & 0xFF), int(argb & 0xFF)};
    const char* names[] = {"color_edit_r", "color_edit_g", "color_edit_b"};
    for (int i = 0; i < 3; ++i)
        if (auto* edit = PM().Find<QLineEdit>(QLatin1String(names[i])))
            if (edit->text() != QString::number(parts[i]))
                PM().SetEditText(edit, QString::number(parts[i]), false);
}

void CColorSelectWnd::SetSevenColor(bool on)
{
    m_sevenColour = on;
    if (QWidget* option = PM().FindControl(QStringLiteral("7color")))
        PM().SelectOption(option, on, false);
    QWidget* preview = PM().FindControl(QStringLiteral("color_show_btn"));
    if (!preview)
        return;
    if (on) {
        preview->setProperty("bkimage", QLatin1String(kSevenColourImage));
        preview->setStyleSheet(QStringLiteral("QPushButton { border-image: url(%1); border: 1px solid #2b3442; border-radius: 6px; }")
                                   .arg(ui::PaintManager::ResourceFile(QLatin1String(kSevenColourImage))));
    } else if (!preview->property("bkimage").toString().isEmpty()) {
        SetPreviewColour(SwatchColour(preview));
    }
}

void CColorSelectWnd::EnableSevenColor(bool on)
{
    if (QWidget* option = PM().FindControl(QStringLiteral("7color"))) {
        option->setEnabled(on);
        if (!on)
            PM().SelectOption(option, false, false);
    }
    if (QWidget* row = PM().FindControl(QStringLiteral("7color_layout")))
        row->setVisible(on);
}

void CColorSelectWnd::KeepAndPreview()
{
    QAbstractButton* slot = m_keepIndex >= 0 ? KeepSlot(m_keepIndex) : nullptr;
    if (slot && slot->isChecked()) {
        SetSwatch(slot, m_colour, true, QStringLiteral("1"));
        SaveKeepSlots();
        OnKeepSlotSelected(m_keepIndex);
    }
    SetPreviewColour(m_colour);
    SetSevenColor(false);
}

void CColorSelectWnd::OnKeepSlotSelected(int n)
{
    m_keepIndex = n;
    QAbstractButton* slot = KeepSlot(n);
    if (!SlotHoldsColour(slot))
        return;
    SaveKeepSlots();
    const uint32_t colour = SwatchColour(slot);
    SetPreviewColour(colour);
    SetSevenColor(false);
    SetPaletteSelection(colour);
    ShowComponents(colour);
}

void CColorSelectWnd::ReadEdits(QWidget* edited)
{
    (void)edited;
    int parts[3] = {0, 0, 0};
    const char* names[] = {"color_edit_r", "color_edit_g", "color_edit_b"};
    for (int i = 0; i < 3; ++i) {
        auto* edit = PM().Find<QLineEdit>(QLatin1String(names[i]));
        if (!edit)
            continue;
        const QString text = edit->text().trimmed();
        bool ok = false;
        const int value = text.toInt(&ok);
        // Digits only reach the edit; anything else still reads as 0.
        if (text.isEmpty() || !ok || value < 0) {
            parts[i] = 0;
            PM().SetEditText(edit, QStringLiteral("0"), false);
            // Typing goes on over the "0" rather than after it.
            if (edit->window()->focusWidget() == edit)
                edit->selectAll();
        } else if (value > 255) {
            parts[i] = 255;
            PM().SetEditText(edit, QStringLiteral("255"), false);
        } else {
            parts[i] = value;
        }
    }
    m_colour = 0xFF000000u | (uint32_t(parts[0]) << 16) | (uint32_t(parts[1]) << 8) | uint32_t(parts[2]);
    SetPaletteSelection(m_colour);
    KeepAndPreview();
}

void CColorSelectWnd::Notify(TNotifyUI& msg)
{
    if (!msg.pSender)
        return;
    const QString name = msg.pSender->objectName();
    const QString& type = msg.sType;
    if (type == QLatin1String(ui::kNotifyClick)) {
        if (name == QLatin1String("closebtn") || name == QLatin1String("laterbtn")) {
            Close(0);
        } else if (name == QLatin1String("minbtn")) {
            showMinimized();
        } else if (name == QLatin1String("maxbtn")) {
            showMaximized();
        } else if (name == QLatin1String("restorebtn")) {
            showNormal();
        } else if (name == QLatin1String("okbtn")) {
            if (Palette()) {
                m_colour = SwatchColour(PM().FindControl(QStringLiteral("color_show_btn")));
                Close(1);
            } else {
                Close(2);
            }
        }
        return;
    }
    if (type == QLatin1String(ui::kNotifyColorChanged) && name == QLatin1String("Pallet")) {
        if (CColorPaletteUI* palette = Palette())
            m_colour = FromColor(palette->SelectedColor());
        KeepAndPreview();
        ShowComponents(m_colour);
        return;
    }
    if (type == QLatin1String(ui::kNotifySelectChanged)) {
        if (name == QLatin1String("7color")) {
            SetSevenColor(msg.wParam != 0);
            return;
        }
        if (!msg.wParam)
            return;
        const QLatin1String keepPrefix("collect_color_option_");
        const QLatin1String presetPrefix("color_option_");
        bool ok = false;
        if (name.startsWith(keepPrefix)) {
            const int n = name.mid(keepPrefix.size()).toInt(&ok);
            if (ok)
                OnKeepSlotSelected(n);
        } else if (name.startsWith(presetPrefix)) {
            const int n = name.mid(presetPrefix.size()).toInt(&ok);
            if (!ok)
                return;
            m_presetIndex = n;
            SavePresets();
            m_colour = SwatchColour(msg.pSender);
            SetPaletteSelection(m_colour);
            KeepAndPreview();
            ShowComponents(m_colour);
        }
        return;
    }
    if (type == QLatin1String(ui::kNotifyTextChanged) &&
        (name == QLatin1String("color_edit_r") || name == QLatin1String("color_edit_g") || name == QLatin1String("color_edit_b")))
        ReadEdits(msg.pSender);
}

void CColorSelectWnd::ShowTexts()
{
    const ui::Language& language = ui::Language::instance();
    for (int n = 0; n < kPresets; ++n)
        if (QAbstractButton* b = Preset(n))
            b->setAccessibleName(language.Text(QStringLiteral("pallet_preset_name")).arg(n + 1));
    for (int n = 0; n < kKeepSlots; ++n)
        if (QAbstractButton* b = KeepSlot(n))
            b->setAccessibleName(language.Text(QStringLiteral("pallet_kept_name")).arg(n + 1));
}

intptr_t CColorSelectWnd::HandleCustomMessage(uint32_t msg, intptr_t wParam, intptr_t lParam, bool& bHandled)
{
    if (msg == kLanguageChanged) {
        ShowTexts();
        update();
        bHandled = true;
        return 0;
    }
    return WindowImplBase::HandleCustomMessage(msg, wParam, lParam, bHandled);
}

void CColorSelectWnd::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        Close(0);
        return;
    }
    WindowImplBase::keyPressEvent(event);
}
