// Serial numbers from a customer's SQTP list and from the OS's random source.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "serialization/numberlist.h"
#include "support/imagefixture.h"

using namespace vx;

namespace {

DeviceInfo Device(const std::string& family, int words, int eeprom) {
    return test::TestDevice(family, words, eeprom);
}

const DeviceInfo kMid = Device("FLASH", 1024, 64);
const DeviceInfo kBase = Device("12C5", 512, 0);

// Three devices, two RETLW words each at word 0x100 of a 14-bit part.
const char* const kRetlwList =
    ":04020000123434344C\r\n"
    ":04020000123435344B\r\n"
    ":04020000AB340034E7\r\n"
    ":00000001FF\r\n";

std::string Refusal(const std::string& text, const DeviceInfo& device = kMid) {
    std::string error;
    EXPECT_FALSE(ParseSqtp(text, device, error).has_value()) << text;
    return error;
}

}  // namespace

TEST(SqtpList, RetlwRecordsGiveTheirBytesInOrder) {
    std::string error;
    const auto list = ParseSqtp(kRetlwList, kMid, error);
    ASSERT_TRUE(list) << error;
    EXPECT_EQ(list->mode, SerialMode::Retlw);
    EXPECT_EQ(list->address, 0x100);
    EXPECT_EQ(list->bytes, 2);
    EXPECT_EQ(list->values, (std::vector<std::int64_t>{0x1234, 0x1235, 0xAB00}));

    // 12-bit parts encode each byte as 0x08nn.
    const auto base = ParseSqtp(":0203E00005080E\n:0203E00006080D\n", kBase, error);
    ASSERT_TRUE(base) << error;
    EXPECT_EQ(base->address, 0x1F0);
    EXPECT_EQ(base->values, (std::vector<std::int64_t>{5, 6}));
}

TEST(SqtpList, EepromRawRecordsAfterAnExtendedAddressRecord) {
    std::string error;
    const auto list = ParseSqtp(":020000040000FA\n:0642200001000200030092\n:0642200001000200040091\n:00000001FF\n",
                                kMid, error);
    ASSERT_TRUE(list) << error;
    EXPECT_EQ(list->mode, SerialMode::Eeprom);
    EXPECT_EQ(list->address, 0x10);
    EXPECT_EQ(list->bytes, 3);
    EXPECT_EQ(list->values, (std::vector<std::int64_t>{0x010203, 0x010204}));
}

TEST(SqtpList, EveryRefusalNamesTheLine) {
    EXPECT_EQ(Refusal("garbage\n"), "SQTPファイルの 1 行目: Intel HEX のレコードではありません。");
    EXPECT_EQ(Refusal(":04020000123434344C\n:04020000123435344C\n"),
              "SQTPファイルの 2 行目: チェックサムが正しくありません。");
    EXPECT_EQ(Refusal(":040200001234343\n"), "SQTPファイルの 1 行目: Intel HEX のレコードではありません。");
    EXPECT_EQ(Refusal(":0402000012343434\n"), "SQTPファイルの 1 行目: レコードの長さがバイト数と合いません。");
    // Another length, another address.
    EXPECT_EQ(Refusal(":04020000123434344C\n\n:0203E0000534E2\n"),
              "SQTPファイルの 3 行目: アドレスまたは長さが 1 行目のレコードと違います。");
    EXPECT_EQ(Refusal(":04020000123434344C\n:040204001234353447\n"),
              "SQTPファイルの 2 行目: アドレスまたは長さが 1 行目のレコードと違います。");
    EXPECT_EQ(Refusal(":04020000123434344C\n:04020000123435344B\n:04020000123434344C\n"),
              "SQTPファイルの 3 行目: 値が 1 行目と同じです。");
    EXPECT_EQ(Refusal(":0402000012340000B4\n"),
              "SQTPファイルの 1 行目: プログラムメモリのデータが RETLW 命令ではありません。");
    // Word 0x200 is past the 512 words of a 12-bit part, which has no EEPROM either.
    EXPECT_EQ(Refusal(":020400001208E0\n", kBase),
              "SQTPファイルの 1 行目: データが PICTEST のプログラムメモリにもＥＥＰＲＯＭにも収まりません。");
    EXPECT_EQ(Refusal(":0642200001000200030092\n", kBase),
              "SQTPファイルの 1 行目: データが PICTEST のプログラムメモリにもＥＥＰＲＯＭにも収まりません。");
    EXPECT_EQ(Refusal(":020000021000EC\n"), "SQTPファイルの 1 行目: レコード種別 02 は SQTP では使えません。");
    EXPECT_EQ(Refusal(":00000001FF\n"), "SQTPファイルにデータレコードがありません。");
}

TEST(SqtpList, WrittenListReadsBackTheSame) {
    for (const SerialList& list : {SerialList{SerialMode::Retlw, 0x3F0, 4, {0, 0xFFFFFFFF, 7}},
                                   SerialList{SerialMode::Eeprom, 60, 4, {0x01020304, 9}}}) {
        std::string error;
        const auto back = ParseSqtp(SqtpText(list, kMid), kMid, error);
        ASSERT_TRUE(back) << error;
        EXPECT_EQ(back->mode, list.mode);
        EXPECT_EQ(back->address, list.address);
        EXPECT_EQ(back->bytes, list.bytes);
        EXPECT_EQ(back->values, list.values);
    }
}

TEST(RandomKeys, DistinctAndNeverAllZeroOrAllOnes) {
    std::string error;
    const auto keys = RandomKeys(100000, 4, error);
    ASSERT_TRUE(keys) << error;
    ASSERT_EQ(keys->size(), 100000u);
    const std::set<std::int64_t> distinct(keys->begin(), keys->end());
    EXPECT_EQ(distinct.size(), keys->size());
    EXPECT_EQ(distinct.count(0), 0u);
    EXPECT_EQ(distinct.count(0xFFFFFFFF), 0u);

    // One byte has 254 keys: all of them, in some order, and no more.
    auto all = RandomKeys(254, 1, error);
    ASSERT_TRUE(all) << error;
    std::sort(all->begin(), all->end());
    EXPECT_EQ(all->front(), 1);
    EXPECT_EQ(all->back(), 254);
    EXPECT_EQ(std::adjacent_find(all->begin(), all->end()), all->end());
    EXPECT_FALSE(RandomKeys(255, 1, error));
    EXPECT_FALSE(RandomKeys(1, 5, error));
    EXPECT_FALSE(RandomKeys(0, 2, error));
}
