#include <gtest/gtest.h>

#include "base/convert.h"

using namespace vx;

TEST(ParseNumber, ReadsHexBinaryAndDecimalForms) {
    EXPECT_EQ(ParseNumber(std::string("0x3FF")), 1023);
    EXPECT_EQ(ParseNumber(std::string("0b101")), 5);
    EXPECT_EQ(ParseNumber(std::string("0B11")), 3);
    EXPECT_EQ(ParseNumber(std::string("12")), 12);
    EXPECT_EQ(ParseNumber(std::string("-7")), -7);
    EXPECT_EQ(ParseNumber(std::string("0x")), 0);
}

TEST(ParseNumber, RejectsMalformedAndOversizedText) {
    EXPECT_EQ(ParseNumber(std::string("")), -1);
    EXPECT_EQ(ParseNumber(std::string("3FF")), -1);
    EXPECT_EQ(ParseNumber(std::string("0xG1")), -1);
    EXPECT_EQ(ParseNumber(std::string("0b102")), -1);
    EXPECT_EQ(ParseNumber(std::string("0xFFFFFFFF")), -1);
    EXPECT_EQ(ParseNumber(std::string("99999999999")), -1);
    EXPECT_EQ(ParseNumber(std::string("0x7FFFFFFF")), 2147483647);
}

TEST(ParseNumber, UpperCasesTheCallersText) {
    std::string text = "0X3ff";
    EXPECT_EQ(ParseNumber(text), 1023);
    EXPECT_EQ(text, "0X3FF");
}

TEST(WordAndDigitHelpers, SplitAndConvert) {
    int high = -1, low = -1;
    SplitWord(0x3FF1, high, low);
    EXPECT_EQ(high, 0x3F);
    EXPECT_EQ(low, 0xF1);
    EXPECT_EQ(HexDigitChar(16), '0');
    EXPECT_EQ(HexDigitChar(11), 'B');
    EXPECT_EQ(HexDigitValue('a'), 0);
    EXPECT_EQ(HexDigitValue('F'), 15);
    EXPECT_EQ(HexWordFromDigits("3FF0"), 0x3FF0);
    EXPECT_EQ(HexWordFromDigits("1g2"), 0x1020);
    EXPECT_EQ(HexText(0x1F, 4), "001F");
    EXPECT_EQ(HexText(0x3FFC00, 4), "FC00");
}

TEST(SplitWords, MakesEqualsATokenAndSkipsRunsOfSpaces) {
    EXPECT_EQ(SplitWords("  PGM   0x3FF  "), (std::vector<std::string>{"PGM", "0x3FF"}));
    EXPECT_EQ(SplitWords("VERSION = 2.10"), (std::vector<std::string>{"VERSION", "=", "2.10"}));
    EXPECT_EQ(SplitWords("a=b=c"), (std::vector<std::string>{"a", "=", "b=c"}));
    EXPECT_EQ(SplitWords("   "), (std::vector<std::string>{""}));
    std::string many;
    for (int i = 0; i < 200; ++i)
        many += "t ";
    EXPECT_EQ(SplitWords(many).size(), 65u);
}

TEST(SplitCommandLine, SplitsAtTabsAndSpacesUpToTheMaximum) {
    EXPECT_EQ(SplitCommandLine("one\t   two"), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(SplitCommandLine("one\t   two", 1), (std::vector<std::string>{"one"}));
    EXPECT_TRUE(SplitCommandLine("").empty());
}

TEST(SplitShellWords, QuotesAndEscapesWithoutExpansion) {
    using W = std::vector<std::string>;
    EXPECT_EQ(SplitShellWords(""), W{});
    EXPECT_EQ(SplitShellWords("  /q  "), W{"/q"});
    EXPECT_EQ(SplitShellWords("-p \"a b\" c\\ d 'e \"f\"' g\"h\"i"), (W{"-p", "a b", "c d", "e \"f\"", "ghi"}));
    EXPECT_EQ(SplitShellWords("\"x\\\"y\\z\" ''"), (W{"x\"y\\z", ""}));
    EXPECT_EQ(SplitShellWords("$HOME;rm -rf *|`x`"), (W{"$HOME;rm", "-rf", "*|`x`"}));
    EXPECT_FALSE(SplitShellWords("-p \"a b"));
    EXPECT_FALSE(SplitShellWords("'open"));
    EXPECT_FALSE(SplitShellWords("end\\"));
}

TEST(FileExists, FalseForFoldersAndMissingPaths) {
    EXPECT_FALSE(FileExists("/"));
    EXPECT_FALSE(FileExists("/nonexistent/file"));
    EXPECT_TRUE(FileExists(VORMEX_SOURCE_DIR "/CMakeLists.txt"));
}
