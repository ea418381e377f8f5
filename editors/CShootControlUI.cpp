#include "editors/CShootControlUI.h"

#include "app/SettingsStore.h"
#include "devices/CVantikMouseDevice.h"
#include "editors/PanelServices.h"
#include "profiles/CJsonFile.h"
#include "profiles/DataPaths.h"
#include "profiles/JsonAccess.h"
#include "profiles/UserFiles.h"
#include "protocol/MacroImage.h"
#include "protocol/ResultCodes.h"
#include "ui/Language.h"
#include "ui/PaintManager.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QStackedWidget>

#include <algorithm>

using editors::Services;

namespace {

constexpr char kShootFilter[] = "Shoot Files(*.shoot)";

QString& SettingsPath()
{
    static QString path;
    return path;
}

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

Json::Value MakeEvent(const char* action, int button, int delay, int type)
{
    Json::Value e(Json::objectValue);
    e["Action"] = action;
    e["Button"] = button;
    e["Delay"] = delay;
    e["Type"] = type;
    return e;
}

// The "Type" of each of a bullet's six events, and the largest "Button" each may hold: the
// device keeps one byte per distance and a 16-bit wait.
constexpr int kLayoutTypes[CShootControlUI::kEventsPerBullet] = {1, 1, 4, 5, 4, 5};
constexpr int kMaxDistance = 255;
constexpr int kMaxDelay = 65535;

void Check(QWidget* option, bool selected)
{
    if (auto* b = qobject_cast<QAbstractButton*>(option)) {
        const QSignalBlocker block(b);
        b->setChecked(selected);
    }
}

}  // namespace

CShootControlUI::CShootControlUI(QWidget* parent) : QWidget(parent) {}

void CShootControlUI::SetSettingsPath(const QString& path)
{
    SettingsPath() = path;
}

void CShootControlUI::AttachDevice(CVantikUSBDevice& device)
{
    m_mouse = dynamic_cast<CVantikMouseDevice*>(&device);
    SetShootFolder(device.DataFolder());
    SetShootDefaultFolder(paths::defaultDataFolder());
    InitShootPanel();
    SelectGun(0);
    SelectBullet(0);
}

QWidget* CShootControlUI::Control(const QString& name) const
{
    return ui::PaintManager::FindSubControlByName(const_cast<CShootControlUI*>(this), name);
}

QString CShootControlUI::GunFile(int gun) const
{
    return QDir(m_folder).filePath(QStringLiteral("ShootData_%1.Shoot").arg(gun));
}

QString CShootControlUI::ShippedGunFile(int gun) const
{
    return QDir(m_defaultFolder).filePath(QStringLiteral("ShootData_%1.Shoot").arg(gun));
}

void CShootControlUI::InitShootPanel()
{
    // The device stores one byte per distance; the wait is a 16-bit count of milliseconds.
    for (const char* edit : {"bullet_x_eidt", "bullet_y_eidt"})
        ui::PaintManager::SetEditRange(Control(QLatin1String(edit)), 0, 255);
    ui::PaintManager::SetEditRange(Control(QStringLiteral("bullet_delay_eidt")), 0, 65535);
    // A missing pattern gets the shipped one; so does a damaged one, once a copy of it is kept.
    // One refused for its size is left as it is.
    for (int g = 0; g < kGuns; ++g) {
        const QString file = GunFile(g);
        if (!CJsonFile::ReadJson(file).isObject() && userfiles::KeptBeforeReplacing(file))
            ResetGun(g);
    }
}

QString CShootControlUI::PatternProblem(const Json::Value& doc)
{
    const ui::Language& language = ui::Language::instance();
    const Json::Value& events = jsonx::member(doc, "Events");
    const int expected = kBullets * kEventsPerBullet;
    if (!events.isArray() || int(events.size()) != expected)
        return language.Text(QStringLiteral("shoot_problem_events_format"))
            .arg(expected)
            .arg(events.isArray() ? int(events.size()) : 0);
    // Event i, member `key`: what it is and what it should be.
    auto wrong = [&](Json::ArrayIndex i, const char* key, const Json::Value& value, const QString& wanted) {
        QString shown = QString::fromStdString(value.toStyledString()).trimmed();
        if (shown.size() > 24)
            shown = shown.left(24) + QStringLiteral("…");
        return language.Text(QStringLiteral("shoot_problem_field_format"))
            .arg(int(i) + 1)
            .arg(QLatin1String(key), shown, wanted);
    };
    auto inRange = [](const Json::Value& v, int64_t highest) {
        return v.isIntegral() && !v.isBool() && v.asLargestInt() >= 0 && v.asLargestInt() <= highest;
    };
    for (Json::ArrayIndex i = 0; i < events.size(); ++i) {
        const Json::Value& e = events[i];
        if (!e.isObject())
            return wrong(i, "Events", e, QStringLiteral("{…}"));
        const Json::Value& action = jsonx::member(e, "Action");
        if (!action.isString() || (action.asString() != "down" && action.asString() != "up"))
            return wrong(i, "Action", action, QStringLiteral("\"down\" / \"up\""));
        const Json::Value& button = jsonx::member(e, "Button");
        if (!inRange(button, kMaxDistance))
            return wrong(i, "Button", button, QStringLiteral("0 - %1").arg(kMaxDistance));
        const Json::Value& delay = jsonx::member(e, "Delay");
        if (!inRange(delay, kMaxDelay))
            return wrong(i, "Delay", delay, QStringLiteral("0 - %1").arg(kMaxDelay));
        const int type = kLayoutTypes[i % kEventsPerBullet];
        const Json::Value& t = jsonx::member(e, "Type");
        if (!t.isIntegral() || t.isBool() || t.asLargestInt() != type)
            return wrong(i, "Type", t, QString::number(type));
    }
    return {};
}

