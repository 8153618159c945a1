#include "app/readchip.h"

namespace vx {

Outcome ReadChipIntoImage(Session& s) {
    const Outcome outcome = RunRead(s);
    if (outcome != Outcome::Busy && outcome != Outcome::NoDevice && outcome != Outcome::NoBoard) {
        s.view.hexSummary.clear();
        s.ui.viewChanged();
    }
    return outcome;
}

}  // namespace vx
