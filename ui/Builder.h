#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QUiLoader>

#include <memory>

class WindowImplBase;

namespace ui {

// Builds a window's skin or a sub-tree from a Qt Designer .ui file of the skin folder.
// Each class name in the file is created by, in order: the callback window's CreateControl,
// the ControlFactory (both compared without regard to case), Qt's own widget classes. A class
// none of them knows yields no control (its subtree is skipped); a promoted widget does not
// fall back to its base class. With a callback window, the built tree is wired to that window's
// notifications. Every text the file gives a control it lists is a text id (ui::Language), resolved
// at once and again on a language switch; texts that code or a control's own constructor set are
// not taken as ids.
class DesignerPluginsHidden;

class Builder : public QUiLoader {
    Q_OBJECT
public:
    explicit Builder(WindowImplBase* callback = nullptr);

    // `relativeUiFile` is relative to PaintManager::GetResourcePath() (either slash). Null when
    // the file is missing or unreadable, or its top-level class is unknown.
    QWidget* Create(const QString& relativeUiFile, QWidget* parent);
    // The same from an absolute path (tests, files outside the skin folder).
    QWidget* CreateFromFile(const QString& path, QWidget* parent);
    // Builds the file's tree into `root`, an object of the file's top-level class made
    // earlier (a page whose object had to exist before its controls were wanted): the file's
    // properties, children and layout go to `root`, which keeps its parent. The caller made
    // `root` from the file's top-level class (TopLevelClass). False when the file is missing or
    // unreadable.
    bool BuildInto(const QString& relativeUiFile, QWidget* root);
    // The class name of the top-level widget of a .ui file of the skin folder (empty when the
    // file cannot be read), without building anything.
    static QString TopLevelClass(const QString& relativeUiFile);

    QWidget* createWidget(const QString& className, QWidget* parent = nullptr,
                          const QString& name = QString()) override;

private:
    // Keeps the designer plugins from being loaded while the base loader is made.
    Builder(std::unique_ptr<DesignerPluginsHidden> hidden, WindowImplBase* callback);

    WindowImplBase* m_callback;
    // The object BuildInto hands the loader as the file's top-level widget.
    QPointer<QWidget> m_root;
    // Every control made from the file being loaded: their texts are the skin's text ids.
    QList<QPointer<QWidget>> m_built;
};

}  // namespace ui
