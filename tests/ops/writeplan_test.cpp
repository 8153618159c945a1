// The rules of a write to a chip, on the plan itself: who answers which
// question, and what is kept.
#include <gtest/gtest.h>

#include "ops/writeplan.h"

namespace vx {
namespace {

ChipSurvey Programmed() {
    ChipSurvey s;
    s.programBlank = false;
    return s;
}

WriteRequest From(WriteSource source, bool erasable) {
    WriteRequest r;
    r.source = source;
    r.erasable = erasable;
    return r;
}

std::optional<Question> Find(const WritePlan& plan, PlanQuestion what) {
    for (const auto& q : plan.questions)
        if (q.what == what)
            return q;
    return std::nullopt;
}

TEST(WritePlan, ABlankChipRaisesNoQuestion) {
    for (auto source : {WriteSource::Window, WriteSource::CommandLine, WriteSource::Watch, WriteSource::Unattended})
        EXPECT_TRUE(PlanWrite(From(source, false), ChipSurvey{}).questions.empty());
}

TEST(WritePlan, TheOverwriteQuestionIsAnsweredByWhoStartedTheWrite) {
    struct Case {
        WriteSource source;
        bool erasable;
        Answerer who;
        std::optional<bool> answer;
    };
    const Case cases[] = {
        {WriteSource::Window, true, Answerer::Person, std::nullopt},
        {WriteSource::Window, false, Answerer::Person, std::nullopt},
        {WriteSource::CommandLine, true, Answerer::Option, std::nullopt},
        {WriteSource::CommandLine, false, Answerer::Option, std::nullopt},
        // The watch's first run: a flash chip is what the user asked to write
        // over; a chip that cannot be erased is asked about as by program.
        {WriteSource::Watch, true, Answerer::Option, true},
        {WriteSource::Watch, false, Answerer::Option, std::nullopt},
        // Nobody looks: never "はい" for a chip the write would cost.
        {WriteSource::Unattended, true, Answerer::Nobody, true},
        {WriteSource::Unattended, false, Answerer::Nobody, false},
    };
    for (const auto& c : cases) {
        const auto q = Find(PlanWrite(From(c.source, c.erasable), Programmed()), PlanQuestion::Overwrite);
        ASSERT_TRUE(q);
        EXPECT_EQ(q->who, c.who);
        EXPECT_EQ(q->answer, c.answer) << static_cast<int>(c.source) << " erasable " << c.erasable;
    }
}

TEST(WritePlan, EveryNonBlankAreaAsksButAKeptEepromDoesNot) {
    for (int area = 0; area < 3; ++area) {
        ChipSurvey s;
        (area == 0 ? s.programBlank : area == 1 ? s.eepromBlank : s.configBlank) = false;
        EXPECT_TRUE(Find(PlanWrite(From(WriteSource::Window, true), s), PlanQuestion::Overwrite)) << area;
    }
    ChipSurvey dataOnly;
    dataOnly.eepromBlank = false;
    WriteRequest keep = From(WriteSource::CommandLine, true);
    keep.keepEeprom = true;
    const WritePlan plan = PlanWrite(keep, dataOnly);
    EXPECT_TRUE(plan.keepEeprom);
    EXPECT_TRUE(plan.questions.empty());
}

TEST(WritePlan, AProtectedChipsEepromCannotBeKept) {
    ChipSurvey s;
    s.protectedChip = true;
    s.eepromBlank = false;  // zeros, as a protected chip reads
    for (auto source : {WriteSource::Window, WriteSource::CommandLine, WriteSource::Unattended}) {
        WriteRequest r = From(source, true);
        r.keepEeprom = true;
        const WritePlan plan = PlanWrite(r, s);
        EXPECT_FALSE(plan.keepEeprom);
        const auto q = Find(plan, PlanQuestion::EepromNotKept);
        ASSERT_TRUE(q);
        // Only a person may let the write go on without it; it comes first.
        EXPECT_EQ(q->answer, source == WriteSource::Window ? std::nullopt : std::optional<bool>(false));
        EXPECT_EQ(plan.questions.front().what, PlanQuestion::EepromNotKept);
        // Not kept, the zeros count: the chip is not blank.
        EXPECT_TRUE(Find(plan, PlanQuestion::Overwrite));
    }
    // Without keep-EEPROM, protection alone asks nothing more than the overwrite.
    const WritePlan plain = PlanWrite(From(WriteSource::CommandLine, true), s);
    EXPECT_FALSE(Find(plain, PlanQuestion::EepromNotKept));
}

TEST(WritePlan, AGivenValueTheChipDidNotNeedIsSaid) {
    WriteRequest r = From(WriteSource::CommandLine, true);
    r.calibrationGiven = r.bandGapGiven = true;
    EXPECT_EQ(PlanWrite(r, ChipSurvey{}).notes.size(), 2u);
    ChipSurvey lost;
    lost.calibrationUsed = lost.bandGapUsed = true;
    EXPECT_TRUE(PlanWrite(r, lost).notes.empty());
    EXPECT_TRUE(PlanWrite(From(WriteSource::CommandLine, true), ChipSurvey{}).notes.empty());
}

}  // namespace
}  // namespace vx
