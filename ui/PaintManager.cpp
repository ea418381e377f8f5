#include "ui/PaintManager.h"

#include "ui/CSelectPanelUI.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QFile>
#include <QHash>
#include <QIntValidator>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTextEdit>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "ui/UiLog.h"
#include "ui/Notify.h"
#include "ui/WindowImplBase.h"

namespace ui {

namespace {

// Digits within a range. A number above the top cannot be typed at all (QIntValidator lets
// "300" stand in a 0..255 field as an unfinished entry, and its owner would then read 300); one
// below the bottom is an unfinished entry that becomes the bottom when the edit is left.
class RangeValidator : public QIntValidator {
public:
    using QIntValidator::QIntValidator;
    State validate(QString& input, int& pos) const override
    {
        const State state = QIntValidator::validate(input, pos);
        if (state != Intermediate)
            return state;
        bool ok = false;
        const qlonglong value = input.trimmed().toLongLong(&ok);
        if (ok && value > top() && value >= 0)
            return Invalid;
        return state;
    }
    void fixup(QString& input) const override
    {
        bool ok = false;
        const qlonglong value = input.trimmed().toLongLong(&ok);
        if (ok)
            input = QString::number(std::clamp<qlonglong>(value, bottom(), top()));
    }
};

QString g_resourcePath;
std::vector<PaintManager*> g_managers;

struct SharedFonts {
    std::map<int, QFont> fonts;  // unscaled (pixel size at 96 DPI)
    QFont defaultFont;
    bool hasDefault = false;
};
SharedFonts& shared()
{
    static SharedFonts s;
    return s;
}

const char kWiredProperty[] = "tessel_wired";
const char kBaseMinProperty[] = "tessel_base_min";
const char kBaseMaxProperty[] = "tessel_base_max";
const char kBaseSizeProperty[] = "tessel_base_size";
const char kBaseMarginsProperty[] = "tessel_base_margins";
const char kBaseSpacingProperty[] = "tessel_base_spacing";
const char kBaseIconProperty[] = "tessel_base_icon";
const char kComboIndexProperty[] = "tessel_combo_index";

// Relays the events that become notifications (focus, hover, double click, context menu) of
// every wired control; never consumes them. It is also the context of every connection the
// manager makes, so deleting it cuts all of them at once.
class NotifyFilter : public QObject {
public:
    explicit NotifyFilter(PaintManager* pm) : m_pm(pm) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* w = qobject_cast<QWidget*>(watched);
        if (!w)
            return false;
        // Item views get their mouse events through the viewport; the view is the sender.
        QWidget* sender = w;
        if (w->property(kWiredProperty).toBool() == false && w->parentWidget()
            && qobject_cast<QAbstractItemView*>(w->parentWidget()))
            sender = w->parentWidget();
        switch (event->type()) {
        case QEvent::FocusIn:
            m_pm->SendNotify(sender, kNotifySetFocus);
            break;
        case QEvent::FocusOut:
            m_pm->SendNotify(sender, kNotifyKillFocus);
            break;
        case QEvent::Enter:
            if (sender == w)
                m_pm->SendNotify(sender, kNotifyMouseEnter);
            break;
        case QEvent::Leave:
            if (sender == w)
                m_pm->SendNotify(sender, kNotifyMouseLeave);
            break;
        case QEvent::MouseButtonDblClick:
            if (!qobject_cast<QAbstractItemView*>(sender))
                m_pm->SendNotify(sender, kNotifyDbClick);
            break;
        case QEvent::ContextMenu: {
            auto* cm = static_cast<QContextMenuEvent*>(event);
            m_pm->SendNotify(sender, kNotifyMenu, cm->globalPos().x(), cm->globalPos().y());
            break;
        }
        default:
            break;
        }
        return false;
    }

private:
    PaintManager* m_pm;
};

int scaled(int v, double factor)
{
    return static_cast<int>(std::lround(v * factor));
}

QSize scaledSize(QSize s, double factor, bool isMax)
{
    auto one = [&](int v) {
        if (v <= 0 || (isMax && v >= QWIDGETSIZE_MAX))
            return v;
        return std::min(scaled(v, factor), static_cast<int>(QWIDGETSIZE_MAX));
    };
    return QSize(one(s.width()), one(s.height()));
}

// The buttons whose signals an option's selection can raise: its group (or, for auto-exclusive
// buttons, its auto-exclusive siblings) and itself.
QList<QAbstractButton*> exclusiveSet(QAbstractButton* b)
{
    if (b->group())
        return b->group()->buttons();
    QList<QAbstractButton*> set{b};
    if (b->autoExclusive() && b->parentWidget()) {
        for (QAbstractButton* other :
             b->parentWidget()->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly)) {
            if (other != b && other->autoExclusive())
                set.append(other);
        }
    }
    return set;
}

}  // namespace

