#pragma once

namespace editors {

// Registers the profile panel and the shoot editor with the control factory ("CDeviceProfileUI",
// "CShootControlUI"), so that page skins that name them build them.
void RegisterProfileEditorClasses();

}  // namespace editors
