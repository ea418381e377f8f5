#include "editors/CLightControlUI.h"

#include <QGuiApplication>
#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QBoxLayout>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QSlider>
#include <QStackedWidget>

#include "devices/CVantikKeyboardDevice.h"
#include "devices/CVantikUSBDevice.h"
#include "editors/LightingActions.h"
#include "profiles/CBasicProfiledata.h"
#include "ui/CDeviceKeyButtonUI.h"
#include "ui/CSelectPanelUI.h"
#include "ui/IndexedName.h"
#include "ui/Language.h"
#include "ui/PaintManager.h"

namespace {

constexpr int kCustomMode = 19;
enum ColourSource { FromEdit, FromPalette, FromSwatch };

void SetChecked(QWidget* w, bool on)
{
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        // Both options of an exclusive pair change; neither may report it. Each button is
        // blocked once only: a second blocker on the same button would restore "blocked" when
        // it ends and leave the button silent for good.
        std::vector<std::unique_ptr<QSignalBlocker>> blockers;
        blockers.push_back(std::make_unique<QSignalBlocker>(b));
        if (b->parentWidget()) {
            for (QAbstractButton* other : b->parentWidget()->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly)) {
                if (other != b)
                    blockers.push_back(std::make_unique<QSignalBlocker>(other));
            }
        }
        b->setChecked(on);
    }
}

bool IsChecked(QWidget* w)
{
    auto* b = qobject_cast<QAbstractButton*>(w);
    return b && b->isChecked();
}

void SetEnabled(QWidget* w, bool on)
{
    if (w)
        w->setEnabled(on);
}

void SetVisible(QWidget* w, bool on)
{
    if (w)
        w->setVisible(on);
}

// The colour field to a screen reader: a colour chooser whose value is the colour picked;
// increase and decrease move the pick along the hues as the arrow keys do.
class PaletteAccessible : public QAccessibleWidget {
public:
    explicit PaletteAccessible(CColorPaletteUI* w) : QAccessibleWidget(w, QAccessible::ColorChooser) {}
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return static_cast<CColorPaletteUI*>(widget())->SelectedColor().name();
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override
    {
        return QStringList{increaseAction(), decreaseAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override
    {
        if (action == increaseAction() || action == decreaseAction()) {
            if (!widget()->isEnabled())
                return;
            QKeyEvent press(QEvent::KeyPress, action == increaseAction() ? Qt::Key_Right : Qt::Key_Left, Qt::NoModifier);
            QCoreApplication::sendEvent(widget(), &press);
            return;
        }
        QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface* PaletteAccessibleFactory(const QString&, QObject* object)
{
    if (auto* w = qobject_cast<CColorPaletteUI*>(object))
        return new PaletteAccessible(w);
    return nullptr;
}

}  // namespace

// --- Colour field ---

CColorPaletteUI::CColorPaletteUI(QWidget* parent) : QWidget(parent)
{
    static const bool factory = (QAccessible::installFactory(PaletteAccessibleFactory), true);
    Q_UNUSED(factory);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::CrossCursor);
    setMinimumSize(120, 80);
}

QColor CColorPaletteUI::ColorAt(QPoint p) const
{
    const int w = std::max(1, width() - 1), h = std::max(1, height() - 1);
    const double hue = std::clamp(p.x(), 0, w) / double(w);
    const double whiteness = std::clamp(p.y(), 0, h) / double(h);
    const QColor pure = QColor::fromHsvF(std::min(hue, 0.9999), 1.0, 1.0);
    auto mix = [whiteness](int c) { return int(c + (255 - c) * whiteness + 0.5); };
    return QColor(mix(pure.red()), mix(pure.green()), mix(pure.blue()));
}

void CColorPaletteUI::SetSelectedColor(const QColor& colour)
{
    m_colour = colour;
    // The nearest point of the field marks the colour.
    const int w = std::max(1, width() - 1), h = std::max(1, height() - 1);
    const int mx = std::max({colour.red(), colour.green(), colour.blue()});
    const int mn = std::min({colour.red(), colour.green(), colour.blue()});
    const double whiteness = mx > 0 ? mn / double(mx) : 1.0;
    const double hue = std::max(0.0, double(colour.hsvHueF()));
    m_pick = QPoint(int(hue * w + 0.5), int(whiteness * h + 0.5));
    update();
}

void CColorPaletteUI::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QLinearGradient hues(0, 0, width(), 0);
    for (int i = 0; i <= 6; ++i)
        hues.setColorAt(i / 6.0, QColor::fromHsvF(std::min(i / 6.0, 0.9999), 1.0, 1.0));
    p.fillRect(rect(), hues);
    QLinearGradient white(0, 0, 0, height());
    white.setColorAt(0, QColor(255, 255, 255, 0));
    white.setColorAt(1, QColor(255, 255, 255, 255));
    p.fillRect(rect(), white);
    // A field the mode does not use is dimmed, like the other colour controls.
    if (!isEnabled()) {
        p.fillRect(rect(), QColor(15, 18, 23, 190));
        return;
    }
    if (m_pick.x() >= 0) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::black, 2));
        p.drawEllipse(m_pick, 5, 5);
        p.setPen(QPen(Qt::white, 1));
        p.drawEllipse(m_pick, 6, 6);
    }
    if (hasFocus()) {
        p.setPen(QPen(palette().highlight(), 1));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void CColorPaletteUI::Pick(QPoint point)
{
    m_pick = QPoint(std::clamp(point.x(), 0, width() - 1), std::clamp(point.y(), 0, height() - 1));
    m_colour = ColorAt(m_pick);
    update();
    ui::PaintManager::Notify(this, QStringLiteral("colorchanged"));
}

void CColorPaletteUI::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        Pick(event->position().toPoint());
}

