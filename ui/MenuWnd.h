#pragma once

#include <QMenu>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <cstdint>

class WindowImplBase;

namespace ui {

// Marker in the wParam of the "menu" notification a popup sends (the custom-message number
// of a menu command).
inline constexpr intptr_t kMenuCommand = 0x0479;

// The item chosen in a popup; the "menu" notification's lParam points to it during the call.
struct MenuCmd {
    QString name;   // the item's "name"
    QString text;   // its text id
    bool checked = false;
};

// A popup menu built from a menu XML file of the skin folder:
//   <Menu>
//     <MenuElement name="exit" text="menu_exit"/>          (also <Item .../>)
//     <MenuElement name="more" text="menu_more"> ... </MenuElement>   (a sub-menu)
//     <Separator/>
//   </Menu>
// Optional attributes: "checkable"/"checked" ("true"/"1"), "enabled"/"visible" ("false"/"0"),
// "icon" (image file relative to the skin folder). "text" is a text id resolved through
// ui::Language. Each item is a QAction whose objectName is its name.
class MenuWnd : public QMenu {
    Q_OBJECT
public:
    explicit MenuWnd(WindowImplBase* owner, QWidget* parent = nullptr);

    // Adds the items of the file (relative to the skin folder, or absolute); false when the file
    // cannot be read or parsed.
    bool Load(const QString& xmlFile);
    QAction* FindItem(const QString& name) const;
    // The name of the item chosen last (empty before).
    QString ChosenName() const { return m_chosen; }

    // Builds the menu of xmlFile, pops it at `at` (global, kept on screen) and returns at once;
    // choosing an item sends "menu" to owner's Notify (sender the menu, wParam kMenuCommand,
    // lParam a const MenuCmd*). The menu deletes itself when it closes. Returns the menu, null
    // when the file could not be loaded. A previous popup of the same owner is closed first.
    static MenuWnd* Popup(const QString& xmlFile, QPoint at, WindowImplBase* owner);
    // Delivers the choice of `action` to the owner as Popup does (tests call it directly).
    void Choose(QAction* action);

private:
    QPointer<WindowImplBase> m_owner;
    QString m_chosen;
};

}  // namespace ui
