#include "ui/Language.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QTabWidget>
#include <QWidget>
#include <QXmlStreamReader>
#include <functional>
#include <vector>

#include "ui/UiLog.h"

namespace ui {

namespace {

// Item data roles that keep a combo item's text id and the text last shown for it.
constexpr int kTextIdRole = Qt::UserRole + 0x7E11;
constexpr int kShownTextRole = kTextIdRole + 1;
// Set on a control once its skin texts were taken as ids.
const char kMarkedProperty[] = "tessel_textids_marked";
// Set on a control once a caption was made its buddy.
const char kLabelledProperty[] = "tessel_label_linked";
// The accessible name derived here last, told apart from one that code set.
const char kDerivedNameProperty[] = "tessel_derived_accessible_name";

QByteArray shownKey(const char* idProperty)
{
    return QByteArray(idProperty) + "_shown";
}

}  // namespace

Language& Language::instance()
{
    static Language language;
    return language;
}

bool Language::LoadLanguage(const QString& xmlPath)
{
    QFile file(xmlPath);
    if (!file.open(QIODevice::ReadOnly)) {
        qCDebug(uiDebug) << "language file not readable:" << xmlPath;
        return false;
    }
    QHash<QString, QString> texts;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name().compare(QLatin1String("Text"), Qt::CaseInsensitive) != 0)
            continue;
        const QXmlStreamAttributes attrs = xml.attributes();
        const QString id = attrs.value(QLatin1String("id")).toString();
        if (!id.isEmpty())
            texts.insert(id, attrs.value(QLatin1String("value")).toString());
    }
    if (xml.hasError()) {
        qCDebug(uiDebug) << "language file not well-formed:" << xmlPath << xml.errorString();
        return false;
    }
    m_texts = std::move(texts);
    m_file = xmlPath;
    return true;
}

bool Language::SetLanguage(const QString& xmlPath)
{
    if (!LoadLanguage(xmlPath))
        return false;
    ReloadText();
    return true;
}

void Language::ReloadText()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        Apply(w);
}

QString Language::Text(const QString& id) const
{
    return m_texts.value(id, id);
}

namespace {

// One text-bearing property of an object: where its id is kept and how to read and show it.
struct TextSlot {
    QObject* owner;
    const char* idProperty;
    std::function<QString()> get;
    std::function<void(const QString&)> set;
};

std::vector<TextSlot> textSlots(QWidget* w)
{
    std::vector<TextSlot> found;
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        found.push_back({w, "textid", [b] { return b->text(); }, [b](const QString& t) { b->setText(t); }});
    else if (auto* l = qobject_cast<QLabel*>(w))
        found.push_back({w, "textid", [l] { return l->text(); }, [l](const QString& t) { l->setText(t); }});
    else if (auto* g = qobject_cast<QGroupBox*>(w))
        found.push_back({w, "titleid", [g] { return g->title(); }, [g](const QString& t) { g->setTitle(t); }});
    else if (auto* e = qobject_cast<QLineEdit*>(w))
        found.push_back({w, "placeholderid", [e] { return e->placeholderText(); },
                         [e](const QString& t) { e->setPlaceholderText(t); }});
    else if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
        for (int i = 0; i < tabs->count(); ++i)
            found.push_back({tabs->widget(i), "tabtextid", [tabs, i] { return tabs->tabText(i); },
                             [tabs, i](const QString& t) { tabs->setTabText(i, t); }});
    } else if (auto* menu = qobject_cast<QMenu*>(w)) {
        for (QAction* a : menu->actions()) {
            if (!a->isSeparator())
                found.push_back({a, "textid", [a] { return a->text(); }, [a](const QString& t) { a->setText(t); }});
        }
    }
    found.push_back({w, "tooltipid", [w] { return w->toolTip(); }, [w](const QString& t) { w->setToolTip(t); }});
    found.push_back({w, "windowtitleid", [w] { return w->windowTitle(); },
                     [w](const QString& t) { w->setWindowTitle(t); }});
    found.push_back({w, "accessiblenameid", [w] { return w->accessibleName(); },
                     [w](const QString& t) { w->setAccessibleName(t); }});
    return found;
}

void markSlot(const TextSlot& slot)
{
    const QString text = slot.get();
    if (text.isEmpty() || slot.owner->property(slot.idProperty).isValid())
        return;
    slot.owner->setProperty(slot.idProperty, text);
    slot.owner->setProperty(shownKey(slot.idProperty).constData(), text);
}

// Shows the text of the slot's id (or of `forcedId`, which becomes its id). Text that code set
// since the id was last shown (differs from what was shown) is plain: the id is dropped and the
// text stays.
void resolveSlot(const TextSlot& slot, const Language& lang, const QString& forcedId = QString())
{
    QObject* o = slot.owner;
    const QByteArray shown = shownKey(slot.idProperty);
    const QString current = slot.get();
    QString id = forcedId;
    if (id.isEmpty()) {
        id = o->property(slot.idProperty).toString();
        if (id.isEmpty())
            return;
        if (current != o->property(shown.constData()).toString()) {
            o->setProperty(slot.idProperty, QVariant());
            o->setProperty(shown.constData(), QVariant());
            return;
        }
    }
    const QString text = lang.Text(id);
    o->setProperty(slot.idProperty, id);
    o->setProperty(shown.constData(), text);
    if (text != current)
        slot.set(text);
}

