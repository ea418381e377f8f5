#include "ui/ControlFactory.h"

namespace ui {

ControlFactory& ControlFactory::instance()
{
    static ControlFactory factory;
    return factory;
}

void ControlFactory::RegistControl(const QString& className, Creator creator)
{
    if (className.isEmpty() || !creator)
        return;
    m_creators.insert(className.toLower(), std::move(creator));
}

QWidget* ControlFactory::Create(const QString& className, QWidget* parent) const
{
    auto it = m_creators.constFind(className.toLower());
    if (it == m_creators.constEnd())
        return nullptr;
    return (*it)(parent);
}

bool ControlFactory::has(const QString& className) const
{
    return m_creators.contains(className.toLower());
}

void ControlFactory::Unregister(const QString& className)
{
    m_creators.remove(className.toLower());
}

}  // namespace ui
