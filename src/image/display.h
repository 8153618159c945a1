// The dumps and the ID/configuration display of the main window.
#pragma once

#include "app/session.h"

namespace vx {

void RefreshProgramMemoryText(Session& s);
void RefreshEepromText(Session& s);
void RefreshIdConfigDisplay(Session& s);

}  // namespace vx