void CColorPaletteUI::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        Pick(event->position().toPoint());
}

void CColorPaletteUI::keyPressEvent(QKeyEvent* event)
{
    QPoint p = m_pick.x() < 0 ? QPoint(0, 0) : m_pick;
    const int step = 4;
    switch (event->key()) {
    case Qt::Key_Left: p.rx() -= step; break;
    case Qt::Key_Right: p.rx() += step; break;
    case Qt::Key_Up: p.ry() -= step; break;
    case Qt::Key_Down: p.ry() += step; break;
    default: QWidget::keyPressEvent(event); return;
    }
    Pick(p);
}

// --- Panel ---

CLightControlUI::CLightControlUI(QWidget* parent) : QWidget(parent)
{
    setObjectName(QLatin1String(kClassName));
}

QWidget* CLightControlUI::Control(const QString& name) const
{
    return ui::PaintManager::FindSubControlByName(const_cast<CLightControlUI*>(this), name);
}

void CLightControlUI::AttachDevice(CVantikUSBDevice& device)
{
    m_device = &device;
    m_kind = editors::KindOf(device);
    // Sliders carry no text of their own: their names follow the language through their ids.
    for (auto [name, id] : {std::pair{"deng_light_slider", "light_brightness_text"}, std::pair{"deng_speed_slider", "light_speed_text"}}) {
        if (QWidget* slider = Control(QLatin1String(name))) {
            slider->setProperty("accessiblenameid", QLatin1String(id));
            slider->setAccessibleName(ui::Language::instance().Text(QLatin1String(id)));
        }
    }
    // Swatches show their colour as their background.
    for (const char* prefix : {"color_option_", "audiocolor_option_"}) {
        for (int n = 1; n <= 16; ++n) {
            QWidget* w = Control(QLatin1String(prefix) + QString::number(n));
            if (!w)
                break;
            const QColor c(w->property("swatchcolor").toString());
            if (c.isValid())
                SetColourButton(w->objectName(), c);
        }
    }
    // A page gives the panel either a wide, low strip under the device picture or, with the
    // "narrow" property, a column beside it, where the colour field goes under the swatches.
    if (property("narrow").toBool()) {
        for (const char* name : {"light_colour_page", "light_audio_page"}) {
            QWidget* page = Control(QLatin1String(name));
            if (auto* box = page ? qobject_cast<QBoxLayout*>(page->layout()) : nullptr) {
                box->setDirection(QBoxLayout::TopToBottom);
                box->addStretch(1);
            }
        }
        for (const char* name : {"deng_Color_Pallet", "deng_audioColor_Pallet"}) {
            if (QWidget* field = Control(QLatin1String(name))) {
                field->setMinimumWidth(220);
                field->setFixedHeight(120);
            }
        }
        // The column has no room for the effect's caption, its list and "same lighting" side by
        // side (the button would cover the list): the button takes a line of its own below.
        QWidget* same = Control(QStringLiteral("deng_same_mode"));
        QWidget* row = Control(QStringLiteral("light_mode_row"));
        QWidget* column = Control(QStringLiteral("lighteffect_layout"));
        auto* lines = column ? qobject_cast<QBoxLayout*>(column->layout()) : nullptr;
        if (same && row && lines && lines->indexOf(row) >= 0) {
            row->layout()->removeWidget(same);
            lines->insertWidget(lines->indexOf(row) + 1, same, 0, Qt::AlignLeft);
        }
    }
    DeviceRefreshed();
}

