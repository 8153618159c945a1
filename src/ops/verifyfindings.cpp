#include "ops/verifyfindings.h"

namespace vx {

DifferingWords CountDifferences(const std::vector<Difference>& differences) {
    DifferingWords count;
    for (const Difference& d : differences) {
        ++count.words;
        if ((d.found & ~d.expected) == 0)
            ++count.onlyCleared;
        if (d.found == 0)
            ++count.readZero;
    }
    return count;
}

// A word read as 0 is what a protected chip or an open contact gives, not
// what is left of an earlier program.
DifferencePattern PatternOf(const std::array<DifferingWords, 3>& areas) {
    int words = 0;
    int cleared = 0;  // only cleared, to something other than 0
    for (const DifferingWords& area : areas) {
        words += area.words;
        cleared += area.onlyCleared - area.readZero;
    }
    if (words == 0 || (cleared > 0 && cleared < words))
        return DifferencePattern::None;
    return cleared > 0 ? DifferencePattern::NotErased : DifferencePattern::NotTaken;
}

}  // namespace vx
