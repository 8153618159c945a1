// The question of Program when a chip's factory calibration word or band-gap
// bits are lost and the session knows none: enter them, take the
// database's default, or stop (the default button).
#pragma once

#include <functional>
#include <string>

#include "base/seams.h"

class QWidget;

namespace vx {

// What is wrong with typed values ("" = nothing): "入力した値で続ける" with a
// problem shows it in the dialog, which stays open.
using ChipValueCheck = std::function<std::string(const ChipValueQuestion&, const ChipValueAnswer&)>;

ChipValueAnswer AskChipValues(QWidget* parent, const ChipValueQuestion& question, const ChipValueCheck& check = {});

}  // namespace vx
