#include <gtest/gtest.h>

#include <limits>

#include "serialization/serialization.h"
#include "serialization/serialvalue.h"
#include "support/fakes.h"

using namespace vx;
using vx::test::TestRig;

namespace {
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

// A window switched on with a HEX path set, as after File > Open.
void switchOn(Session& s, SerialProgramming& w) {
    s.loader.hexPath = "/tmp/any.hex";
    w.setEnabled(true);
}
}  // namespace

TEST(SerialValue, ReadsDecimalAndHexText) {
    EXPECT_EQ(ReadSerialText("0", false), 0);
    EXPECT_EQ(ReadSerialText("12", false), 120000);
    EXPECT_EQ(ReadSerialText(" -1.5 ", false), -15000);
    EXPECT_EQ(ReadSerialText(".25", false), 2500);
    EXPECT_EQ(ReadSerialText("1.00005", false), 10000);  // tie to even
    EXPECT_EQ(ReadSerialText("1.00015", false), 10002);
    EXPECT_EQ(ReadSerialText("1.000051", false), 10001);
    EXPECT_EQ(ReadSerialText("10", true), 160000);
    EXPECT_EQ(ReadSerialText("ff", true), 255 * kSerialScale);
    for (const char* bad : {"", ".", "1.2.3", "abc", "1 2", "+", "0x10"})
        EXPECT_FALSE(ReadSerialText(bad, false)) << bad;
    for (const char* bad : {"", "1.5", "-1", "G", " 1"})
        EXPECT_FALSE(ReadSerialText(bad, true)) << bad;
}

TEST(SerialValue, RangeEndsAtTheFixedPointLimits) {
    EXPECT_EQ(ReadSerialText("922337203685477.5807", false), kMax);
    EXPECT_EQ(ReadSerialText("-922337203685477.5808", false), kMin);
    EXPECT_FALSE(ReadSerialText("922337203685477.5808", false));
    EXPECT_FALSE(ReadSerialText("-922337203685477.5809", false));
    EXPECT_FALSE(ReadSerialText("99999999999999999999999", false));
    EXPECT_EQ(ReadSerialText("346DC5D638865", true), 922337203685477 * kSerialScale);
    EXPECT_FALSE(ReadSerialText("346DC5D638866", true));
    EXPECT_FALSE(ReadSerialText("FFFFFFFFFFFFFFFFFF", true));
    EXPECT_EQ(SerialDecimalText(kMax), "922337203685477.5807");
    EXPECT_EQ(SerialDecimalText(kMin), "-922337203685477.5808");
    EXPECT_EQ(SerialWholeValue(kMax), 922337203685478);
    EXPECT_EQ(SerialWholeValue(kMin), -922337203685478);
    EXPECT_FALSE(AddSerial(kMax, 1));
    EXPECT_FALSE(AddSerial(kMin, -1));
    EXPECT_EQ(AddSerial(kMax, -1), kMax - 1);
}

TEST(SerialValue, TextForms) {
    EXPECT_EQ(SerialDecimalText(0), "0");
    EXPECT_EQ(SerialDecimalText(-15000), "-1.5");
    EXPECT_EQ(SerialDecimalText(10001), "1.0001");
    EXPECT_EQ(SerialWholeValue(25000), 2);  // ties to even
    EXPECT_EQ(SerialWholeValue(35000), 4);
    EXPECT_EQ(SerialWholeValue(-25000), -2);
    EXPECT_EQ(SerialWholeValue(-25001), -3);
    EXPECT_EQ(SerialHexText(255 * kSerialScale), "FF");
    EXPECT_EQ(SerialHexText(2147483647LL * kSerialScale), "7FFFFFFF");
    EXPECT_FALSE(SerialHexText(2147483648LL * kSerialScale));
    EXPECT_EQ(SerialHexText(-kSerialScale), "FFFFFFFF");
    EXPECT_FALSE(SerialHexText(-2147483649LL * kSerialScale));
    EXPECT_EQ(SerialBytesText(0x1234, 4), "00:00:12:34");
    EXPECT_EQ(SerialBytesText(0x12345, 2), "23:45");
    EXPECT_EQ(SerialBytesText(-1, 3), "FF:FF:FF");
    EXPECT_EQ(SerialBytesText(0, 1), "00");
}

