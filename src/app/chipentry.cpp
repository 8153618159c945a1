#include "app/chipentry.h"

#include "base/convert.h"
#include "link/family.h"

namespace vx {

std::string ChipValueEntryProblem(const Session& s, const ChipValueQuestion& question, const ChipValueAnswer& answer) {
    const FamilyTraits& family = Traits(s.device.family);
    std::string problem;
    if (question.calibration && !ParseCalibrationValue(family, answer.calibration))
        problem = "キャリブレーション値 '" + answer.calibration + "' は " + family.drivenCore().calibMnemonic + " (0x" +
                  HexText(family.drivenCore().calibOpcode, 2) + "nn) の形ではありません。";
    if (question.bandGap && !ParseBandGapValue(answer.bandGap))
        problem += (problem.empty() ? "" : "\r\n") + ("バンドギャップ値 '" + answer.bandGap + "' は 0 から 3 の数ではありません。");
    return problem;
}

}  // namespace vx
