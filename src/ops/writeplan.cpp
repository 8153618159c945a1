#include "ops/writeplan.h"

namespace vx {

Answerer AnswererOf(WriteSource source) {
    switch (source) {
    case WriteSource::Window: return Answerer::Person;
    case WriteSource::CommandLine:
    case WriteSource::Watch: return Answerer::Option;
    case WriteSource::Unattended: return Answerer::Nobody;
    }
    return Answerer::Nobody;
}

namespace {

// Overwriting a flash chip costs nothing: the watch and auto-write were asked
// for it. A chip that cannot be erased is written over only by a yes of
// someone who was asked (a person, or --yes).
std::optional<bool> OverwriteAnswer(const WriteRequest& r) {
    if (r.erasable && (r.source == WriteSource::Watch || r.source == WriteSource::Unattended))
        return true;
    if (r.source == WriteSource::Unattended)
        return false;
    return std::nullopt;
}

}  // namespace

WritePlan PlanWrite(const WriteRequest& request, const ChipSurvey& survey) {
    WritePlan plan;
    const Answerer who = AnswererOf(request.source);
    // A protected chip reads its EEPROM as zeros: what it holds is unknown, so
    // it cannot be kept. Only a person may let the write go on without it;
    // on the command line the user drops --keep-eeprom.
    if (request.keepEeprom && survey.protectedChip)
        plan.questions.push_back(
            {PlanQuestion::EepromNotKept, who, who == Answerer::Person ? std::nullopt : std::optional<bool>(false)});
    plan.keepEeprom = request.keepEeprom && !survey.protectedChip;
    // With the EEPROM kept, its cells are not the file's: a chip whose only
    // non-blank area is the EEPROM is as good as blank.
    const bool eepromCounts = !plan.keepEeprom && !survey.eepromBlank;
    if (!survey.programBlank || !survey.configBlank || eepromCounts)
        plan.questions.push_back({PlanQuestion::Overwrite, who, OverwriteAnswer(request)});
    if (request.calibrationGiven && !survey.calibrationUsed)
        plan.notes.push_back("チップのキャリブレーション値を保持するため、--calibration の値は使いませんでした。");
    if (request.bandGapGiven && !survey.bandGapUsed)
        plan.notes.push_back("チップのバンドギャップ値を保持するため、--band-gap の値は使いませんでした。");
    return plan;
}

}  // namespace vx
