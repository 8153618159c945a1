// The values a user types into the question for lost chip values, judged
// before the question closes, so a mistyped value can be typed again.
#pragma once

#include <string>

#include "base/seams.h"
#include "session/session.h"

namespace vx {

// What is wrong with the typed values of the selected device's family, one
// line each (CR LF between); "" when every asked value is of its form.
std::string ChipValueEntryProblem(const Session& s, const ChipValueQuestion& question, const ChipValueAnswer& answer);

}  // namespace vx