TEST(SerialWindow, StateRightAfterLoading) {
    TestRig rig;
    rig.settings.values["SPSLeft"] = "1500";
    SerialProgramming w(*rig.session);
    EXPECT_EQ(w.endAddress, "0");
    EXPECT_EQ(w.wroteHex, "00");
    EXPECT_EQ(w.byteCount, 1);
    EXPECT_EQ(w.serialUnits(), 0);
    EXPECT_EQ(w.left, 1500);
    EXPECT_EQ(w.top, 100);
    EXPECT_EQ(w.message, "【設定を有効にする】をチェックすると、シリアライゼーション・プログラミングを開始します。");
}

TEST(SerialWindow, CountsToTheQuantityThenRefuses) {
    TestRig rig;
    auto& s = *rig.session;
    SerialProgramming w(s);
    w.recordDevice();
    EXPECT_EQ(w.message, "【設定を有効にする】をチェックすると、シリアライゼーションプログラミングを開始します。");
    w.setDataFinish("3");
    switchOn(s, w);
    EXPECT_EQ(w.message, "シリアライゼーションが有効になりました。\r\n設定変更はできません。");
    EXPECT_FALSE(w.fieldsEnabled);
    EXPECT_FALSE(s.loader.skipHexDialog);
    for (int i = 0; i < 3; ++i) {
        w.recordDevice();
        EXPECT_EQ(w.wroteDec, std::to_string(i));
        EXPECT_EQ(w.finishCount, std::to_string(i + 1));
    }
    EXPECT_EQ(w.wroteHex, "02");
    w.recordDevice();
    EXPECT_EQ(w.message,
              "予定の書き込み数量に達しました。【設定を有効にする】のチェックをはずして、再設定を行って下さい。");
    EXPECT_EQ(w.finishCount, "3");
    EXPECT_EQ(w.wroteDec, "2");
    EXPECT_EQ(w.serialUnits(), 3 * kSerialScale);

    // Off keeps S and C; on again restarts the count only.
    w.setEnabled(false);
    EXPECT_TRUE(w.fieldsEnabled);
    EXPECT_EQ(w.message, "シリアライゼーションが無効になりました。\r\n設定変更できます。");
    EXPECT_EQ(w.writtenCount(), 3);
    w.setEnabled(true);
    EXPECT_EQ(w.finishCount, "0");
    EXPECT_EQ(w.wroteDec, "0") << "a new run has written nothing yet";
    EXPECT_EQ(w.wroteHex, "00");
    w.recordDevice();
    EXPECT_EQ(w.wroteDec, "3");
}

// Display only: 次の番号 is the number the next "chk" records, in the boxes' radix.
TEST(SerialWindow, DisplayOnlyShowsTheNextNumberInTheChosenRadix) {
    TestRig rig;
    auto& s = *rig.session;
    SerialProgramming w(s);
    EXPECT_EQ(w.nextData, "0");
    w.setDataStart("26");
    EXPECT_EQ(w.nextData, "26");
    w.setHexMode(true);
    EXPECT_EQ(w.nextData, "1A");
    w.setDataIncrement("10");
    w.setDataFinish("5");
    switchOn(s, w);
    w.recordDevice();
    EXPECT_EQ(w.nextData, "2A");
    w.setHexMode(false);
    EXPECT_EQ(w.nextData, "42");
}

TEST(SerialWindow, ShowsOnlyTheChosenBytes) {
    TestRig rig;
    auto& s = *rig.session;
    SerialProgramming w(s);
    w.setDataStart("74565");  // 0x12345
    EXPECT_EQ(w.message, "74565");
    w.selectByteCount(2);
    EXPECT_EQ(w.wroteHex, "00:00");
    w.setDataFinish("1");
    switchOn(s, w);
    w.recordDevice();
    EXPECT_EQ(w.wroteHex, "23:45");
    EXPECT_EQ(w.wroteDec, "74565");
}

