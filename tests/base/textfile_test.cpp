#include <gtest/gtest.h>

#include "base/textfile.h"

using namespace vx;

// A file cut at some length ends on a whole character in either encoding.
TEST(TextCut, NoCharacterIsSplit) {
    const std::string kana = "\xE3\x81\x82";            // あ in UTF-8
    const std::string emoji = "\xF0\x9F\x98\x80";       // four bytes
    const std::string text = "ab" + kana + emoji;       // 2 + 3 + 4 bytes
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        const std::size_t kept = Utf8CutLength(std::string_view(text).substr(0, cut));
        const std::size_t expected = cut < 2 ? cut : cut < 5 ? 2 : cut < 9 ? 5 : 9;
        EXPECT_EQ(kept, expected) << "cut at " << cut;
    }
    // Bytes that start no sequence are the decoder's to judge.
    EXPECT_EQ(Utf8CutLength("a\x80\x80\x80\x80"), 5u);
    EXPECT_EQ(Utf8CutLength("a\xFF"), 2u);

    // Shift_JIS: 日本 (93 FA 96 7B); the second byte of 本 is ASCII '{', and
    // a half-width kana (B1) is one byte whatever follows.
    const std::string sjis = "\x93\xFA\x96\x7B" "a\xB1\x82\xA0";
    const std::size_t ends[] = {0, 0, 2, 2, 4, 5, 6, 6, 8};
    for (std::size_t cut = 0; cut <= sjis.size(); ++cut)
        EXPECT_EQ(ShiftJisCutLength(std::string_view(sjis).substr(0, cut)), ends[cut]) << "cut at " << cut;
}
