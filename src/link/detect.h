// Finding and checking the programmer board.
#pragma once

#include <string>

#include "app/session.h"

namespace vx {

void DetectBoard(Session& s);
std::string CheckBoard(Session& s);  // "OK" or "NG"

}  // namespace vx
