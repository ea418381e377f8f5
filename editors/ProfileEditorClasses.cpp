#include "editors/ProfileEditorClasses.h"

#include "editors/CDeviceProfileUI.h"
#include "editors/CShootControlUI.h"
#include "ui/ControlFactory.h"

namespace editors {

void RegisterProfileEditorClasses()
{
    auto& factory = ui::ControlFactory::instance();
    factory.RegistControl(QStringLiteral("CDeviceProfileUI"), [](QWidget* p) { return new CDeviceProfileUI(p); });
    factory.RegistControl(QStringLiteral("CShootControlUI"), [](QWidget* p) { return new CShootControlUI(p); });
}

}  // namespace editors
