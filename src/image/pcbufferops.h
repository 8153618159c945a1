#pragma once

#include <string>

#include "app/session.h"

namespace vx {

void ClearPcBuffer(Session& s);
std::string PcBufferChecksum(const Session& s);  // four upper-case hex digits
void UsedProgramLength(Session& s);              // sets buffer.usedLength and its bytes

}  // namespace vx