// Controls a user can reach with the mouse or the keyboard; labels and containers are not.
bool isReachable(const QWidget* w)
{
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QComboBox*>(w)
        || qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractSlider*>(w)
        || qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QAbstractItemView*>(w)
        || (w->focusPolicy() & Qt::TabFocus);
}

}  // namespace

void Language::MarkTextIds(QWidget* control)
{
    if (!control || control->property(kMarkedProperty).toBool())
        return;
    control->setProperty(kMarkedProperty, true);
    for (const TextSlot& slot : textSlots(control))
        markSlot(slot);
    if (auto* c = qobject_cast<QComboBox*>(control)) {
        for (int i = 0; i < c->count(); ++i) {
            const QString text = c->itemText(i);
            if (text.isEmpty() || c->itemData(i, kTextIdRole).isValid())
                continue;
            c->setItemData(i, text, kTextIdRole);
            c->setItemData(i, text, kShownTextRole);
        }
    }
}

void Language::Apply(QWidget* root)
{
    if (!root)
        return;
    applyOne(root);
    const QList<QWidget*> all = root->findChildren<QWidget*>();
    for (QWidget* w : all)
        applyOne(w);
    for (QWidget* w : all)
        linkLabel(w);
}

void Language::linkLabel(QWidget* w)
{
    // A control named by the same text id as a caption near it (in its parent or a little
    // further up) is that caption's buddy: a screen reader then reads the caption as the
    // control's label, and the caption's mnemonic focuses it.
    const QString id = w->property("accessiblenameid").toString();
    if (id.isEmpty() || qobject_cast<QLabel*>(w) || w->property(kLabelledProperty).toBool())
        return;
    QWidget* scope = w->parentWidget();
    for (int up = 0; scope && up < 3 && !scope->isWindow(); ++up, scope = scope->parentWidget()) {
        for (QLabel* label : scope->findChildren<QLabel*>()) {
            if (label->buddy() || label->property("textid").toString() != id)
                continue;
            label->setBuddy(w);
            w->setProperty(kLabelledProperty, true);
            return;
        }
    }
}

void Language::applyOne(QWidget* w)
{
    for (const TextSlot& slot : textSlots(w))
        resolveSlot(slot, *this);
    if (auto* c = qobject_cast<QComboBox*>(w)) {
        bool renamed = false;
        for (int i = 0; i < c->count(); ++i) {
            const QString id = c->itemData(i, kTextIdRole).toString();
            if (id.isEmpty())
                continue;
            const QString current = c->itemText(i);
            if (current != c->itemData(i, kShownTextRole).toString()) {
                c->setItemData(i, QVariant(), kTextIdRole);  // code renamed the item: plain
                c->setItemData(i, QVariant(), kShownTextRole);
                continue;
            }
            const QString text = Text(id);
            c->setItemData(i, text, kShownTextRole);
            if (text != current) {
                c->setItemText(i, text);
                renamed = true;
            }
        }
        // A combo sized to its items when first shown keeps that width: the items of another
        // language would be cut. Setting the policy again makes it measure them anew.
        if (renamed && c->sizeAdjustPolicy() != QComboBox::AdjustToContents) {
            const QComboBox::SizeAdjustPolicy policy = c->sizeAdjustPolicy();
            c->setSizeAdjustPolicy(QComboBox::AdjustToContents);
            c->setSizeAdjustPolicy(policy);
        }
    }
    applyAccessibleName(w);
}

void Language::applyAccessibleName(QWidget* w)
{
    if (!isReachable(w) || w->property("accessiblenameid").isValid())
        return;
    // An accessible name that code gave the control (not the one derived here last) stays.
    const QString own = w->accessibleName();
    if (!own.isEmpty() && own != w->property(kDerivedNameProperty).toString())
        return;
    QString name;
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        name = b->text();
    if (name.isEmpty())
        name = w->toolTip();
    if (name.isEmpty()) {
        if (auto* e = qobject_cast<QLineEdit*>(w))
            name = e->placeholderText();
    }
    name.remove(QRegularExpression(QStringLiteral("&(?!&)")));  // mnemonic markers are not read out
    w->setProperty(kDerivedNameProperty, name);
    if (name != own)
        w->setAccessibleName(name);
}

void Language::SetItemTextId(QComboBox* combo, int index, const QString& id)
{
    if (!combo || index < 0 || index >= combo->count() || id.isEmpty())
        return;
    const QString text = Text(id);
    combo->setItemData(index, id, kTextIdRole);
    combo->setItemData(index, text, kShownTextRole);
    if (combo->itemText(index) != text)
        combo->setItemText(index, text);
}

void Language::SetTextId(QWidget* control, const QString& id)
{
    if (!control || id.isEmpty())
        return;
    // The control's own text (a button's or label's text, a group's title, an edit's
    // place-holder); a window without one takes it as its title.
    for (const TextSlot& slot : textSlots(control)) {
        const QByteArray property(slot.idProperty);
        const bool own = slot.owner == control
            && (property == "textid" || property == "titleid" || property == "placeholderid"
                || (property == "windowtitleid" && control->isWindow()));
        if (own) {
            resolveSlot(slot, *this, id);
            applyAccessibleName(control);
            return;
        }
    }
}

void Language::SetToolTipId(QWidget* control, const QString& id)
{
    if (!control || id.isEmpty())
        return;
    // The id names the control as well (both follow a language switch).
    for (const TextSlot& slot : textSlots(control)) {
        const QByteArray property(slot.idProperty);
        if (slot.owner == control && (property == "tooltipid" || property == "accessiblenameid"))
            resolveSlot(slot, *this, id);
    }
}

}  // namespace ui