PaintManager::PaintManager(WindowImplBase* window) : m_window(window)
{
    m_guard = new NotifyFilter(this);
    g_managers.push_back(this);
}

PaintManager::~PaintManager()
{
    Detach();
    std::erase(g_managers, this);
}

void PaintManager::Detach()
{
    // Controls outlive the manager by a moment while the window's QWidget base deletes them;
    // their signals must not reach a half-destroyed window.
    delete m_guard;
    m_guard = nullptr;
    for (auto& [key, timer] : m_timers)
        delete timer.data();
    m_timers.clear();
}

QWidget* PaintManager::FindControl(const QString& name) const
{
    if (!m_window || name.isEmpty())
        return nullptr;
    if (m_window->objectName() == name)
        return m_window;
    return m_window->findChild<QWidget*>(name);
}

QWidget* PaintManager::FindSubControlByName(QWidget* parent, const QString& name)
{
    if (!parent || name.isEmpty())
        return nullptr;
    return parent->findChild<QWidget*>(name);
}

PaintManager* PaintManager::ForControl(QWidget* control)
{
    for (QWidget* w = control; w; w = w->parentWidget()) {
        if (auto* window = qobject_cast<WindowImplBase*>(w))
            return &window->PM();
    }
    return nullptr;
}

void PaintManager::Notify(QWidget* control, const QString& type, intptr_t wParam, intptr_t lParam)
{
    if (PaintManager* pm = ForControl(control))
        pm->SendNotify(control, type, wParam, lParam);
}

void PaintManager::SendNotify(QWidget* sender, const QString& type, intptr_t wParam,
                              intptr_t lParam)
{
    if (!m_window || !m_guard)
        return;
    TNotifyUI msg{type, sender, wParam, lParam};
    m_window->Notify(msg);
}

void PaintManager::Wire(QWidget* root)
{
    if (!root || !m_guard)
        return;
    wireTree(root);
    // Controls built after the DPI was set (a device's page, a panel made on demand) take the
    // window's scale like those that were there.
    if (root != m_window && m_dpi != 96 && !qobject_cast<WindowImplBase*>(root))
        scaleTree(root, m_dpi / 96.0, false);
    ApplyFonts(root);
}

void PaintManager::wireTree(QWidget* root)
{
    if (root != m_window && qobject_cast<WindowImplBase*>(root))
        return;  // another window wires its own controls
    if (root != m_window)
        wireOne(root);
    // A combo's or spin box's inner widgets are its own business.
    if (qobject_cast<QComboBox*>(root) || qobject_cast<QAbstractSpinBox*>(root))
        return;
    for (QObject* child : root->children()) {
        if (auto* w = qobject_cast<QWidget*>(child))
            wireTree(w);
    }
}

