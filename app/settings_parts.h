// Hands the window the inspector and the quality drop-down's controller, wired to its controls,
// its settings and its conversion component.
#pragma once

#include "app/window_parts.h"

namespace quillotone {

struct MainWindowParts;

// Sets parts.createInspector and parts.createQualityChoices.
void AddSettingsParts(MainWindowParts& parts);

} // namespace quillotone
