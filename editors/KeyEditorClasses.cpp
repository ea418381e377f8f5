#include "editors/KeyEditorClasses.h"

#include "editors/CKeySetControlUI.h"
#include "editors/CMacroControlUI.h"
#include "ui/ControlFactory.h"

namespace editors {

void RegisterKeyEditorClasses()
{
    auto& factory = ui::ControlFactory::instance();
    factory.RegistControl(QStringLiteral("CKeySetControlUI"), [](QWidget* p) { return new CKeySetControlUI(p); });
    factory.RegistControl(QStringLiteral("CMacroControlUI"), [](QWidget* p) { return new CMacroControlUI(p); });
}

}  // namespace editors