void PaintManager::wireOne(QWidget* w)
{
    const QString name = w->objectName();
    if (name.isEmpty() || name.startsWith(QLatin1String("qt_")) || w->property(kWiredProperty).toBool())
        return;
    w->setProperty(kWiredProperty, true);
    w->installEventFilter(m_guard);

    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        QObject::connect(b, &QAbstractButton::clicked, m_guard,
                         [this, b](bool checked) { SendNotify(b, kNotifyClick, checked ? 1 : 0); });
        QObject::connect(b, &QAbstractButton::toggled, m_guard, [this, b](bool checked) {
            SendNotify(b, kNotifySelectChanged, checked ? 1 : 0);
        });
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        // The previous index rides along in lParam, as list selections carry it.
        combo->setProperty(kComboIndexProperty, combo->currentIndex());
        QObject::connect(combo, &QComboBox::currentIndexChanged, m_guard, [this, combo](int index) {
            const QVariant old = combo->property(kComboIndexProperty);
            combo->setProperty(kComboIndexProperty, index);
            SendNotify(combo, kNotifyItemSelect, index, old.isValid() ? old.toInt() : -1);
        });
    } else if (auto* view = qobject_cast<QAbstractItemView*>(w)) {
        if (QItemSelectionModel* sel = view->selectionModel()) {
            QObject::connect(sel, &QItemSelectionModel::currentChanged, m_guard,
                             [this, view](const QModelIndex& cur, const QModelIndex& prev) {
                                 SendNotify(view, kNotifyItemSelect, cur.isValid() ? cur.row() : -1,
                                            prev.isValid() ? prev.row() : -1);
                             });
        }
        QObject::connect(view, &QAbstractItemView::clicked, m_guard,
                         [this, view](const QModelIndex& i) { SendNotify(view, kNotifyItemClick, i.row()); });
        QObject::connect(view, &QAbstractItemView::activated, m_guard, [this, view](const QModelIndex& i) {
            SendNotify(view, kNotifyItemActivate, i.row());
        });
        if (view->viewport())
            view->viewport()->installEventFilter(m_guard);
    } else if (auto* slider = qobject_cast<QAbstractSlider*>(w)) {
        // Dragging reports the handle's position as "movevaluechanged"; the value counts once
        // the handle is released. Without tracking the value is committed after the release,
        // which then arrives as an ordinary value change.
        QObject::connect(slider, &QAbstractSlider::sliderMoved, m_guard,
                         [this, slider](int pos) { SendNotify(slider, kNotifyMoveValueChanged, pos); });
        QObject::connect(slider, &QAbstractSlider::valueChanged, m_guard, [this, slider](int v) {
            if (!slider->isSliderDown())
                SendNotify(slider, kNotifyValueChanged, v);
        });
        QObject::connect(slider, &QAbstractSlider::sliderReleased, m_guard, [this, slider] {
            if (slider->sliderPosition() == slider->value())
                SendNotify(slider, kNotifyValueChanged, slider->value());
        });
    } else if (auto* spin = qobject_cast<QSpinBox*>(w)) {
        QObject::connect(spin, &QSpinBox::valueChanged, m_guard,
                         [this, spin](int v) { SendNotify(spin, kNotifyValueChanged, v); });
    } else if (auto* dspin = qobject_cast<QDoubleSpinBox*>(w)) {
        QObject::connect(dspin, &QDoubleSpinBox::valueChanged, m_guard, [this, dspin](double v) {
            SendNotify(dspin, kNotifyValueChanged, static_cast<intptr_t>(std::lround(v)));
        });
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        QObject::connect(edit, &QLineEdit::textChanged, m_guard,
                         [this, edit] { SendNotify(edit, kNotifyTextChanged); });
        QObject::connect(edit, &QLineEdit::returnPressed, m_guard,
                         [this, edit] { SendNotify(edit, kNotifyReturn); });
    } else if (auto* text = qobject_cast<QTextEdit*>(w)) {
        QObject::connect(text, &QTextEdit::textChanged, m_guard,
                         [this, text] { SendNotify(text, kNotifyTextChanged); });
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
        QObject::connect(plain, &QPlainTextEdit::textChanged, m_guard,
                         [this, plain] { SendNotify(plain, kNotifyTextChanged); });
    }
}

bool PaintManager::SetTimer(QWidget* control, int id, int ms)
{
    if (!control || !m_guard || ms < 0)
        return false;
    const auto key = std::make_pair(control, id);
    QPointer<QTimer>& slot = m_timers[key];
    if (!slot) {
        // A child of the control, so it stops when the control goes away.
        slot = new QTimer(control);
        QObject::connect(slot.data(), &QTimer::timeout, m_guard,
                         [this, control, id] { SendNotify(control, kNotifyTimer, id); });
    }
    slot->start(ms);
    return true;
}