void CShootControlUI::SelectGun(int gun)
{
    m_gun = std::clamp(gun, 0, kGuns - 1);
    for (int g = 0; g < kGuns; ++g)
        Check(Control(QStringLiteral("shoot_gun_op_%1").arg(g)), g == m_gun);
    if (auto* pages = qobject_cast<QStackedWidget*>(Control(QStringLiteral("shoot_image_display_switch"))))
        pages->setCurrentIndex(std::min(m_gun, pages->count() - 1));
}

void CShootControlUI::SelectBullet(int bullet)
{
    m_bullet = std::clamp(bullet, 0, kBullets - 1);
    for (int b = 0; b < kBullets; ++b)
        Check(Control(QStringLiteral("bullet_op_%1").arg(b)), b == m_bullet);
    if (auto* label = qobject_cast<QLabel*>(Control(QStringLiteral("bullet_select_index"))))
        label->setText(QString::number(m_bullet + 1));
    ShowBullet();
}

CShootControlUI::Bullet CShootControlUI::ReadBullet(int gun, int bullet) const
{
    const Json::Value doc = CJsonFile::ReadJson(GunFile(gun));
    const Json::Value& events = jsonx::member(doc, "Events");
    const Json::Value& moveX = jsonx::element(events, Json::ArrayIndex(bullet * kEventsPerBullet + 2));
    const Json::Value& moveY = jsonx::element(events, Json::ArrayIndex(bullet * kEventsPerBullet + 3));
    Bullet b;
    b.left = jsonx::toString(jsonx::member(moveX, "Action")) == "down";
    b.x = int(jsonx::toInt(jsonx::member(moveX, "Button")));
    b.up = jsonx::toString(jsonx::member(moveY, "Action")) == "down";
    b.y = int(jsonx::toInt(jsonx::member(moveY, "Button")));
    b.delay = int(jsonx::toInt(jsonx::member(moveY, "Delay")));
    return b;
}

void CShootControlUI::SetOptionText(QWidget* option, bool selected, const char* selectedId, const char* otherId)
{
    if (option)
        ui::Language::instance().SetTextId(option, QLatin1String(selected ? selectedId : otherId));
}

void CShootControlUI::ShowBullet()
{
    if (m_bullet < 0)
        return;
    const Bullet b = ReadBullet(m_gun, m_bullet);
    QWidget* xCheck = Control(QStringLiteral("bullet_x_check"));
    QWidget* yCheck = Control(QStringLiteral("bullet_y_check"));
    Check(xCheck, b.left);
    SetOptionText(xCheck, b.left, "mouse_move_to_left_text", "mouse_move_to_right_text");
    Check(yCheck, b.up);
    SetOptionText(yCheck, b.up, "mouse_move_to_up_text", "mouse_move_to_down_text");
    auto show = [this](const char* name, int value) {
        if (auto* edit = qobject_cast<QLineEdit*>(Control(QLatin1String(name)))) {
            const QSignalBlocker block(edit);
            edit->setText(QString::number(value));
        }
    };
    show("bullet_x_eidt", b.x);
    show("bullet_y_eidt", b.y);
    show("bullet_delay_eidt", b.delay);
}