void CLightControlUI::DeviceRefreshed()
{
    if (!m_device)
        return;
    const CVantikUSBDevice::LightModeList modes = m_device->LightModes();
    if (!modes.names.isEmpty()) {
        auto* combo = qobject_cast<QComboBox*>(Control(QStringLiteral("light_combo_modeSelect")));
        // Rebuilt only when the list changed, so an open list keeps its state.
        bool same = combo && combo->count() == modes.names.size();
        for (int i = 0; same && i < combo->count(); ++i)
            same = combo->itemData(i).toString() == modes.names[i];
        if (!same)
            FillModeList(modes.names, modes.visible, 4, 4);
    }
    ShowLightInfo(m_device->Profile().GetLightInfo());
    if (m_kind == editors::kKindKeyboard)
        ShowAudioLightInfo(m_device->Profile().GetAudioLightInfo());
}

void CLightControlUI::FillModeList(const QStringList& names, const std::vector<int>& visible, int maxBrightness, int maxSpeed)
{
    if (auto* combo = qobject_cast<QComboBox*>(Control(QStringLiteral("light_combo_modeSelect")))) {
        const QSignalBlocker block(combo);
        combo->clear();
        for (int i = 0; i < names.size(); ++i) {
            combo->addItem(QString(), names[i]);
            ui::Language::instance().SetItemTextId(combo, i, names[i]);
            combo->setItemData(i, QSize(0, 30), Qt::SizeHintRole);
        }
        if (auto* view = qobject_cast<QListView*>(combo->view())) {
            for (int i = 0; i < names.size(); ++i)
                view->setRowHidden(i, size_t(i) < visible.size() && visible[size_t(i)] == 0);
        }
    }
    if (auto* s = qobject_cast<QSlider*>(Control(QStringLiteral("deng_light_slider"))))
        s->setMaximum(maxBrightness);
    if (auto* s = qobject_cast<QSlider*>(Control(QStringLiteral("deng_speed_slider"))))
        s->setMaximum(maxSpeed);
}

void CLightControlUI::SelectMode(int index)
{
    if (auto* combo = qobject_cast<QComboBox*>(Control(QStringLiteral("light_combo_modeSelect")))) {
        const QSignalBlocker block(combo);
        combo->setCurrentIndex(index < combo->count() ? index : -1);
    }
    ApplyModeLayout(m_kind, index);
}

int CLightControlUI::GetMode()
{
    auto* combo = qobject_cast<QComboBox*>(Control(QStringLiteral("light_combo_modeSelect")));
    return combo ? combo->currentIndex() : -1;
}

int CLightControlUI::GetBrightness()
{
    auto* s = qobject_cast<QSlider*>(Control(QStringLiteral("deng_light_slider")));
    return s ? s->value() : 0;
}

int CLightControlUI::GetSpeed()
{
    auto* s = qobject_cast<QSlider*>(Control(QStringLiteral("deng_speed_slider")));
    return s ? s->value() : 0;
}

QString CLightControlUI::GetColourEdit(int channel)
{
    static const char* names[] = {"deng_edit_R", "deng_edit_G", "deng_edit_B"};
    if (channel < 0 || channel > 2)
        return {};
    auto* e = qobject_cast<QLineEdit*>(Control(QLatin1String(names[channel])));
    return e ? e->text() : QString();
}

QColor CLightControlUI::GetPaletteColour()
{
    auto* p = qobject_cast<CColorPaletteUI*>(Control(QStringLiteral("deng_Color_Pallet")));
    return p ? p->SelectedColor() : QColor(0, 0, 0);
}

QColor CLightControlUI::SwatchColour(int n)
{
    QWidget* w = Control(QStringLiteral("color_option_%1").arg(n));
    return w ? QColor(w->property("swatchcolor").toString()) : QColor(0, 0, 0, 0);
}