void PaintManager::KillTimer(QWidget* control, int id)
{
    auto it = m_timers.find(std::make_pair(control, id));
    if (it == m_timers.end())
        return;
    delete it->second.data();
    m_timers.erase(it);
}

void PaintManager::KillTimer(QWidget* control)
{
    for (auto it = m_timers.begin(); it != m_timers.end();) {
        if (it->first.first == control) {
            delete it->second.data();
            it = m_timers.erase(it);
        } else {
            ++it;
        }
    }
}

bool PaintManager::HasTimer(QWidget* control, int id) const
{
    auto it = m_timers.find(std::make_pair(control, id));
    return it != m_timers.end() && it->second && it->second->isActive();
}

QFont PaintManager::makeFont(const FontSpec& spec) const
{
    QFont f(spec.family);
    f.setPixelSize(std::max(1, scaled(spec.pixelSize, m_dpi / 96.0)));
    f.setBold(spec.bold);
    f.setUnderline(spec.underline);
    f.setItalic(spec.italic);
    return f;
}

void PaintManager::AddFont(int id, const QString& family, int pixelSize, bool bold, bool underline,
                           bool italic, bool sharedFont)
{
    FontSpec spec{family, pixelSize, bold, underline, italic};
    if (sharedFont) {
        shared().fonts[id] = makeFontUnscaled(spec);
        for (PaintManager* pm : g_managers)
            pm->ApplyFonts();
    } else {
        m_fonts[id] = spec;
        ApplyFonts();
    }
}

void PaintManager::SetDefaultFont(const QString& family, int pixelSize, bool bold, bool underline,
                                  bool italic, bool sharedFont)
{
    FontSpec spec{family, pixelSize, bold, underline, italic};
    if (sharedFont) {
        shared().defaultFont = makeFontUnscaled(spec);
        shared().hasDefault = true;
        for (PaintManager* pm : g_managers)
            pm->ApplyFonts();
    } else {
        m_defaultFont = spec;
        m_hasDefaultFont = true;
        ApplyFonts();
    }
}

QFont PaintManager::makeFontUnscaled(const FontSpec& spec)
{
    QFont f(spec.family);
    f.setPixelSize(std::max(1, spec.pixelSize));
    f.setBold(spec.bold);
    f.setUnderline(spec.underline);
    f.setItalic(spec.italic);
    return f;
}

QFont PaintManager::scaleFont(QFont f) const
{
    if (f.pixelSize() > 0)
        f.setPixelSize(std::max(1, scaled(f.pixelSize(), m_dpi / 96.0)));
    return f;
}

QFont PaintManager::GetDefaultFont() const
{
    if (m_hasDefaultFont)
        return makeFont(m_defaultFont);
    if (shared().hasDefault)
        return scaleFont(shared().defaultFont);
    return QApplication::font();
}

QFont PaintManager::GetFont(int id) const
{
    if (auto it = m_fonts.find(id); it != m_fonts.end())
        return makeFont(it->second);
    if (auto it = shared().fonts.find(id); it != shared().fonts.end())
        return scaleFont(it->second);
    return GetDefaultFont();
}

void PaintManager::RemoveAllFonts()
{
    m_fonts.clear();
    m_hasDefaultFont = false;
    shared().fonts.clear();
    shared().hasDefault = false;
}

void PaintManager::ApplyFonts(QWidget* root)
{
    if (!m_window)
        return;
    if (!root) {
        root = m_window;
        if (m_hasDefaultFont || shared().hasDefault)
            m_window->setFont(GetDefaultFont());
    }
    // A control whose font id nobody added keeps inheriting its window's font.
    auto applyOne = [this](QWidget* w) {
        const QVariant v = w->property("fontid");
        bool ok = false;
        const int id = v.toInt(&ok);
        if (!v.isValid() || !ok)
            return;
        if (m_fonts.count(id) || shared().fonts.count(id))
            w->setFont(GetFont(id));
    };
    applyOne(root);
    for (QWidget* w : root->findChildren<QWidget*>())
        applyOne(w);
}

void PaintManager::SetDPI(int dpi)
{
    // Scaling lays the window out at its skin size again; the same DPI once more must not undo
    // what the user did since (a maximised or resized window keeps its size).
    if (dpi <= 0 || !m_window || dpi == m_dpi)
        return;
    m_dpi = dpi;
    scaleTree(m_window, dpi / 96.0, true);
    ApplyFonts();
}

