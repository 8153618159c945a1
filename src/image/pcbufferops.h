// The buffer's operations: clearing it, naming its file, its used length.
// Its queries come with them.
#pragma once

#include <string>

#include "image/pcbufferquery.h"
#include "session/session.h"

namespace vx {

void ClearPcBuffer(Session& s);
// The window title names the file whose content the image holds, and no file
// ("" here) once the image is cleared, read from a chip or rebuilt without one.
void ShowImageFile(Session& s, const std::string& path);
void UsedProgramLength(Session& s);  // sets buffer.usedLength and its bytes

}  // namespace vx
