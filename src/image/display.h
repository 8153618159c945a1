// The dumps and the ID/configuration display of the main window. The dumps
// are built in memory (lines end in '\n'); the 0xA5 filler character of the
// dump files is U+FF65.
#pragma once

#include "session/session.h"

namespace vx {

void RefreshProgramMemoryText(Session& s);
void RefreshEepromText(Session& s);
void RefreshIdConfigDisplay(Session& s);

// Text_Config clicked: hex digits <-> bits, with its note.
void ToggleConfigDisplay(Session& s);

// "11 1111 1111 0001" for 0x3FF1: the 14 low bits in groups 13..12, 11..8, 7..4, 3..0.
std::string ConfigBitsText(int word);

}  // namespace vx