void PaintManager::SetAllDPI(int dpi)
{
    for (PaintManager* pm : g_managers)
        pm->SetDPI(dpi);
}

void PaintManager::scaleTree(QWidget* root, double factor, bool sizeRoot)
{
    // Every size is scaled from the value the skin gave it (kept on first use), so repeated DPI
    // changes never accumulate rounding.
    auto scaleWidget = [factor](QWidget* w) {
        if (!w->property(kBaseMinProperty).isValid()) {
            w->setProperty(kBaseMinProperty, w->minimumSize());
            w->setProperty(kBaseMaxProperty, w->maximumSize());
        }
        w->setMinimumSize(scaledSize(w->property(kBaseMinProperty).toSize(), factor, false));
        w->setMaximumSize(scaledSize(w->property(kBaseMaxProperty).toSize(), factor, true));
        // A button's icon (a device in the strip) grows with the button around it.
        if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            if (!b->property(kBaseIconProperty).isValid())
                b->setProperty(kBaseIconProperty, b->iconSize());
            b->setIconSize(scaledSize(b->property(kBaseIconProperty).toSize(), factor, false));
        }
        if (QLayout* layout = w->layout()) {
            if (!layout->property(kBaseMarginsProperty).isValid()) {
                const QMargins m = layout->contentsMargins();
                layout->setProperty(kBaseMarginsProperty,
                                    QVariantList{m.left(), m.top(), m.right(), m.bottom()});
                layout->setProperty(kBaseSpacingProperty, layout->spacing());
            }
            const QVariantList m = layout->property(kBaseMarginsProperty).toList();
            layout->setContentsMargins(scaled(m[0].toInt(), factor), scaled(m[1].toInt(), factor),
                                       scaled(m[2].toInt(), factor), scaled(m[3].toInt(), factor));
            const int spacing = layout->property(kBaseSpacingProperty).toInt();
            if (spacing > 0)
                layout->setSpacing(scaled(spacing, factor));
        }
    };
    // The skin size is taken before anything is scaled: a larger minimum size grows the window
    // at once, and that grown size is not the skin's.
    if (sizeRoot && !root->property(kBaseSizeProperty).isValid())
        root->setProperty(kBaseSizeProperty, root->size());
    scaleWidget(root);
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!w->isWindow())
            scaleWidget(w);
    }
    // A device picture places its keys through its own transform at the same scale.
    QList<CSelectPanelUI*> panels = root->findChildren<CSelectPanelUI*>();
    if (auto* self = qobject_cast<CSelectPanelUI*>(root))
        panels.push_back(self);
    for (CSelectPanelUI* panel : panels)
        panel->SetSkinScale(factor);
    if (!sizeRoot)
        return;
    if (!root->property(kBaseSizeProperty).isValid())
        root->setProperty(kBaseSizeProperty, root->size());
    const QSize base = root->property(kBaseSizeProperty).toSize();
    if (base.isValid() && !base.isEmpty())
        root->resize(scaledSize(base, factor, false));
}

void PaintManager::SelectOption(QWidget* option, bool selected, bool notify)
{
    auto* b = qobject_cast<QAbstractButton*>(option);
    if (!b)
        return;
    if (notify) {
        b->setChecked(selected);
        return;
    }
    std::vector<std::unique_ptr<QSignalBlocker>> blockers;
    for (QAbstractButton* other : exclusiveSet(b))
        blockers.push_back(std::make_unique<QSignalBlocker>(other));
    b->setChecked(selected);
}

void PaintManager::SelectComboItem(QWidget* combo, int index, bool notify)
{
    auto* c = qobject_cast<QComboBox*>(combo);
    if (!c)
        return;
    if (notify) {
        c->setCurrentIndex(index);
        return;
    }
    const QSignalBlocker block(c);
    c->setCurrentIndex(index);
    // The next real change reports this index as the previous one.
    c->setProperty(kComboIndexProperty, c->currentIndex());
}

