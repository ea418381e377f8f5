#pragma once

namespace editors {

// Registers the key assignment and macro panels with the control factory.
void RegisterKeyEditorClasses();

}  // namespace editors
