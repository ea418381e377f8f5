#include "ui/Builder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QXmlStreamReader>
#include <utility>

#include "ui/UiLog.h"
#include "ui/ControlFactory.h"
#include "ui/Language.h"
#include "ui/PaintManager.h"
#include "ui/WindowImplBase.h"

namespace ui {

// Qt's loader loads every Qt Designer plugin of the plugin folders when it is made (the
// QQuickWidget one brings the whole of Qt Quick and QML). The skin uses no plugin widget, so the
// folders are hidden while a loader is made: that saves start-up time and memory.
class DesignerPluginsHidden {
public:
    DesignerPluginsHidden() : m_paths(QCoreApplication::libraryPaths())
    {
        QCoreApplication::setLibraryPaths({});
    }
    ~DesignerPluginsHidden() { QCoreApplication::setLibraryPaths(m_paths); }
    DesignerPluginsHidden(const DesignerPluginsHidden&) = delete;
    DesignerPluginsHidden& operator=(const DesignerPluginsHidden&) = delete;

private:
    QStringList m_paths;
};

namespace {

const QSet<QString>& qtWidgetClasses()
{
    static const QSet<QString> classes = [] {
        const DesignerPluginsHidden hidden;
        QUiLoader loader;
        const QStringList list = loader.availableWidgets();
        return QSet<QString>(list.begin(), list.end());
    }();
    return classes;
}

}  // namespace

Builder::Builder(WindowImplBase* callback) : Builder(std::make_unique<DesignerPluginsHidden>(), callback) {}

Builder::Builder(std::unique_ptr<DesignerPluginsHidden> hidden, WindowImplBase* callback)
    : QUiLoader(callback), m_callback(callback)
{
    hidden.reset();  // the loader is made: the plugin folders are back for everything else
}

QWidget* Builder::Create(const QString& relativeUiFile, QWidget* parent)
{
    if (relativeUiFile.isEmpty())
        return nullptr;
    return CreateFromFile(PaintManager::ResourceFile(relativeUiFile), parent);
}

QWidget* Builder::CreateFromFile(const QString& path, QWidget* parent)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCDebug(uiDebug) << "skin file not readable:" << path;
        return nullptr;
    }
    // Images and other files named in the .ui resolve against the file's own folder.
    setWorkingDirectory(QFileInfo(path).absoluteDir());
    m_built.clear();
    QWidget* root = load(&file, parent);
    const QList<QPointer<QWidget>> built = std::exchange(m_built, {});
    if (!root) {
        qCDebug(uiDebug) << "skin file not built:" << path << errorString();
        return nullptr;
    }
    Language& language = Language::instance();
    for (QWidget* w : built)
        language.MarkTextIds(w);
    language.Apply(root);
    if (m_callback)
        m_callback->PM().Wire(root);
    return root;
}

bool Builder::BuildInto(const QString& relativeUiFile, QWidget* root)
{
    if (!root || relativeUiFile.isEmpty())
        return false;
    m_root = root;
    QWidget* built = Create(relativeUiFile, nullptr);
    const bool taken = !m_root;
    m_root.clear();
    return built == root && taken;
}

QString Builder::TopLevelClass(const QString& relativeUiFile)
{
    QFile file(PaintManager::ResourceFile(relativeUiFile));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QXmlStreamReader xml(&file);
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("widget"))
            return xml.attributes().value(QLatin1String("class")).toString();
        if (xml.name() != QLatin1String("ui"))
            xml.skipCurrentElement();
    }
    return {};
}

QWidget* Builder::createWidget(const QString& className, QWidget* parent, const QString& name)
{
    if (m_root && !parent) {
        // BuildInto's object stands for the file's top level; it stays where it is.
        QWidget* root = m_root;
        m_root.clear();
        root->setObjectName(name);
        m_built.append(root);
        return root;
    }
    QWidget* w = m_callback ? m_callback->CreateControl(className) : nullptr;
    if (!w)
        w = ControlFactory::instance().Create(className, parent);
    if (w) {
        if (w->parentWidget() != parent)
            w->setParent(parent);
        w->setObjectName(name);
        m_built.append(w);
        return w;
    }
    // Qt's loader would build a promoted class as its base class; an unknown class yields no
    // control instead, so a missing registration shows as a missing control.
    if (!qtWidgetClasses().contains(className)) {
        qCDebug(uiDebug) << "unknown control class in skin:" << className << name;
        return nullptr;
    }
    w = QUiLoader::createWidget(className, parent, name);
    if (w)
        m_built.append(w);
    return w;
}

}  // namespace ui
