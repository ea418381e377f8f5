#include "editors/ProfileEditorClasses.h"

#include "editors/CDeviceProfileUI.h"
#include "editors/CLightControlUI.h"
#include "editors/CShootControlUI.h"
#include "ui/ControlFactory.h"

namespace editors {

void RegisterProfileEditorClasses()
{
    auto& factory = ui::ControlFactory::instance();
    factory.RegistControl(QStringLiteral("CDeviceProfileUI"), [](QWidget* p) { return new CDeviceProfileUI(p); });
    factory.RegistControl(QStringLiteral("CShootControlUI"), [](QWidget* p) { return new CShootControlUI(p); });
    // The lighting panel and its colour field, by class and by skin name.
    for (const char* name : {"CLightControlUI", CLightControlUI::kClassName})
        factory.RegistControl(QLatin1String(name), [](QWidget* p) { return new CLightControlUI(p); });
    for (const char* name : {"CColorPaletteUI", CColorPaletteUI::kClassName})
        factory.RegistControl(QLatin1String(name), [](QWidget* p) { return new CColorPaletteUI(p); });
}

}  // namespace editors