QColor CLightControlUI::AudioSwatchColour(int n)
{
    QWidget* w = Control(QStringLiteral("audiocolor_option_%1").arg(n));
    return w ? QColor(w->property("swatchcolor").toString()) : QColor(0, 0, 0, 0);
}

void CLightControlUI::SetColourButton(const QString& name, QColor colour)
{
    QWidget* w = Control(name);
    if (!w)
        return;
    w->setProperty("swatchcolor", colour.name());
    // The border keeps a dark colour visible against the panel.
    w->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; border: 1px solid #3a4556; border-radius: 4px; padding: 0; }"
                                    "QPushButton:hover { border-color: #2de2e6; }"
                                    "QPushButton:disabled { background-color: #2b3442; border-color: #222933; }")
                         .arg(colour.name()));
}

void CLightControlUI::ShowColour(QColor colour, bool edits, bool palette)
{
    if (edits) {
        const int v[3] = {colour.red(), colour.green(), colour.blue()};
        static const char* names[] = {"deng_edit_R", "deng_edit_G", "deng_edit_B"};
        for (int i = 0; i < 3; ++i) {
            if (auto* e = qobject_cast<QLineEdit*>(Control(QLatin1String(names[i])))) {
                const QSignalBlocker block(e);
                e->setText(QString::number(v[i]));
            }
        }
    }
    if (palette) {
        if (auto* p = qobject_cast<CColorPaletteUI*>(Control(QStringLiteral("deng_Color_Pallet"))))
            p->SetSelectedColor(colour);
    }
    SetColourButton(QStringLiteral("deng_colordp_btn"), colour);
}

void CLightControlUI::ShowLightInfo(const LightInfo& info)
{
    SelectMode(info.mode);
    for (auto [name, value] : {std::pair{"deng_light_slider", info.brightness}, std::pair{"deng_speed_slider", info.speed}}) {
        if (auto* s = qobject_cast<QSlider*>(Control(QLatin1String(name)))) {
            const QSignalBlocker block(s);
            s->setValue(value);
        }
    }
    ShowColour(QColor(info.red, info.green, info.blue), true, true);
    SetChecked(Control(QStringLiteral("deng_7color_check")), info.multicolour != 0);
    for (auto [name, value] : {std::pair{"light_combo_ZZCCmodeSelect", info.zzccMode},
                               std::pair{"light_combo_custommodeSelect", info.customGroup}}) {
        if (auto* c = qobject_cast<QComboBox*>(Control(QLatin1String(name)))) {
            const QSignalBlocker block(c);
            c->setCurrentIndex(value < c->count() ? value : -1);
        }
    }
    SetChecked(Control(info.direction ? QStringLiteral("deng_FXL_check") : QStringLiteral("deng_FXR_check")), true);
    SetChecked(Control(info.direction ? QStringLiteral("deng_FXR_check") : QStringLiteral("deng_FXL_check")), false);
    ApplyModeLayout(m_kind, info.mode);
}

void CLightControlUI::ApplyModeLayout(int kind, int mode)
{
    const editors::ModeLayout l = editors::LayoutFor(kind, mode);
    const bool keyboard = kind == editors::kKindKeyboard;
    SetEnabled(Control(QStringLiteral("lighteffect_layout")), m_externalClient.isEmpty());
    SetEnabled(Control(QStringLiteral("deng_7color_check")), l.colourOption);
    SetEnabled(Control(QStringLiteral("deng_color_layout")), l.colourAreas);
    SetEnabled(Control(QStringLiteral("colorpallet_layout")), l.colourAreas);
    SetEnabled(Control(QStringLiteral("deng_light_layout")), l.brightness);
    SetEnabled(Control(QStringLiteral("deng_speed_layout")), l.speed);
    SetVisible(Control(QStringLiteral("deng_speed_layout")), l.speedVisible);
    SetEnabled(Control(QStringLiteral("deng_fx_layout")), l.direction);
    SetEnabled(Control(QStringLiteral("light_color_layout")), l.colourLayout);
    SetVisible(Control(QStringLiteral("deng_same_mode")), l.same && m_sameAvailable);
    SetVisible(Control(QStringLiteral("light_combo_ZZCCmodeSelectLayout")), keyboard && l.subMode);
    SetVisible(Control(QStringLiteral("lightcustom_layout")), keyboard && l.customGroup);
    SetVisible(Control(QStringLiteral("light_combo_AudiomodeSelectLayout")), keyboard && l.audio);
    // The live spectrum and the audio styles belong to the music mode.
    SetVisible(Control(QStringLiteral("light_music_layout")), keyboard && l.audio);
    if (auto* pages = qobject_cast<QStackedWidget*>(Control(QStringLiteral("light_color_tablayout"))))
        pages->setCurrentIndex(keyboard && l.audio ? 1 : 0);
    if (QWidget* first = Control(QStringLiteral("deng_FXL_check")))
        ui::Language::instance().SetTextId(first, l.directionFirst);
    if (QWidget* second = Control(QStringLiteral("deng_FXR_check")))
        ui::Language::instance().SetTextId(second, l.directionSecond);
}