void CShootControlUI::SaveBullet()
{
    if (m_bullet < 0)
        return;
    auto number = [this](const char* name) {
        auto* edit = qobject_cast<QLineEdit*>(Control(QLatin1String(name)));
        return edit ? LeadingNumber(edit->text()) : 0;
    };
    auto selected = [this](const char* name) {
        auto* b = qobject_cast<QAbstractButton*>(Control(QLatin1String(name)));
        return b && b->isChecked();
    };
    // A value typed beyond what the device keeps is limited to it (300 would otherwise reach
    // the mouse as 44), and the edit shows what was kept.
    const int typedX = number("bullet_x_eidt");
    const int typedY = number("bullet_y_eidt");
    const int typedDelay = number("bullet_delay_eidt");
    const int x = std::clamp(typedX, 0, kMaxDistance);
    const int y = std::clamp(typedY, 0, kMaxDistance);
    const int delay = std::clamp(typedDelay, 0, kMaxDelay);
    const bool limited = x != typedX || y != typedY || delay != typedDelay;
    const char* xAction = selected("bullet_x_check") ? "down" : "up";
    const char* yAction = selected("bullet_y_check") ? "down" : "up";

    const QString file = GunFile(m_gun);
    Json::Value doc = CJsonFile::ReadJson(file);
    if (!doc.isObject()) {
        if (!userfiles::KeptBeforeReplacing(file)) {
            ShowStatus(QStringLiteral("profile_file_failed_text"));
            return;
        }
        doc = Json::Value(Json::objectValue);
    }
    Json::Value& events = jsonx::memberRef(doc, "Events");
    const Json::ArrayIndex first = Json::ArrayIndex(m_bullet * kEventsPerBullet);
    const Json::Value layout[kEventsPerBullet] = {
        MakeEvent("down", 1, 10, 1), MakeEvent("up", 1, 0, 1),       MakeEvent(xAction, x, 5, 4),
        MakeEvent(yAction, y, delay, 5), MakeEvent(xAction, 0, 0, 4), MakeEvent(yAction, 0, 0, 5),
    };
    for (Json::ArrayIndex i = 0; i < kEventsPerBullet; ++i)
        jsonx::elementRef(events, first + i) = layout[i];
    if (CJsonFile::WriteJson(GunFile(m_gun), doc) != 0) {
        ShowStatus(QStringLiteral("profile_file_failed_text"));
        return;
    }
    if (limited) {
        ShowBullet();
        ShowStatus(QStringLiteral("shoot_value_limited_text"));
    }
}

void CShootControlUI::ResetGun()
{
    ResetGun(m_gun);
}

void CShootControlUI::ResetGun(int gun)
{
    CJsonFile::WriteFileText(GunFile(gun), CJsonFile::ReadFileText(ShippedGunFile(gun)));
    if (gun == m_gun && m_bullet >= 0)
        SelectBullet(m_bullet);
}

bool CShootControlUI::ImportGun(const QString& path)
{
    if (path.isEmpty())
        return false;
    // A file that cannot be read, is too large or holds no pattern imports nothing, rather than
    // an empty or broken pattern in place of the one there was.
    // A file that holds something else than a pattern of the bullet layout, or values the
    // mouse cannot take, is refused with what is wrong in it.
    const std::string text = CJsonFile::ReadFileText(path);
    const Json::Value doc = CJsonFile::ParseJson(text);
    if (!doc.isObject()) {
        ShowStatus(QStringLiteral("shoot_import_refused_text"));
        Services().message(window(), ui::Language::instance().Text(QStringLiteral("shoot_import_invalid_format"))
                                         .arg(ui::Language::instance().Text(QStringLiteral("shoot_problem_not_json"))),
                           false, 0);
        return false;
    }
    if (const QString problem = PatternProblem(doc); !problem.isEmpty()) {
        ShowStatus(QStringLiteral("shoot_import_refused_text"));
        Services().message(window(), ui::Language::instance().Text(QStringLiteral("shoot_import_invalid_format")).arg(problem),
                           false, 0);
        return false;
    }
    if (CJsonFile::WriteFileText(GunFile(m_gun), text) != 0) {
        ShowStatus(QStringLiteral("profile_file_failed_text"));
        Services().message(window(), QStringLiteral("profile_file_failed_text"), true, 0);
        return false;
    }
    SelectBullet(std::max(m_bullet, 0));
    return true;
}

bool CShootControlUI::ExportGun(const QString& path)
{
    if (path.isEmpty())
        return false;
    return CJsonFile::WriteFileText(path, CJsonFile::ReadFileText(GunFile(m_gun))) == 0;
}

std::vector<uint8_t> CShootControlUI::BuildShootImage() const
{
    std::vector<protocol::MacroRecord> records;
    for (int g = 0; g < kGuns; ++g) {
        const Json::Value doc = CJsonFile::ReadJson(GunFile(g));
        records.push_back(protocol::macroRecordFromJson(protocol::jsonMember(doc, "Events")));
    }
    return protocol::buildMacroImage(records).value_or(std::vector<uint8_t>{});
}