void PaintManager::SelectListItem(QWidget* list, int index, bool notify)
{
    auto* view = qobject_cast<QAbstractItemView*>(list);
    if (!view || !view->model())
        return;
    auto select = [view, index] {
        if (auto* lw = qobject_cast<QListWidget*>(view)) {
            lw->setCurrentRow(index);
            return;
        }
        const QModelIndex i = view->model()->index(index, 0, view->rootIndex());
        if (i.isValid())
            view->setCurrentIndex(i);
        else if (view->selectionModel())
            view->selectionModel()->clearCurrentIndex();
    };
    if (notify) {
        select();
        return;
    }
    const QSignalBlocker blockView(view);
    std::unique_ptr<QSignalBlocker> blockSelection;
    if (view->selectionModel())
        blockSelection = std::make_unique<QSignalBlocker>(view->selectionModel());
    select();
}

void PaintManager::SetSliderValue(QWidget* slider, int value, bool notify)
{
    auto* s = qobject_cast<QAbstractSlider*>(slider);
    auto* spin = qobject_cast<QSpinBox*>(slider);
    if (!s && !spin)
        return;
    std::unique_ptr<QSignalBlocker> block;
    if (!notify)
        block = std::make_unique<QSignalBlocker>(slider);
    if (s)
        s->setValue(value);
    else
        spin->setValue(value);
}

void PaintManager::SetEditText(QWidget* edit, const QString& text, bool notify)
{
    if (!edit)
        return;
    std::unique_ptr<QSignalBlocker> block;
    if (!notify)
        block = std::make_unique<QSignalBlocker>(edit);
    if (auto* e = qobject_cast<QLineEdit*>(edit))
        e->setText(text);
    else if (auto* t = qobject_cast<QTextEdit*>(edit))
        t->setPlainText(text);
    else if (auto* p = qobject_cast<QPlainTextEdit*>(edit))
        p->setPlainText(text);
    else if (auto* l = qobject_cast<QLabel*>(edit))
        l->setText(text);
    else if (auto* b = qobject_cast<QAbstractButton*>(edit))
        b->setText(text);
}

void PaintManager::SetNumberOnly(QWidget* edit, bool numberOnly)
{
    auto* e = qobject_cast<QLineEdit*>(edit);
    if (!e)
        return;
    if (!numberOnly) {
        delete e->validator();
        e->setValidator(nullptr);
        return;
    }
    if (!qobject_cast<const QIntValidator*>(e->validator()))
        e->setValidator(new RangeValidator(0, std::numeric_limits<int>::max(), e));
}

void PaintManager::SetEditRange(QWidget* edit, int minValue, int maxValue)
{
    auto* e = qobject_cast<QLineEdit*>(edit);
    if (!e)
        return;
    SetNumberOnly(e, true);
    auto* v = const_cast<QIntValidator*>(qobject_cast<const QIntValidator*>(e->validator()));
    if (v)
        v->setRange(minValue, maxValue);
}

void PaintManager::SetMaxChar(QWidget* edit, int maxChars)
{
    if (auto* e = qobject_cast<QLineEdit*>(edit))
        e->setMaxLength(std::max(0, maxChars));
}

void PaintManager::SetResourcePath(const QString& skinFolder)
{
    g_resourcePath = skinFolder;
    while (g_resourcePath.size() > 1 && (g_resourcePath.endsWith('/') || g_resourcePath.endsWith('\\')))
        g_resourcePath.chop(1);
}

QString PaintManager::GetResourcePath()
{
    return g_resourcePath;
}

QIcon PaintManager::ResourceIcon(const QString& relative)
{
    // Never destroyed: icons must not outlive the application object in a static destructor.
    static auto* icons = new QHash<QString, QIcon>;
    const QString file = ResourceFile(relative);
    auto it = icons->constFind(file);
    if (it == icons->constEnd())
        it = icons->insert(file, QFile::exists(file) ? QIcon(file) : QIcon());
    return *it;
}

QString PaintManager::ResourceFile(const QString& relative)
{
    QString rel = relative;
    rel.replace('\\', '/');
    if (rel.startsWith('/') || g_resourcePath.isEmpty())
        return rel;
    return g_resourcePath + '/' + rel;
}

}  // namespace ui