void CLightControlUI::ShowExternalControl(const QString& client)
{
    m_externalClient = client;
    if (!m_externalLabel) {
        if (client.isEmpty())
            return;
        m_externalLabel = new QLabel(this);
        m_externalLabel->setObjectName(QStringLiteral("light_external_control_text"));
        m_externalLabel->setWordWrap(true);
        if (auto* box = qobject_cast<QBoxLayout*>(layout())) {
            box->insertWidget(0, m_externalLabel);
        } else {
            // A panel without a layout of its own: the notice lies over its top edge.
            m_externalLabel->setGeometry(0, 0, width(), m_externalLabel->sizeHint().height());
            m_externalLabel->setAutoFillBackground(true);
            m_externalLabel->raise();
        }
    }
    m_externalLabel->setText(ui::Language::instance().Text(QStringLiteral("light_controlled_by")).arg(client));
    m_externalLabel->setVisible(!client.isEmpty());
    SetEnabled(Control(QStringLiteral("lighteffect_layout")), client.isEmpty());
}

void CLightControlUI::SetSameModeAvailable(bool on)
{
    m_sameAvailable = on;
    ApplyModeLayout(m_kind, GetMode());
}

void CLightControlUI::ShowAudioLightInfo(const AudioLightInfo& info)
{
    auto* combo = qobject_cast<QComboBox*>(Control(QStringLiteral("light_combo_audiomodeSelect")));
    if (!combo || !Control(QStringLiteral("deng_audiocolordp_btn"))) {
        qWarning(" SetAudioLightInfo control is NULL");
        return;
    }
    m_audio = info;
    {
        const QSignalBlocker block(combo);
        combo->setCurrentIndex(info.audioMode < combo->count() ? info.audioMode : -1);
    }
    const bool fg = info.colourType == 1;
    const QColor shown = fg ? QColor(info.fgRed, info.fgGreen, info.fgBlue) : QColor(info.bkRed, info.bkGreen, info.bkBlue);
    static const char* names[] = {"deng_audioedit_R", "deng_audioedit_G", "deng_audioedit_B"};
    const int v[3] = {shown.red(), shown.green(), shown.blue()};
    for (int i = 0; i < 3; ++i) {
        if (auto* e = qobject_cast<QLineEdit*>(Control(QLatin1String(names[i])))) {
            const QSignalBlocker block(e);
            e->setText(QString::number(v[i]));
        }
    }
    SetChecked(Control(QStringLiteral("audio_BkColor_check")), !fg);
    SetChecked(Control(QStringLiteral("audio_FgColor_check")), fg);
    // The seven-colour check sits beside the music row, outside the colour areas, so it follows
    // their state itself.
    QWidget* seven = Control(QStringLiteral("deng_7audiocolor_check"));
    SetEnabled(seven, fg && info.audioMode != 3);
    if (fg)
        SetChecked(seven, info.sevenColour != 0);
    if (auto* p = qobject_cast<CColorPaletteUI*>(Control(QStringLiteral("deng_audioColor_Pallet"))))
        p->SetSelectedColor(shown);
    SetColourButton(QStringLiteral("deng_audiocolordp_btn"), shown);
    const bool areas = info.audioMode != 3;
    SetEnabled(Control(QStringLiteral("light_audiocolor_layout")), areas);
    SetEnabled(Control(QStringLiteral("audiocolorpallet_layout")), areas);
}

