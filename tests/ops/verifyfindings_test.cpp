#include <gtest/gtest.h>

#include "ops/verifyfindings.h"

namespace vx {
namespace {

DifferencePattern PatternOfProgram(const std::vector<Difference>& differences,
                                   const std::vector<Difference>& eeprom = {}) {
    return PatternOf({CountDifferences(differences), CountDifferences(eeprom), DifferingWords{}});
}

TEST(VerifyFindings, CountsEachKindOfDifferingWord) {
    const DifferingWords count = CountDifferences({{0, 0x3FFF, 0x1234}, {1, 0x0074, 0x0000}, {2, 0x0000, 0x3FFF}});
    EXPECT_EQ(count.words, 3);
    EXPECT_EQ(count.onlyCleared, 2);
    EXPECT_EQ(count.readZero, 1);
}

TEST(VerifyFindings, OnePatternIsNamedAMixNot) {
    // Only cleared bits, to something other than 0: the chip held an earlier program.
    EXPECT_EQ(PatternOfProgram({{0, 0x3FFF, 0x1234}, {1, 0x00FF, 0x0081}}), DifferencePattern::NotErased);
    // Bits the file clears read 1, words read 0, or both: the write did not take.
    EXPECT_EQ(PatternOfProgram({{0, 0x1234, 0x3FFF}, {1, 0x0000, 0x0001}}), DifferencePattern::NotTaken);
    EXPECT_EQ(PatternOfProgram({{0, 0x1234, 0x0000}, {1, 0x2800, 0x0000}}), DifferencePattern::NotTaken);
    EXPECT_EQ(PatternOfProgram({{0, 0x1234, 0x0000}, {1, 0x2800, 0x3FFF}}), DifferencePattern::NotTaken);
    // A word with a bit cleared and another set is not only cleared.
    EXPECT_EQ(PatternOfProgram({{0, 0x00F0, 0x000F}}), DifferencePattern::NotTaken);
    // Mixed, in one area or across areas; nothing at all.
    EXPECT_EQ(PatternOfProgram({{0, 0x3FFF, 0x1234}, {1, 0x1234, 0x3FFF}}), DifferencePattern::None);
    EXPECT_EQ(PatternOfProgram({{0, 0x3FFF, 0x1234}, {1, 0x1234, 0x0000}}), DifferencePattern::None);
    EXPECT_EQ(PatternOfProgram({{0, 0x3FFF, 0x1234}}, {{4, 0x00, 0xFF}}), DifferencePattern::None);
    EXPECT_EQ(PatternOfProgram({}), DifferencePattern::None);
}

}  // namespace
}  // namespace vx