TEST(SerialWindow, HexModeReadsAndConvertsTheBoxes) {
    TestRig rig;
    auto& s = *rig.session;
    SerialProgramming w(s);
    w.setDataStart("255");
    w.setDataFinish("20");
    w.setHexMode(true);
    EXPECT_EQ(w.dataStart, "FF");
    EXPECT_EQ(w.dataFinish, "14");
    EXPECT_EQ(w.dataIncrement, "1");
    EXPECT_EQ(w.serialUnits(), 255 * kSerialScale);
    w.setDataIncrement("10");
    switchOn(s, w);
    w.recordDevice();
    w.recordDevice();
    EXPECT_EQ(w.wroteDec, "271");
    EXPECT_EQ(w.serialUnits(), 287 * kSerialScale);
    w.setEnabled(false);
    w.setHexMode(false);
    EXPECT_EQ(w.dataIncrement, "16");
    EXPECT_EQ(w.dataStart, "255");
    EXPECT_EQ(w.serialUnits(), 287 * kSerialScale);  // the same start value: S stays
}

TEST(SerialWindow, RadixSwitchNeverIssuesANumberAgain) {
    TestRig rig;
    auto& s = *rig.session;
    SerialProgramming w(s);
    w.setDataFinish("6");
    switchOn(s, w);
    for (int i = 0; i < 3; ++i)
        w.recordDevice();
    w.setHexMode(true);
    w.recordDevice();
    EXPECT_EQ(w.wroteDec, "3");
    w.setHexMode(false);
    w.recordDevice();
    EXPECT_EQ(w.wroteDec, "4");

    // Negative values (pasted) convert as signed 32-bit and read back the same.
    w.setEnabled(false);
    w.setDataStart("-5");
    w.setDataIncrement("-1");
    w.setDataFinish("-2147483649");
    w.setHexMode(true);
    EXPECT_EQ(w.dataStart, "FFFFFFFB");
    EXPECT_EQ(w.dataIncrement, "FFFFFFFF");
    EXPECT_EQ(w.dataFinish, "-2147483649");  // outside the range: kept
    EXPECT_EQ(ReadSerialText("80000000", true), -2147483648LL * kSerialScale);
    EXPECT_EQ(ReadSerialText("180000000", true), 0x180000000LL * kSerialScale);
    w.setDataFinish("2");
    switchOn(s, w);
    w.recordDevice();
    w.recordDevice();
    EXPECT_EQ(w.wroteDec, "-6");
    w.setEnabled(false);
    w.setHexMode(false);
    EXPECT_EQ(w.dataStart, "-5");
    EXPECT_EQ(w.dataIncrement, "-1");
}

TEST(SerialWindow, UnreadableOrOutOfRangeTextLeavesValuesAlone) {
    TestRig rig;
    SerialProgramming w(*rig.session);
    w.setDataStart("42");
    w.setDataStart("99999999999999999999");
    EXPECT_EQ(w.serialUnits(), 42 * kSerialScale);
    EXPECT_EQ(w.message, "42");
    w.setDataStart("");
    EXPECT_EQ(w.serialUnits(), 42 * kSerialScale);
    // Beyond the signed 32-bit range the hexadecimal conversion keeps the text.
    w.setDataStart("42");
    w.setDataFinish("3000000000");
    w.setHexMode(true);
    EXPECT_EQ(w.dataFinish, "3000000000");
    EXPECT_EQ(w.dataStart, "2A");
}

TEST(SerialWindow, SwitchOnNeedsQuantityAndHexFile) {
    TestRig rig;
    auto& s = *rig.session;
    SerialProgramming w(s);
    w.setEnabled(true);
    EXPECT_EQ(w.message, "書き込み数量を設定してください。");
    EXPECT_TRUE(w.enabled);
    EXPECT_FALSE(w.fieldsEnabled);
    w.setEnabled(false);
    w.setDataFinish("5");
    w.setEnabled(true);
    EXPECT_EQ(w.message,
              "HEXファイルが開かれていません。メニューバの 【ファイル】【開く】から、HEXファイルを開いてください。");
    EXPECT_FALSE(w.fieldsEnabled);
}

