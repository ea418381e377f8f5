#include "ui/Language.h"

#include <QAbstractButton>
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

#include "hid/DebugLog.h"

namespace ui {

namespace {

// Item data role that keeps a combo item's text id.
constexpr int kTextIdRole = Qt::UserRole + 0x7E11;

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
        qCDebug(tesselDebug) << "language file not readable:" << xmlPath;
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
        qCDebug(tesselDebug) << "language file not well-formed:" << xmlPath << xml.errorString();
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

bool Language::LooksLikeId(const QString& text) const
{
    static const QRegularExpression idShape(QStringLiteral("^[A-Za-z0-9]+(_[A-Za-z0-9]+)+$"));
    return m_texts.contains(text) || idShape.match(text).hasMatch();
}

void Language::Apply(QWidget* root)
{
    if (!root)
        return;
    applyOne(root);
    for (QWidget* w : root->findChildren<QWidget*>())
        applyOne(w);
}

// One text-bearing property of an object: the id stays in `idProperty`, the text last shown for
// it in `idProperty`_shown. Text that code set since then (differs from what was shown) is taken
// as the new content: an id again if it looks like one, else plain text that drops the id.
static void resolveText(QObject* o, const char* idProperty, const std::function<QString()>& get,
                        const std::function<void(const QString&)>& set, const Language& lang,
                        const QString& forcedId = QString())
{
    const QByteArray shown = shownKey(idProperty);
    const QString current = get();
    QString id = forcedId;
    if (id.isEmpty()) {
        id = o->property(idProperty).toString();
        if (id.isEmpty() || current != o->property(shown.constData()).toString()) {
            if (!current.isEmpty() && lang.LooksLikeId(current)) {
                id = current;
            } else {
                if (!id.isEmpty()) {
                    o->setProperty(idProperty, QVariant());
                    o->setProperty(shown.constData(), QVariant());
                }
                return;
            }
        }
    }
    const QString text = lang.Text(id);
    o->setProperty(idProperty, id);
    o->setProperty(shown.constData(), text);
    if (text != current)
        set(text);
}

void Language::applyOne(QWidget* w)
{
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        resolveText(w, "textid", [b] { return b->text(); }, [b](const QString& t) { b->setText(t); }, *this);
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        resolveText(w, "textid", [l] { return l->text(); }, [l](const QString& t) { l->setText(t); }, *this);
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        resolveText(w, "titleid", [g] { return g->title(); }, [g](const QString& t) { g->setTitle(t); }, *this);
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        resolveText(w, "placeholderid", [e] { return e->placeholderText(); },
                    [e](const QString& t) { e->setPlaceholderText(t); }, *this);
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        for (int i = 0; i < c->count(); ++i) {
            QString id = c->itemData(i, kTextIdRole).toString();
            const QString current = c->itemText(i);
            if (id.isEmpty() || current != c->itemData(i, kTextIdRole + 1).toString()) {
                if (!LooksLikeId(current))
                    continue;
                id = current;
            }
            const QString text = Text(id);
            c->setItemData(i, id, kTextIdRole);
            c->setItemData(i, text, kTextIdRole + 1);
            if (text != current)
                c->setItemText(i, text);
        }
    } else if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
        for (int i = 0; i < tabs->count(); ++i) {
            QWidget* page = tabs->widget(i);
            resolveText(page, "tabtextid", [tabs, i] { return tabs->tabText(i); },
                        [tabs, i](const QString& t) { tabs->setTabText(i, t); }, *this);
        }
    } else if (auto* menu = qobject_cast<QMenu*>(w)) {
        for (QAction* a : menu->actions()) {
            if (a->isSeparator())
                continue;
            resolveText(a, "textid", [a] { return a->text(); }, [a](const QString& t) { a->setText(t); }, *this);
        }
    }
    if (!w->toolTip().isEmpty() || w->property("tooltipid").isValid())
        resolveText(w, "tooltipid", [w] { return w->toolTip(); }, [w](const QString& t) { w->setToolTip(t); }, *this);
    if (w->isWindow())
        resolveText(w, "windowtitleid", [w] { return w->windowTitle(); },
                    [w](const QString& t) { w->setWindowTitle(t); }, *this);
}

void Language::SetTextId(QWidget* control, const QString& id)
{
    if (!control || id.isEmpty())
        return;
    if (auto* b = qobject_cast<QAbstractButton*>(control))
        resolveText(control, "textid", [b] { return b->text(); }, [b](const QString& t) { b->setText(t); }, *this, id);
    else if (auto* l = qobject_cast<QLabel*>(control))
        resolveText(control, "textid", [l] { return l->text(); }, [l](const QString& t) { l->setText(t); }, *this, id);
    else if (auto* g = qobject_cast<QGroupBox*>(control))
        resolveText(control, "titleid", [g] { return g->title(); }, [g](const QString& t) { g->setTitle(t); }, *this, id);
    else if (auto* e = qobject_cast<QLineEdit*>(control))
        resolveText(control, "placeholderid", [e] { return e->placeholderText(); },
                    [e](const QString& t) { e->setPlaceholderText(t); }, *this, id);
    else if (control->isWindow())
        resolveText(control, "windowtitleid", [control] { return control->windowTitle(); },
                    [control](const QString& t) { control->setWindowTitle(t); }, *this, id);
}

}  // namespace ui
