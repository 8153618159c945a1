// The question of Program when a chip's factory calibration word or band-gap
// bits are lost and the session knows none: enter them, take the
// database's default, or stop (the default button).
#pragma once

#include "base/seams.h"

class QWidget;

namespace vx {

ChipValueAnswer AskChipValues(QWidget* parent, const ChipValueQuestion& question);

}  // namespace vx