TEST(SerialWindow, NextValueBeyondTheRangeIsRefused) {
    TestRig rig;
    auto& s = *rig.session;
    SerialProgramming w(s);
    w.setDataStart("922337203685476");
    w.setDataFinish("5");
    switchOn(s, w);
    w.recordDevice();
    EXPECT_EQ(w.wroteDec, "922337203685476");
    EXPECT_EQ(w.wroteHex, "64");  // 0x346DC5D638864
    w.recordDevice();
    EXPECT_EQ(w.message, "シリアルデータ値が範囲を超えるため、これ以上書き込めません。");
    EXPECT_EQ(w.finishCount, "1");
    EXPECT_EQ(w.serialUnits(), 922337203685477 * kSerialScale);

    w.setEnabled(false);
    w.setDataIncrement("");
    w.setEnabled(true);
    w.recordDevice();
    EXPECT_EQ(w.message, "増分データ値を正しく設定してください。");
    EXPECT_EQ(w.finishCount, "0");
}

TEST(SerialWindow, EndAddressIsTheLastAddressWritten) {
    TestRig rig;
    SerialProgramming w(*rig.session);
    w.setStartAddress("3F0");
    w.selectByteCount(4);
    EXPECT_EQ(w.endAddress, "3F3");
    EXPECT_EQ(w.wroteHex, "00:00:00:00");
    w.setStartAddress("");
    EXPECT_EQ(w.endAddress, "3F3");
    // Addresses are unsigned 64-bit numbers: the sum stays exact to the top.
    w.setStartAddress("FFFFFFFFFFFFFFFB");
    EXPECT_EQ(w.endAddress, "FFFFFFFFFFFFFFFE");
    w.setStartAddress("FFFFFFFFFFFFFFFC");
    EXPECT_EQ(w.endAddress, "FFFFFFFFFFFFFFFF");
    w.setStartAddress("FFFFFFFFFFFFFFFD");  // past the top: the last end stays
    EXPECT_EQ(w.endAddress, "FFFFFFFFFFFFFFFF");
    w.selectByteCount(1);
    w.setStartAddress("3F0");
    EXPECT_EQ(w.endAddress, "3F0");
}

TEST(SerialWindow, KeyFilters) {
    TestRig rig;
    SerialProgramming w(*rig.session);
    using F = SerialProgramming::Field;
    EXPECT_EQ(w.filterKey(F::DataStart, '7'), '7');
    EXPECT_EQ(w.filterKey(F::DataStart, '.'), '.');
    EXPECT_EQ(w.filterKey(F::DataStart, 8), 8);
    EXPECT_EQ(w.filterKey(F::DataStart, 'a'), '\0');
    EXPECT_EQ(w.filterKey(F::DataStart, '-'), '\0');
    EXPECT_EQ(w.filterKey(F::StartAddress, 'f'), 'F');
    EXPECT_EQ(w.filterKey(F::StartAddress, 'g'), '\0');
    EXPECT_EQ(w.filterKey(F::WriteByteNumber, 'A'), '\0');
    EXPECT_EQ(w.filterKey(F::WriteByteNumber, 13), 13);
    w.setHexMode(true);
    EXPECT_EQ(w.filterKey(F::DataIncrement, 'c'), 'C');
    EXPECT_EQ(w.filterKey(F::DataFinish, 'G'), '\0');
}

TEST(SerialWindow, UnloadSwitchesOffAndStoresThePosition) {
    TestRig rig;
    auto& s = *rig.session;
    SerialProgramming w(s);
    w.setDataFinish("2");
    switchOn(s, w);
    w.unload({1234, 567.5, false});
    EXPECT_FALSE(w.enabled);
    EXPECT_TRUE(w.fieldsEnabled);
    EXPECT_EQ(rig.settings.values["SPSLeft"], "1234");
    EXPECT_EQ(rig.settings.values["SPSTop"], "567.5");
    SerialProgramming again(s);
    EXPECT_EQ(again.left, 1234);
    again.unload({1, 2, true});
    EXPECT_EQ(rig.settings.values["SPSLeft"], "1234");
}
