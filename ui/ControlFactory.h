#pragma once

#include <QHash>
#include <QString>
#include <QWidget>
#include <functional>

namespace ui {

// Class name -> creator of the application's own controls, filled at start-up and consulted by
// ui::Builder. Names compare without regard to case. UI thread only.
class ControlFactory {
public:
    using Creator = std::function<QWidget*(QWidget* parent)>;

    static ControlFactory& instance();

    // Registers (or replaces) the creator of className; an empty name or creator is ignored.
    void RegistControl(const QString& className, Creator creator);
    // A new control of className under parent; null when the class is not registered or the
    // creator returned null.
    QWidget* Create(const QString& className, QWidget* parent) const;
    bool has(const QString& className) const;
    void Unregister(const QString& className);

private:
    ControlFactory() = default;
    QHash<QString, Creator> m_creators;  // keyed by the lower-case name
};

}  // namespace ui
