// What the differing words of a failed verify have in common: programming
// only clears bits, so a chip that holds 0 where the file has 1 was written
// before, and one that holds 1 where the file has 0, or reads 0, did not take
// the write or cannot be read.
#pragma once

#include <array>
#include <vector>

#include "ops/boardops.h"

namespace vx {

enum class DifferencePattern {
    None,       // no differences, or both kinds
    NotErased,  // only cleared bits: not erased, or a one-time part already programmed
    NotTaken,   // bits the write could not clear, or 0 read: protected, wrong part or bad contact
};

DifferingWords CountDifferences(const std::vector<Difference>& differences);
DifferencePattern PatternOf(const std::array<DifferingWords, 3>& areas);

}  // namespace vx