AudioLightInfo CLightControlUI::ReadAudioLightInfo(bool capture)
{
    auto* combo = qobject_cast<QComboBox*>(Control(QStringLiteral("light_combo_audiomodeSelect")));
    QWidget* button = Control(QStringLiteral("deng_audiocolordp_btn"));
    QWidget* seven = Control(QStringLiteral("deng_7audiocolor_check"));
    QWidget* bk = Control(QStringLiteral("audio_BkColor_check"));
    QWidget* fg = Control(QStringLiteral("audio_FgColor_check"));
    if (!combo || !button || !seven || !bk || !fg) {
        qWarning("GetAudioLightInfo control is NULL");
        return m_audio;
    }
    m_audio.audioMode = uint8_t(std::max(0, combo->currentIndex()));
    m_audio.sevenColour = IsChecked(seven) ? 1 : 0;
    m_audio.colourType = IsChecked(bk) && (m_audio.colourType == 1 || !IsChecked(fg)) ? 0 : 1;
    if (capture) {
        const QColor c(button->property("swatchcolor").toString());
        if (c.isValid()) {
            if (m_audio.colourType == 1)
                m_audio.fgRed = uint8_t(c.red()), m_audio.fgGreen = uint8_t(c.green()), m_audio.fgBlue = uint8_t(c.blue());
            else
                m_audio.bkRed = uint8_t(c.red()), m_audio.bkGreen = uint8_t(c.green()), m_audio.bkBlue = uint8_t(c.blue());
        }
    }
    return m_audio;
}

int CLightControlUI::ReadEditValue(const QString& name, bool rewrite)
{
    auto* e = qobject_cast<QLineEdit*>(Control(name));
    if (!e)
        return 0;
    bool ok = false;
    const qlonglong parsed = e->text().trimmed().toLongLong(&ok);
    const int value = !ok || parsed < 0 ? 0 : parsed > 255 ? 255 : int(parsed);
    if (rewrite && (e->text().trimmed().isEmpty() || parsed > 255 || !ok)) {
        const QSignalBlocker block(e);
        e->setText(QString::number(value));
    }
    return value;
}

void CLightControlUI::ApplyLightChange(const std::function<void(LightInfo&)>& change, bool clearSame, bool dragging)
{
    if (!m_device)
        return;
    if (clearSame)
        m_device->SetSameLighting(0);
    LightInfo info = m_device->Profile().GetLightInfo();
    change(info);
    editors::StoreAndSendLight(*m_device, info, dragging);
}

void CLightControlUI::ApplyColour(QColor colour, int source)
{
    if (!m_device)
        return;
    ApplyLightChange([colour](LightInfo& info) {
        info.red = uint8_t(colour.red());
        info.green = uint8_t(colour.green());
        info.blue = uint8_t(colour.blue());
        info.multicolour = 0;
    }, source != FromSwatch, source == FromPalette && QGuiApplication::mouseButtons() != Qt::NoButton);
    SetChecked(Control(QStringLiteral("deng_7color_check")), false);
    ShowColour(colour, source != FromEdit, source != FromPalette);
}

void CLightControlUI::StoreAudio(const AudioLightInfo& info)
{
    if (!m_device)
        return;
    m_device->Profile().SetAudioLightInfo(info);
    ShowAudioLightInfo(info);
    m_device->SaveProfile();
    m_device->ApplyLightSettings();
}

bool CLightControlUI::CustomModeActive() const
{
    return m_device && m_kind == editors::kKindKeyboard && m_device->Profile().GetLightInfo().mode == kCustomMode &&
           isVisible();
}

bool CLightControlUI::PaintSelectedKeys(bool off)
{
    auto* keyboard = qobject_cast<CVantikKeyboardDevice*>(m_device);
    if (!keyboard || !CustomModeActive())
        return false;
    std::vector<int> positions;
    for (auto* key : m_device->findChildren<ui::CDeviceKeyButtonUI*>()) {
        const auto [prefix, n] = ui::SplitTrailingNumber(key->objectName());
        if (n >= 0 && prefix == QLatin1String("key_") && key->IsSelected())
            positions.push_back(n);
    }
    const LightInfo info = m_device->Profile().GetLightInfo();
    if (off)
        keyboard->PaintCustomKeys(positions, 0, 0, 0);
    else
        keyboard->PaintCustomKeys(positions, info.red, info.green, info.blue);
    return true;
}

bool CLightControlUI::PaintKey(int position)
{
    if (!qobject_cast<CVantikKeyboardDevice*>(m_device) || !CustomModeActive())
        return false;
    // A click makes the key the whole selection, then paints it.
    for (auto* key : m_device->findChildren<ui::CDeviceKeyButtonUI*>()) {
        const auto [prefix, n] = ui::SplitTrailingNumber(key->objectName());
        key->SetSelected(prefix == QLatin1String("key_") && n == position);
    }
    return PaintSelectedKeys(false);
}

