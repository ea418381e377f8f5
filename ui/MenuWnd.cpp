#include "ui/MenuWnd.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QIcon>

#include "ui/UiLog.h"
#include "ui/Language.h"
#include "ui/Notify.h"
#include "ui/PaintManager.h"
#include "ui/WindowImplBase.h"

namespace ui {

namespace {

bool isItemTag(const QString& tag)
{
    return tag.compare(QLatin1String("MenuElement"), Qt::CaseInsensitive) == 0
        || tag.compare(QLatin1String("Item"), Qt::CaseInsensitive) == 0
        || tag.compare(QLatin1String("MenuItem"), Qt::CaseInsensitive) == 0;
}

bool flag(const QDomElement& e, const char* attr, bool fallback)
{
    if (!e.hasAttribute(QLatin1String(attr)))
        return fallback;
    const QString v = e.attribute(QLatin1String(attr)).trimmed().toLower();
    return v == QLatin1String("true") || v == QLatin1String("1");
}

bool hasItemChildren(const QDomElement& e)
{
    for (QDomElement c = e.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (isItemTag(c.tagName()))
            return true;
    }
    return false;
}

}  // namespace

MenuWnd::MenuWnd(WindowImplBase* owner, QWidget* parent) : QMenu(parent), m_owner(owner) {}

bool MenuWnd::Load(const QString& xmlFile)
{
    const QString path = QDir::isAbsolutePath(xmlFile) ? xmlFile : PaintManager::ResourceFile(xmlFile);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCDebug(uiDebug) << "menu file not readable:" << path;
        return false;
    }
    QDomDocument doc;
    if (!doc.setContent(&file)) {
        qCDebug(uiDebug) << "menu file not well-formed:" << path;
        return false;
    }
    Language& lang = Language::instance();
    std::function<void(QMenu*, const QDomElement&)> build = [&](QMenu* menu, const QDomElement& parent) {
        for (QDomElement e = parent.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
            if (e.tagName().compare(QLatin1String("Separator"), Qt::CaseInsensitive) == 0) {
                menu->addSeparator();
                continue;
            }
            if (!isItemTag(e.tagName()))
                continue;
            const QString name = e.attribute(QStringLiteral("name"));
            const QString textId = e.attribute(QStringLiteral("text"));
            QAction* action = nullptr;
            if (hasItemChildren(e)) {
                QMenu* sub = menu->addMenu(lang.Text(textId));
                action = sub->menuAction();
                build(sub, e);
            } else {
                action = menu->addAction(lang.Text(textId));
                action->setCheckable(flag(e, "checkable", false) || e.hasAttribute(QStringLiteral("checked")));
                action->setChecked(flag(e, "checked", false));
                connect(action, &QAction::triggered, this, [this, action] { Choose(action); });
            }
            action->setObjectName(name);
            // Lets a language switch relabel the item.
            action->setProperty("textid", textId);
            action->setProperty("textid_shown", action->text());
            action->setEnabled(flag(e, "enabled", true));
            action->setVisible(flag(e, "visible", true));
            if (e.hasAttribute(QStringLiteral("icon")))
                action->setIcon(PaintManager::ResourceIcon(e.attribute(QStringLiteral("icon"))));
        }
    };
    build(this, doc.documentElement());
    return true;
}

QAction* MenuWnd::FindItem(const QString& name) const
{
    if (name.isEmpty())
        return nullptr;
    return findChild<QAction*>(name);
}

void MenuWnd::Choose(QAction* action)
{
    if (!action)
        return;
    m_chosen = action->objectName();
    if (!m_owner)
        return;
    MenuCmd cmd{m_chosen, action->property("textid").toString(), action->isChecked()};
    m_owner->PM().SendNotify(this, kNotifyMenu, kMenuCommand, reinterpret_cast<intptr_t>(&cmd));
}

MenuWnd* MenuWnd::Popup(const QString& xmlFile, QPoint at, WindowImplBase* owner)
{
    if (owner) {
        for (MenuWnd* old : owner->findChildren<MenuWnd*>(Qt::FindDirectChildrenOnly)) {
            old->close();
            old->deleteLater();
        }
    }
    auto* menu = new MenuWnd(owner, owner);
    if (!menu->Load(xmlFile)) {
        delete menu;
        return nullptr;
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(at);  // QMenu keeps the popup on the screen
    return menu;
}

}  // namespace ui