bool CShootControlUI::ConfirmNotice()
{
    app::SettingsStore store(SettingsPath());
    if (store.ReadInt(QLatin1String(kNoticeOffKey)).value_or(0) == 1)
        return true;
    bool turnOff = true;
    if (Services().notice(window(), QStringLiteral("shoot_notice_text"), QStringLiteral("shoot_notice_off_text"),
                          turnOff) != 1)
        return false;
    if (turnOff)
        store.WriteInt(QLatin1String(kNoticeOffKey), 1);
    return true;
}

int CShootControlUI::SendToMouse()
{
    if (!m_mouse)
        return protocol::kNoReply;
    // A pattern file changed outside the editor may hold values the mouse does not define:
    // nothing is sent then, and the user learns which gun and what.
    for (int g = 0; g < kGuns; ++g) {
        if (const QString problem = PatternProblem(CJsonFile::ReadJson(GunFile(g))); !problem.isEmpty()) {
            ShowStatus(QStringLiteral("shoot_send_failed_text"));
            Services().message(window(),
                               ui::Language::instance().Text(QStringLiteral("shoot_pattern_invalid_format")).arg(g + 1).arg(problem),
                               false, 0);
            return protocol::kNoReply;
        }
    }
    if (!ConfirmNotice())
        return protocol::kNoReply;
    const std::vector<uint8_t> image = BuildShootImage();
    if (image.empty()) {
        ShowStatus(QStringLiteral("shoot_too_large_text"));
        return protocol::kNoReply;
    }
    QPointer<CShootControlUI> self(this);
    m_mouse->PostShootData(image, [self](IoResult result) {
        if (!self)
            return;
        if (result.ok()) {
            self->ShowStatus(QStringLiteral("shoot_sent_text"));
        } else {
            self->ShowStatus(QStringLiteral("shoot_send_failed_text"));
            editors::ShowWriteFailure(self->window(), result.code, result.failure);
        }
    });
    return protocol::kOk;
}

void CShootControlUI::ShowStatus(const QString& textId)
{
    if (auto* label = qobject_cast<QLabel*>(Control(QStringLiteral("shoot_status_text"))))
        ui::Language::instance().SetTextId(label, textId);
}

bool CShootControlUI::HandlePanelNotify(TNotifyUI& msg)
{
    if (!msg.pSender || !isAncestorOf(msg.pSender))
        return false;
    const QString name = msg.pSender->objectName();
    const int cut = name.lastIndexOf(QLatin1Char('_'));
    bool numbered = false;
    const int number = cut >= 0 ? name.mid(cut + 1).toInt(&numbered) : -1;
    const QString prefix = numbered ? name.left(cut + 1) : name;

    if (msg.sType == QLatin1String(ui::kNotifySelectChanged)) {
        if (prefix == QLatin1String("shoot_gun_op_") && msg.wParam) {
            SelectGun(number);
            ShowBullet();
        } else if (prefix == QLatin1String("bullet_op_") && msg.wParam) {
            SelectBullet(number);
        } else if (name == QLatin1String("bullet_x_check")) {
            SetOptionText(msg.pSender, msg.wParam, "mouse_move_to_left_text", "mouse_move_to_right_text");
        } else if (name == QLatin1String("bullet_y_check")) {
            SetOptionText(msg.pSender, msg.wParam, "mouse_move_to_up_text", "mouse_move_to_down_text");
        }
        return true;
    }
    if (msg.sType == QLatin1String(ui::kNotifyKillFocus) || msg.sType == QLatin1String(ui::kNotifyReturn)) {
        if (name == QLatin1String("bullet_x_eidt") || name == QLatin1String("bullet_y_eidt") ||
            name == QLatin1String("bullet_delay_eidt"))
            SaveBullet();
        return true;
    }
    if (msg.sType != QLatin1String(ui::kNotifyClick))
        return true;
    if (name == QLatin1String("bullet_selected_prev")) {
        SelectBullet(m_bullet - 1);
    } else if (name == QLatin1String("bullet_selected_next")) {
        SelectBullet(m_bullet + 1);
    } else if (name == QLatin1String("shootdate_save_btn")) {
        SendToMouse();
    } else if (name == QLatin1String("shootdate_reset_btn")) {
        ResetGun();
    } else if (name == QLatin1String("shootdate_import_btn")) {
        ImportGun(Services().openFile(window(), QLatin1String(kShootFilter)));
    } else if (name == QLatin1String("shootdate_export_btn")) {
        ExportGun(Services().saveFile(window(), QLatin1String(kShootFilter),
                                      QStringLiteral("ShootData_%1.shoot").arg(m_gun)));
    }
    return true;
}