bool CLightControlUI::HandlePanelNotify(TNotifyUI& msg)
{
    if (!m_device || !msg.pSender)
        return false;
    const QString& type = msg.sType;
    const QString name = msg.pSender->objectName();
    const auto [prefix, index] = ui::SplitTrailingNumber(name);
    const bool click = type == QLatin1String(ui::kNotifyClick);
    const bool selectChanged = type == QLatin1String(ui::kNotifySelectChanged);
    const bool itemSelect = type == QLatin1String(ui::kNotifyItemSelect);
    const bool keyboard = m_kind == editors::kKindKeyboard;

    // Per-key colours: keys picked on the picture while the per-key mode is shown.
    if (type == QLatin1String(ui::CSelectPanelUI::kNotifySelectEnd))
        return PaintSelectedKeys(false);
    if (click && prefix == QLatin1String("key_") && index >= 0)
        return PaintKey(index);
    // The two buttons are the panel's own, whether or not there is anything to paint.
    if (click && name == QLatin1String("custom_bright_color_btn")) {
        PaintSelectedKeys(false);
        return true;
    }
    if (click && name == QLatin1String("custom_off_color_btn")) {
        PaintSelectedKeys(true);
        return true;
    }

    // The rest are the panel's own controls.
    if (!isAncestorOf(msg.pSender))
        return false;

    if (itemSelect && name == QLatin1String("light_combo_modeSelect")) {
        const int mode = GetMode();
        if (mode < 0)
            return true;
        ApplyLightChange([mode](LightInfo& i) { i.mode = uint8_t(mode); }, true);
        SelectMode(mode);
        return true;
    }
    if ((type == QLatin1String(ui::kNotifyValueChanged)) &&
        (name == QLatin1String("deng_light_slider") || name == QLatin1String("deng_speed_slider"))) {
        const auto v = uint8_t(std::clamp<intptr_t>(msg.wParam, 0, 4));
        const bool light = name == QLatin1String("deng_light_slider");
        ApplyLightChange([v, light](LightInfo& i) { (light ? i.brightness : i.speed) = v; }, true);
        return true;
    }
    if (type == QLatin1String(ui::kNotifyMoveValueChanged))
        return name == QLatin1String("deng_light_slider") || name == QLatin1String("deng_speed_slider");
    if (type == QLatin1String(ui::kNotifyKillFocus) &&
        (name == QLatin1String("deng_edit_R") || name == QLatin1String("deng_edit_G") || name == QLatin1String("deng_edit_B"))) {
        const QColor c(ReadEditValue(QStringLiteral("deng_edit_R"), name.endsWith(QLatin1Char('R'))),
                       ReadEditValue(QStringLiteral("deng_edit_G"), name.endsWith(QLatin1Char('G'))),
                       ReadEditValue(QStringLiteral("deng_edit_B"), name.endsWith(QLatin1Char('B'))));
        ApplyColour(c, FromEdit);
        return true;
    }
    if (type == QLatin1String("colorchanged") && name == QLatin1String("deng_Color_Pallet")) {
        ApplyColour(GetPaletteColour(), FromPalette);
        return true;
    }
    if (click && prefix == QLatin1String("color_option_") && index >= 0) {
        const QColor c = SwatchColour(index);
        if (c.isValid())
            ApplyColour(c, FromSwatch);
        return true;
    }
    if (selectChanged && name == QLatin1String("deng_7color_check")) {
        const bool on = msg.wParam != 0;
        ApplyLightChange([on](LightInfo& i) { i.multicolour = on ? 1 : 0; }, true);
        return true;
    }
    if (selectChanged && (name == QLatin1String("deng_FXL_check") || name == QLatin1String("deng_FXR_check"))) {
        if (msg.wParam == 0)
            return true;  // the option losing the selection
        const uint8_t dir = name == QLatin1String("deng_FXL_check") ? 1 : 0;
        ApplyLightChange([dir](LightInfo& i) { i.direction = dir; }, true);
        return true;
    }
    if (itemSelect && keyboard && name == QLatin1String("light_combo_ZZCCmodeSelect")) {
        const int sub = std::max(0, int(msg.wParam));
        ApplyLightChange([sub](LightInfo& i) { i.zzccMode = uint8_t(sub); }, false);
        return true;
    }
    if (itemSelect && keyboard && name == QLatin1String("light_combo_custommodeSelect")) {
        const int group = std::max(0, int(msg.wParam));
        if (auto* kb = qobject_cast<CVantikKeyboardDevice*>(m_device)) {
            kb->KeyboardProfile().SetCustomLightGroup(group);
            m_device->SaveProfile();
        }
        // Entering the group loads its key colours into the picture and writes its table.
        LightInfo info = m_device->Profile().GetLightInfo();
        info.customGroup = uint8_t(group);
        editors::StoreAndSendLight(*m_device, info);
        return true;
    }
    if (click && name == QLatin1String("deng_same_mode")) {
        if (const auto& handler = editors::GetSameLightingHandler())
            handler(*m_device);
        return true;
    }

    // Audio-reactive colours.
    if ((itemSelect && name == QLatin1String("light_combo_audiomodeSelect")) ||
        (selectChanged && name == QLatin1String("deng_7audiocolor_check"))) {
        StoreAudio(ReadAudioLightInfo(true));
        return true;
    }
    if (selectChanged && (name == QLatin1String("audio_BkColor_check") || name == QLatin1String("audio_FgColor_check"))) {
        if (msg.wParam == 0)
            return true;
        StoreAudio(ReadAudioLightInfo(false));
        return true;
    }
    // The audio colour being edited takes a colour; the foreground leaves the seven-colour cycle.
    auto setAudioColour = [](AudioLightInfo& a, QColor c) {
        if (a.colourType == 1) {
            a.fgRed = uint8_t(c.red()), a.fgGreen = uint8_t(c.green()), a.fgBlue = uint8_t(c.blue());
            a.sevenColour = 0;
        } else {
            a.bkRed = uint8_t(c.red()), a.bkGreen = uint8_t(c.green()), a.bkBlue = uint8_t(c.blue());
        }
    };
    if (type == QLatin1String(ui::kNotifyKillFocus) &&
        (name == QLatin1String("deng_audioedit_R") || name == QLatin1String("deng_audioedit_G") ||
         name == QLatin1String("deng_audioedit_B"))) {
        if (!Control(QStringLiteral("deng_audioedit_R")) || !Control(QStringLiteral("deng_audioedit_G")) ||
            !Control(QStringLiteral("deng_audioedit_B"))) {
            qWarning("GetLightAudioColor control is NULL");
            return true;
        }
        const int value = ReadEditValue(name, false);
        AudioLightInfo a = ReadAudioLightInfo(false);
        const int ch = name.endsWith(QLatin1Char('R')) ? 0 : name.endsWith(QLatin1Char('G')) ? 1 : 2;
        uint8_t* fgc[3] = {&a.fgRed, &a.fgGreen, &a.fgBlue};
        uint8_t* bkc[3] = {&a.bkRed, &a.bkGreen, &a.bkBlue};
        if (a.colourType == 1) {
            *fgc[ch] = uint8_t(value);
            a.sevenColour = 0;
        } else {
            *bkc[ch] = uint8_t(value);
        }
        // The edit keeps what was typed.
        auto* edit = qobject_cast<QLineEdit*>(msg.pSender);
        const QString typed = edit ? edit->text() : QString();
        StoreAudio(a);
        if (edit) {
            const QSignalBlocker block(edit);
            edit->setText(typed);
        }
        return true;
    }
    if (type == QLatin1String("colorchanged") && name == QLatin1String("deng_audioColor_Pallet")) {
        AudioLightInfo a = ReadAudioLightInfo(true);
        if (auto* p = qobject_cast<CColorPaletteUI*>(msg.pSender))
            setAudioColour(a, p->SelectedColor());
        StoreAudio(a);
        return true;
    }
    if (click && prefix == QLatin1String("audiocolor_option_") && index >= 0) {
        AudioLightInfo a = ReadAudioLightInfo(true);
        const QColor c = AudioSwatchColour(index);
        if (c.isValid())
            setAudioColour(a, c);
        StoreAudio(a);
        return true;
    }
    if (click && name == QLatin1String("Close_bkColor_btn")) {
        AudioLightInfo a = ReadAudioLightInfo(true);
        a.bkRed = a.bkGreen = a.bkBlue = 0;
        StoreAudio(a);
        return true;
    }
    return false;
}
