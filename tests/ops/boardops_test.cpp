// Board operations against the simulated board: bytes on the wire, replies
// taken apart, registers left behind, notes and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "link/protocol.h"
#include "ops/boardops.h"
#include "ops/opreport.h"
#include "opstest.h"

namespace vx {
namespace {

using test::AllFamilies;
using test::Header;
using test::SimRig;
using test::WordBytes;

bool TwelveBit(const std::string& family) { return Traits(ParseFamily(family)).twelveBit(); }

TEST(BoardOpsWire, EveryFamilySendsItsLettersCountsAndWords) {
    for (const auto& f : AllFamilies()) {
        SCOPED_TRACE(f.family);
        SimRig rig(f.family, f.words, f.eeprom, -1);  // no calibration word to trip the EPROM write
        Session& s = *rig.session;
        ProgressBar bar(s);
        s.link.port.open("sim");
        test::BlankBuffer(s);
        const bool twelve = TwelveBit(f.family);
        const bool flash = f.family == "FLASH" || f.family == "12F6";
        auto sent = [&rig] {
            std::string text = rig.sentText();
            rig.board().received.clear();
            return text;
        };
        Result protect = Result::None;

        Tell(s, EraseProgramMemory(s));
        EXPECT_EQ(sent(), f.family == "FLASH" ? "bd" : f.family == "12F6" ? "bD" : "");

        Tell(s, BlankCheckProgramMemory(s));
        const int w = f.words;
        std::string expected;
        if (f.family == "5X18")
            expected = Header("bps", w + 5);
        else if (f.family == "5X28")
            expected = Header("bpl", w + 5);
        else if (f.family == "12C5")
            expected = Header("bs", w) + Header("bs", w + 1) + Header("bs", w + 5);
        else if (f.family == "12C6" || f.family == "12F6")
            expected = Header("bs", w - 1) + Header("bs", w);
        else
            expected = Header("bs", w);
        EXPECT_EQ(sent(), expected);

        Tell(s, BlankCheckEeprom(s));
        EXPECT_EQ(sent(), flash ? Header("rsd", f.eeprom) : "");

        const std::string configLetters = f.family == "5X18" ? "rps" : f.family == "5X28" ? "rpl" : "rsc";
        Tell(s, BlankCheckConfig(s, protect));
        EXPECT_EQ(sent(), Header(configLetters, twelve ? 1 : 8));

        const std::string readLetters = f.family == "5X18" ? "rps" : f.family == "5X28" ? "rpl" : "rsp";
        Tell(s, ReadProgramMemory(s, bar));
        EXPECT_EQ(sent(), Header(readLetters, twelve ? w + 5 : w));

        Tell(s, ReadEeprom(s, bar));
        EXPECT_EQ(sent(), flash ? Header("rsd", f.eeprom) : "");

        Tell(s, ReadConfig(s));
        EXPECT_EQ(sent(), Header(f.family == "12C5" ? "rsp" : configLetters, twelve ? 1 : 8));

        test::BlankBuffer(s);
        s.buffer.usedLength = w;
        Tell(s, WriteProgramMemory(s, bar));
        std::string image;
        if (twelve) {
            image = WordBytes(0x0FFF | s.device.codeProtectMask);
            for (int i = 0; i < w + 4; ++i)
                image += WordBytes(0x0FFF);
        } else {
            for (int i = 0; i < w; ++i)
                image += WordBytes(0x3FFF);
        }
        const std::string writeLetters = f.family == "5X18"   ? "wps"
                                         : f.family == "5X28" ? "wpl"
                                         : flash              ? "wef"
                                                              : "wsp";
        EXPECT_EQ(sent(), Header(writeLetters, twelve ? w + 5 : w) + image);

        Tell(s, WriteEeprom(s, bar));
        std::string cells;
        for (int n = 0; n < f.eeprom; ++n)
            cells += std::string{'\x3F', '\xFF'};
        EXPECT_EQ(sent(), flash ? Header("wed", f.eeprom) + cells : "");

        if (!twelve) {
            Tell(s, MergeConfigArea(s));
            EXPECT_EQ(sent(), Header("rsc", 8));
        }
        Tell(s, WriteConfig(s));
        std::string configWrite;
        if (f.family == "5X18" || f.family == "5X28" || f.family == "12C5")
            configWrite = Header(writeLetters, 1) + WordBytes(0x0FFF);
        else
            configWrite = Header(flash ? "wec" : "wsc", 8);
        EXPECT_EQ(sent().substr(0, configWrite.size()), configWrite);

        Tell(s, VerifyProgramMemory(s, bar));
        EXPECT_EQ(sent(), Header(readLetters, twelve ? w + 5 : w));
        Tell(s, VerifyEeprom(s, bar));
        EXPECT_EQ(sent(), flash ? Header("rsd", f.eeprom) : "");
        Tell(s, VerifyConfig(s, protect));
        EXPECT_EQ(sent(), Header(configLetters, twelve ? 1 : 8));
        Tell(s, VerifyConfigAfterWrite(s, protect));
        EXPECT_EQ(sent(), Header(configLetters, twelve ? 1 : 8));
        EXPECT_FALSE(s.ops.linkFault);
    }
}

TEST(BoardOpsWire, EepromlessAndEpromPartsSendNothingForEepromAndErase) {
    SimRig rig("FLASH", 64, 0);
    Session& s = *rig.session;
    ProgressBar bar(s);
    s.link.port.open("sim");
    EXPECT_FALSE(Tell(s, ReadEeprom(s, bar)).has_value());
    EXPECT_FALSE(Tell(s, WriteEeprom(s, bar)).has_value());
    EXPECT_FALSE(Tell(s, VerifyEeprom(s, bar)).has_value());
    EXPECT_EQ(Tell(s, BlankCheckEeprom(s)), Result::None);

    SimRig eprom("EPROM", 64, 16);
    Session& e = *eprom.session;
    ProgressBar eBar(e);
    e.link.port.open("sim");
    EXPECT_EQ(Tell(e, WriteEeprom(e, eBar)), Result::None);
    EXPECT_EQ(e.view.note, "このデバイスは、ＥＥＰＲＯＭデータメモリを内蔵していません。 ");
    EXPECT_EQ(Tell(e, ReadEeprom(e, eBar)), Result::None);
    EXPECT_EQ(e.view.note, "EPROM版は、ＥＥＰＲＯＭデータメモリを内蔵していません。 ");
    EXPECT_EQ(Tell(e, EraseProgramMemory(e)), Result::None);
    EXPECT_EQ(e.view.note, "EPROM版での この操作は無効です。（紫外線イレーサで消去してください。） ");
    EXPECT_EQ(e.view.noteColour, kColourRed);
    EXPECT_TRUE(eprom.board().received.empty());
}

TEST(BoardOpsBlankCheck, CalibratedPartsCaptureTheChipCalibrationWord) {
    SimRig c6("12C6", 1024, 0, 0x3456);
    c6.session->link.port.open("sim");
    EXPECT_EQ(Tell(*c6.session, BlankCheckProgramMemory(*c6.session)), Result::Ok);
    EXPECT_EQ(c6.session->ops.chipCalib.word(), 0x3456);

    SimRig c5("12C5", 512, 0, 0x0C5A);
    c5.session->link.port.open("sim");
    EXPECT_EQ(Tell(*c5.session, BlankCheckProgramMemory(*c5.session)), Result::Ok);
    EXPECT_EQ(c5.session->ops.chipCalib.word(), 0x0C5A);
    // An ID word that clears a bit the calibration word has set: not blank.
    c5.chip().config[2] = 0x0FF7;
    EXPECT_EQ(Tell(*c5.session, BlankCheckProgramMemory(*c5.session)), Result::Ng);
    c5.chip().config[2] = 0x0FFF;
    c5.chip().program[3] = 0x0123;
    EXPECT_EQ(Tell(*c5.session, BlankCheckProgramMemory(*c5.session)), Result::Ng);
}

TEST(BoardOpsBlankCheck, ConfigurationRulesOfOldOscillatorPartsAndBandGap) {
    SimRig rig("5X18", 512, 0);
    Session& s = *rig.session;
    s.link.port.open("sim");
    s.device.name = "PIC16C54";
    Result protect = Result::Cp;
    rig.chip().setConfigWord(0x0FFD);
    EXPECT_EQ(Tell(s, BlankCheckConfig(s, protect)), Result::Ok);
    EXPECT_EQ(protect, Result::None);
    EXPECT_EQ(s.ops.configAcc.word(), 0x0FFD);
    rig.chip().setConfigWord(0x0FF7);  // bit 3 is code protection here
    EXPECT_EQ(Tell(s, BlankCheckConfig(s, protect)), Result::Ng);
    EXPECT_EQ(protect, Result::Cp);
    EXPECT_EQ(s.view.note, "このデバイスはコードプロテクトされています。 ");
    s.device.name = "PIC16C58";
    rig.chip().setConfigWord(0x0FFD);
    EXPECT_EQ(Tell(s, BlankCheckConfig(s, protect)), Result::Ng);

    SimRig bg("12F6", 1024, 128);
    bg.session->link.port.open("sim");
    bg.chip().setConfigWord(0x0FFF);  // band-gap bits 00, everything else erased
    EXPECT_EQ(Tell(*bg.session, BlankCheckConfig(*bg.session, protect)), Result::Ok);
    bg.chip().config[1] = 0x3FF5;  // an ID word takes part
    EXPECT_EQ(Tell(*bg.session, BlankCheckConfig(*bg.session, protect)), Result::Ng);
    bg.chip().config[1] = 0x3FFF;
    bg.chip().config[5] = 0x1234;  // words 4..6 do not
    EXPECT_EQ(Tell(*bg.session, BlankCheckConfig(*bg.session, protect)), Result::Ok);
}

// Every cell counts, the last as much as the first, and one cleared bit is enough.
TEST(BoardOpsBlankCheck, EepromWithOneProgrammedCellIsNotBlank) {
    SimRig rig("FLASH", 1024, 64);
    Session& s = *rig.session;
    s.link.port.open("sim");
    EXPECT_EQ(Tell(s, BlankCheckEeprom(s)), Result::Ok);
    for (const int cell : {0, 31, 63}) {
        SCOPED_TRACE(cell);
        std::fill(rig.chip().eeprom.begin(), rig.chip().eeprom.end(), 0xFF);
        rig.chip().eeprom[static_cast<std::size_t>(cell)] = 0x7F;
        EXPECT_EQ(Tell(s, BlankCheckEeprom(s)), Result::Ng);
        EXPECT_FALSE(s.ops.linkFault);
    }
}

TEST(BoardOpsBlankCheck, ShortOrMissingRepliesEndWithinTheirTimeOuts) {
    SimRig rig("FLASH", 1024, 64);
    Session& s = *rig.session;
    s.link.port.open("sim");
    rig.board().faults.shortReplyBy = 1;  // 128 of 129 bytes
    auto start = rig.clock.now;
    EXPECT_EQ(Tell(s, BlankCheckEeprom(s)), Result::Er);
    EXPECT_EQ(s.view.note, "ＥＥＰＲＯＭデータメモリブランクチェック失敗。　　読み出しデータ不足。 ");
    EXPECT_GT(rig.clock.now - start, 30000);
    EXPECT_LE(rig.clock.now - start, 30100);
    EXPECT_TRUE(s.ops.linkFault);

    rig.board().faults = {};
    rig.board().faults.silentAfterBytes = 0;
    start = rig.clock.now;
    EXPECT_EQ(Tell(s, EraseProgramMemory(s)), Result::Er);
    EXPECT_EQ(s.view.note, "プログラムメモリの消去失敗。読み出しデータ不足。 ");
    EXPECT_LE(rig.clock.now - start, 1100);

    // The board reads the whole range before it answers: its wire time, and 1 s more.
    start = rig.clock.now;
    EXPECT_EQ(Tell(s, BlankCheckProgramMemory(s)), Result::Er);
    EXPECT_EQ(s.view.note, "プログラムメモリブランクチェック失敗。　　終了コードを受信できませんでした。 ");
    EXPECT_GT(rig.clock.now - start, 1000 + 2 * 1024);
    EXPECT_LE(rig.clock.now - start, 1100 + 2 * 1024 + 100);

    Result protect = Result::Cp;
    start = rig.clock.now;
    EXPECT_EQ(Tell(s, BlankCheckConfig(s, protect)), Result::Er);
    EXPECT_EQ(protect, Result::Cp);  // kept without a reply
    EXPECT_LE(rig.clock.now - start, 1100);
}

// A board that reads an 8K part before it answers a blank check: 10 s of
// silence is in time; a board that never answers still ends with "ER" once
// the wire time of the range and 1 s more have passed.
TEST(BoardOpsBlankCheck, SlowBoardHasTheWireTimeOfTheRangeBeforeItAnswers) {
    SimRig rig("FLASH", 8192, 0);
    Session& s = *rig.session;
    s.link.port.open("sim");
    std::int64_t silenceUs = 10'000'000;
    rig.board().onReply = [&](const SimCommand& c, Bytes& bytes, std::vector<std::int64_t>& delays) {
        if (c.letters != "bs")
            return;
        if (silenceUs < 0)
            bytes.clear();
        for (auto& d : delays)
            d += silenceUs;
    };
    EXPECT_EQ(Tell(s, BlankCheckProgramMemory(s)), Result::Ok);

    silenceUs = -1;
    const auto start = rig.clock.now;
    EXPECT_EQ(Tell(s, BlankCheckProgramMemory(s)), Result::Er);
    EXPECT_EQ(s.view.note, "プログラムメモリブランクチェック失敗。　　終了コードを受信できませんでした。 ");
    const int bound = protocol::FirstByteTimeoutMs(8192);
    EXPECT_EQ(bound, 1000 + 17073);  // 8192 words, 2 bytes each, 1.042 ms a byte
    EXPECT_GT(rig.clock.now - start, bound);
    EXPECT_LE(rig.clock.now - start, bound + 100);
}

TEST(BoardOpsRead, TwelveBitReadTakesConfigurationFirstAndIdsLast) {
    SimRig rig("12C5", 512, 0, 0x0C80);
    Session& s = *rig.session;
    ProgressBar bar(s);
    s.link.port.open("sim");
    s.buffer.calibText = "movlw 0x70";
    rig.chip().setConfigWord(0x0FEA);
    rig.chip().program[0] = 0x0A01;
    rig.chip().config[3] = 0x0009;
    ASSERT_EQ(Tell(s, ReadProgramMemory(s, bar)), Result::Ok);
    EXPECT_EQ(test::BufferWord(s, 0), 0x0A01);
    EXPECT_EQ(test::BufferWord(s, 511), 0x0C80);
    EXPECT_EQ(s.buffer.calibText, "movlw 0x80");
    EXPECT_EQ(s.ops.chipCalib.word(), 0x0C80);
    EXPECT_EQ(test::ConfigAreaWord(s, 7), 0x0FEA);
    EXPECT_EQ(test::ConfigAreaWord(s, 3), 0x0009);
    EXPECT_EQ(s.buffer.idText, "FFF9");
    EXPECT_EQ(s.ops.configAcc.word(), 0x0FEA);
    EXPECT_EQ(s.ops.idAcc.word(), 0x0009 & 0x0FFF);
    // The calibration word is stored but does not count against blankness.
    EXPECT_EQ(s.ops.programAcc.word(), 0x0A01 & 0xFFFF);

    SimRig c6("12C6", 1024, 0, 0x3480);
    ProgressBar c6Bar(*c6.session);
    c6.session->link.port.open("sim");
    c6.session->buffer.calibText = "retlw 0x70";
    ASSERT_EQ(Tell(*c6.session, ReadProgramMemory(*c6.session, c6Bar)), Result::Ok);
    EXPECT_EQ(c6.session->buffer.calibText, "retlw 0x80");
    EXPECT_EQ(c6.session->ops.programAcc.word(), 0xFFFF & 0x3FFF);
}

TEST(BoardOpsRead, ConfigurationAreaAndBandGapReads) {
    SimRig rig("12F6", 1024, 128);
    Session& s = *rig.session;
    ProgressBar bar(s);
    s.link.port.open("sim");
    rig.chip().setConfigWord(0x3FFF);
    EXPECT_EQ(Tell(s, ReadBandGap(s)), Result::Ok);
    EXPECT_EQ(s.view.bandGapText, "3");
    rig.chip().setConfigWord(0x1FC4);
    EXPECT_EQ(Tell(s, ReadBandGap(s)), Result::Ok);
    EXPECT_EQ(s.view.bandGapText, "1");

    rig.chip().config[5] = 0x0ABC;
    ASSERT_EQ(Tell(s, ReadConfig(s)), Result::Ok);
    EXPECT_EQ(test::ConfigAreaWord(s, 5), 0x0ABC);
    EXPECT_EQ(test::ConfigAreaWord(s, 7), 0x1FC4);

    rig.board().faults.shortReplyBy = 1;  // 16 of 17 bytes
    const auto start = rig.clock.now;
    EXPECT_EQ(Tell(s, ReadConfig(s)), Result::Ng);
    EXPECT_EQ(s.view.note, "コンフィギュレーションワード読み出し失敗。　　読み出しデータ不足。 ");
    EXPECT_LE(rig.clock.now - start, 1100);

    rig.board().faults = {};
    EXPECT_EQ(Tell(s, ReadCalibration(s, bar)), Result::Ok);
    EXPECT_EQ(s.view.osccalHiText, "52");   // 0x34
    EXPECT_EQ(s.view.osccalLoText, "128");   // 0x80
    EXPECT_EQ(s.buffer.calibText, "retlw 0x80");
}

TEST(BoardOpsRead, EepromReadResetsItsAccumulatorEvenWithoutEeprom) {
    SimRig rig("FLASH", 64, 16);
    Session& s = *rig.session;
    ProgressBar bar(s);
    s.link.port.open("sim");
    rig.chip().eeprom[3] = 0x00;
    ASSERT_EQ(Tell(s, ReadEeprom(s, bar)), Result::Ok);
    EXPECT_EQ(s.ops.eepromAcc.low, 0x00);
    EXPECT_EQ(s.buffer.eeprom[7], 0x00);
    s.device.eepromBytes = 0;
    EXPECT_FALSE(Tell(s, ReadEeprom(s, bar)).has_value());
    EXPECT_EQ(s.ops.eepromAcc.word(), 0x3FFF);
}

TEST(BoardOpsWrite, FourteenBitWritesOnlyTheUsedWords) {
    SimRig rig("FLASH", 1024, 0);
    Session& s = *rig.session;
    ProgressBar bar(s);
    s.link.port.open("sim");
    test::BlankBuffer(s);
    for (int w = 0; w < 10; ++w)
        test::SetBufferWord(s, w, 0x2800 + w);
    s.buffer.usedLength = 10;
    ASSERT_EQ(Tell(s, WriteProgramMemory(s, bar)), Result::Ok);
    EXPECT_EQ(s.view.note, "プログラムメモリのプログラミングに成功しました。 ");
    ASSERT_EQ(rig.board().log.size(), 1u);
    EXPECT_EQ(rig.board().log[0].count, 10);
    EXPECT_EQ(rig.board().log[0].dataWords, 10);
    EXPECT_EQ(rig.chip().program[9], 0x2809);
    EXPECT_EQ(rig.chip().program[10], 0x3FFF);
}

TEST(BoardOpsWrite, TwelveBitCalibrationRestoreAndUnprotectedFirstPass) {
    SimRig rig("12C5", 512, 0, 0x0FFF);  // the chip lost its calibration word
    Session& s = *rig.session;
    ProgressBar bar(s);
    s.link.port.open("sim");
    test::BlankBuffer(s);
    s.buffer.calibText = "movlw 0x5A";
    test::SetConfigAreaWord(s, 7, 0x0FE2);  // code protection on
    test::SetConfigAreaWord(s, 1, 0x0007);
    s.ops.chipCalib = {0x0F, 0xFF};
    ASSERT_EQ(Tell(s, WriteProgramMemory(s, bar)), Result::Ok);
    EXPECT_EQ(test::BufferWord(s, 511), 0x0C5A);
    EXPECT_EQ(rig.chip().program[511], 0x0C5A);
    EXPECT_EQ(rig.chip().configWord(), 0x0FEA);  // protection bit left set
    EXPECT_EQ(rig.chip().config[1], 0x0007);

    // A chip calibration word that is not blank is not touched here.
    s.ops.chipCalib = {0x0C, 0x80};
    test::SetBufferWord(s, 511, 0x0FFF);
    rig.chip().program[511] = 0x0FFF;
    ASSERT_EQ(Tell(s, WriteProgramMemory(s, bar)), Result::Ok);
    EXPECT_EQ(test::BufferWord(s, 511), 0x0FFF);
}

TEST(BoardOpsWrite, HandshakeFailuresNameTheirCause) {
    {
        SimRig rig("FLASH", 64, 0);
        Session& s = *rig.session;
        ProgressBar bar(s);
        s.link.port.open("sim");
        test::BlankBuffer(s);
        rig.board().faults.silentAfterBytes = 0;
        const auto start = rig.clock.now;
        EXPECT_EQ(Tell(s, WriteProgramMemory(s, bar)), Result::Ng);
        EXPECT_EQ(s.view.note, "プログラムメモリのプログラミングに失敗しました。  タイムアウトが発生しました。 0");
        EXPECT_LE(rig.clock.now - start, 1100);
        EXPECT_FALSE(s.view.progressVisible);

        rig.board().faults = {};
        rig.board().faults.abortAtWord = 30;
        EXPECT_EQ(Tell(s, WriteProgramMemory(s, bar)), Result::Ng);
        EXPECT_EQ(s.view.note, "プログラムメモリのプログラミングに失敗しました。  中断コードが返信されました。 ");
        EXPECT_EQ(rig.board().log.back().dataWords, 31);

        rig.board().faults = {};
        rig.board().faults.silentAfterBytes = 0x2B;  // the count and 0x2A words acknowledged
        EXPECT_EQ(Tell(s, WriteProgramMemory(s, bar)), Result::Ng);
        EXPECT_EQ(s.view.note, "プログラムメモリのプログラミングに失敗しました。  タイムアウトが発生しました。 2B");

        rig.board().faults = {};
        rig.board().faults.silentAfterBytes = 64;  // no end code after the last word
        EXPECT_EQ(Tell(s, WriteProgramMemory(s, bar)), Result::Ng);
        EXPECT_EQ(s.view.note, "プログラムメモリのプログラミングに失敗しました。  受信タイムアウトが発生しました。 ");

        rig.board().faults = {};
        rig.board().faults.wrongEndCode = true;
        EXPECT_EQ(Tell(s, WriteProgramMemory(s, bar)), Result::Ng);
        EXPECT_EQ(s.view.note, "プログラムメモリのプログラミングに失敗しました。  終了コードを受信できませんでした。 ");
    }
    {
        SimRig rig("5X28", 2048, 0);
        Session& s = *rig.session;
        ProgressBar bar(s);
        s.link.port.open("sim");
        test::BlankBuffer(s);
        rig.board().faults.silentAfterBytes = 3;
        EXPECT_EQ(Tell(s, WriteProgramMemory(s, bar)), Result::Ng);
        EXPECT_EQ(s.view.note, "プログラムメモリのプログラミングに失敗しました。  (TMO) \r\n"
                               "コードプロテクトされた書込済みマイコンに再プログラミング行った可能性があります。");
        rig.board().faults = {};
        rig.board().faults.abortAtWord = 7;
        EXPECT_EQ(Tell(s, WriteProgramMemory(s, bar)), Result::Ng);
        EXPECT_EQ(s.view.note, "プログラムメモリのプログラミングに失敗しました。  (ABT) ");
        rig.board().faults = {};
        rig.board().faults.silentAfterBytes = 2053;
        EXPECT_EQ(Tell(s, WriteProgramMemory(s, bar)), Result::Ng);
        EXPECT_EQ(s.view.note, "プログラムメモリのプログラミングに失敗しました。  (RXO) \r\n"
                               "念のためデバイスと書き込みのオシレータ設定を確認してください。");
        rig.board().faults = {};
        rig.board().faults.wrongEndCode = true;
        EXPECT_EQ(Tell(s, WriteProgramMemory(s, bar)), Result::Ng);
        EXPECT_EQ(s.view.note, "プログラムメモリのプログラミングに失敗しました。  (EOF) ");
    }
}

// A USB adapter in low-latency mode hands over every byte alone, 1.04 ms
// apart: each refusal is judged whole, with its own note, and no byte of ours
// reaches the board after it.
TEST(BoardOpsWrite, RefusalsArrivingByteByByteAreJudgedWhole) {
    const std::string failed = "プログラムメモリのプログラミングに失敗しました。  ";
    auto byteByByte = [](SimRig& rig) {
        rig.session->link.port.open("sim");
        test::BlankBuffer(*rig.session);
        rig.board().pacing = true;
        rig.board().pieceBytes = 1;
    };
    // 14-bit: 0x40 and the word read back, at the first, a middle and the last word.
    for (int k : {0, 31, 63}) {
        SCOPED_TRACE(k);
        SimRig rig("FLASH", 64, 0);
        ProgressBar rigBar(*rig.session);
        byteByByte(rig);
        rig.board().faults.abortAtWord = k;
        EXPECT_EQ(Tell(*rig.session, WriteProgramMemory(*rig.session, rigBar)), Result::Ng);
        EXPECT_EQ(rig.session->view.note, failed + "中断コードが返信されました。 ");
        EXPECT_EQ(rig.board().received.size(), 5u + 2u * static_cast<unsigned>(k + 1));
        EXPECT_FALSE(rig.session->ops.linkFault);  // the chip refused: a verdict, not the link
    }
    // 12-bit: the word read back and 0x40, or only two bytes.
    for (int cut : {0, 1}) {
        SCOPED_TRACE(cut);
        SimRig rig("12C5", 512, 0);
        ProgressBar rigBar(*rig.session);
        byteByByte(rig);
        rig.board().faults.abortAtWord = 7;
        rig.board().faults.shortReplyBy = cut;
        EXPECT_EQ(Tell(*rig.session, WriteProgramMemory(*rig.session, rigBar)), Result::Ng);
        EXPECT_EQ(rig.session->view.note, failed + "(ABT) ");
        EXPECT_EQ(rig.board().received.size(), 5u + 2u * 8u);
    }
    // EEPROM: "*" answering a cell (the last one too), and the header.
    const std::string eepromFailed = "ＥＥＰＲＯＭデータメモリのプログラミングに失敗しました。　　 ";
    for (int cell : {4, 127, -1}) {
        SCOPED_TRACE(cell);
        SimRig rig("12F6", 1024, 128);
        ProgressBar rigBar(*rig.session);
        byteByByte(rig);
        rig.board().faults.eepromErrorAtCell = cell;
        if (cell < 0)
            rig.board().onReply = [](const SimCommand& c, Bytes& bytes, std::vector<std::int64_t>&) {
                if (c.letters == "wed" && c.dataWords == 0)
                    bytes = {'*', 0x00, 0x3F};
            };
        EXPECT_EQ(Tell(*rig.session, WriteEeprom(*rig.session, rigBar)), Result::Ng);
        EXPECT_EQ(rig.session->view.note,
                  cell < 0 ? eepromFailed
                           : eepromFailed + "( Address = " + std::to_string(cell) + "  Write = 3F00  Read = FF3F )");
        EXPECT_EQ(rig.board().received.size(), 5u + 2u * static_cast<unsigned>(cell + 1));
    }
    // A plain acknowledgement that cannot start a refusal costs nothing more:
    // 64 words, each 3 bytes on the wire, and one quiet wait after the end
    // code, which could begin an abort.
    SimRig rig("FLASH", 64, 0);
    ProgressBar rigBar(*rig.session);
    byteByByte(rig);
    const auto start = rig.clock.now;
    EXPECT_EQ(Tell(*rig.session, WriteProgramMemory(*rig.session, rigBar)), Result::Ok);
    EXPECT_LE(rig.clock.now - start, 5 + 65 * 2 + 5 + protocol::kRefusalQuietMs);
}

// A USB adapter hands a refusal over in chunks up to 16 ms apart: its lead
// byte alone must not pass for an acknowledgement, or more words follow.
TEST(BoardOpsWrite, RefusalSplitByAdapterLatencyStopsTheTransfer) {
    auto splitByLatency = [](const SimCommand&, Bytes& bytes, std::vector<std::int64_t>& delaysUs) {
        if (bytes.size() == 3)
            delaysUs = {0, 16'000, 16'000};
    };
    {
        SimRig rig("FLASH", 64, 0);
        ProgressBar rigBar(*rig.session);
        rig.session->link.port.open("sim");
        test::BlankBuffer(*rig.session);
        rig.board().faults.abortAtWord = 10;
        rig.board().onReply = splitByLatency;
        EXPECT_EQ(Tell(*rig.session, WriteProgramMemory(*rig.session, rigBar)), Result::Ng);
        EXPECT_EQ(rig.session->view.note, "プログラムメモリのプログラミングに失敗しました。  中断コードが返信されました。 ");
        EXPECT_EQ(rig.board().received.size(), 5u + 2u * 11u);  // nothing after the refused word
    }
    {
        SimRig rig("12F6", 1024, 128);
        ProgressBar rigBar(*rig.session);
        rig.session->link.port.open("sim");
        rig.board().faults.eepromErrorAtCell = 4;
        rig.board().onReply = splitByLatency;
        EXPECT_EQ(Tell(*rig.session, WriteEeprom(*rig.session, rigBar)), Result::Ng);
        EXPECT_EQ(rig.board().received.size(), 5u + 2u * 5u);
    }
}

TEST(BoardOpsWrite, TwelveBitConfigurationAnswerWithTheOscillatorBitsCountsAsWritten) {
    SimRig rig("5X18", 512, 0);
    Session& s = *rig.session;
    s.link.port.open("sim");
    test::SetConfigAreaWord(s, 7, 0x0FFA);
    rig.chip().setConfigWord(0x0F0A);  // EPROM: the write cannot set bits again
    EXPECT_EQ(Tell(s, WriteConfig(s)), Result::Ok);
    EXPECT_EQ(s.view.note, "コンフィギュレーションワードのプログラミングに失敗しました。　　\r\n ( Read = 0F0A  Write = 0FFA )");
    rig.chip().setConfigWord(0x0F1A);
    EXPECT_EQ(Tell(s, WriteConfig(s)), Result::Ng);
    rig.chip().setConfigWord(0x0FFF);
    EXPECT_EQ(Tell(s, WriteConfig(s)), Result::Ok);
    EXPECT_EQ(s.view.note, "コンフィギュレーションワードのプログラミングに成功しました。 ");
}

TEST(BoardOpsWrite, FourteenBitConfigurationFailureNamesAddressSeven) {
    SimRig rig("EPROM", 2048, 0);
    Session& s = *rig.session;
    s.link.port.open("sim");
    test::BlankBuffer(s);
    test::SetConfigAreaWord(s, 7, 0x3FB1);
    ASSERT_EQ(Tell(s, MergeConfigArea(s)), Result::Ok);
    rig.board().faults.wrongEndCode = true;
    EXPECT_EQ(Tell(s, WriteConfig(s)), Result::Ng);
    EXPECT_EQ(s.view.note, "コンフィギュレーションワードのプログラミングに失敗しました。　　 \r\n"
                           "( Address = 7  Read = ????  Write = 3FB1 )");
    EXPECT_TRUE(s.ops.linkFault);  // a missing end code is the link's failure, as everywhere

    // The chip refusing a word stops the transfer there: a verdict.
    rig.board().faults = {};
    rig.board().faults.abortAtWord = 2;
    s.ops.linkFault = false;
    EXPECT_EQ(Tell(s, WriteConfig(s)), Result::Ng);
    EXPECT_FALSE(s.ops.linkFault);
    EXPECT_EQ(rig.board().log.back().dataWords, 3);
}

TEST(BoardOpsWrite, MergeKeepsTheChipsOwnWordsFourToSix) {
    SimRig rig("FLASH", 64, 0);
    Session& s = *rig.session;
    s.link.port.open("sim");
    test::BlankBuffer(s);
    test::SetConfigAreaWord(s, 0, 0x3FF1);
    test::SetConfigAreaWord(s, 6, 0x1111);
    test::SetConfigAreaWord(s, 7, 0x3FF2);
    ASSERT_EQ(Tell(s, MergeConfigArea(s)), Result::Ok);
    const auto& image = s.ops.configImage;
    EXPECT_EQ(image[0] * 256 + image[1], 0x3FF1);
    EXPECT_EQ(image[12] * 256 + image[13], 0x0FC4);  // device id from the chip
    EXPECT_EQ(image[14] * 256 + image[15], 0x3FF2);
    ASSERT_EQ(Tell(s, WriteConfig(s)), Result::Ok);
    EXPECT_EQ(rig.chip().config[0], 0x3FF1);
    EXPECT_EQ(rig.chip().config[6], 0x0FC4);
}

TEST(BoardOpsWrite, EepromErrorReplyReportsTheCellSentLast) {
    SimRig rig("12F6", 1024, 128);
    Session& s = *rig.session;
    ProgressBar bar(s);
    s.link.port.open("sim");
    test::BlankBuffer(s);
    for (int n = 0; n < 128; ++n)
        s.buffer.eeprom[2 * n + 1] = static_cast<std::uint8_t>(n + 0x10);
    ASSERT_EQ(Tell(s, WriteEeprom(s, bar)), Result::Ok);
    EXPECT_EQ(rig.board().log.back().dataWords, 128);
    EXPECT_EQ(rig.chip().eeprom[127], 0x8F);
    EXPECT_EQ(s.view.progressMax, 257);

    rig.board().faults.eepromErrorAtCell = 4;  // seen while cell 5 is due
    EXPECT_EQ(Tell(s, WriteEeprom(s, bar)), Result::Ng);
    // The board answers "*", its read-back data, 0x3F.
    EXPECT_EQ(s.view.note, "ＥＥＰＲＯＭデータメモリのプログラミングに失敗しました。　　 "
                           "( Address = 4  Write = 3FEB  Read = 143F )");
    EXPECT_FALSE(s.view.progressVisible);
}

TEST(BoardOpsVerify, DifferenceLinesStopAfterMoreThanAHundred) {
    for (int differing : {100, 101, 150}) {
        SCOPED_TRACE(differing);
        SimRig rig("FLASH", 1024, 0);
        Session& s = *rig.session;
        ProgressBar bar(s);
        s.link.port.open("sim");
        test::BlankBuffer(s);
        for (int w = 0; w < differing; ++w)
            rig.chip().program[static_cast<std::size_t>(w)] = 0x0000;
        s.view.programMemory.text = "dump";
        EXPECT_EQ(Tell(s, VerifyProgramMemory(s, bar)), Result::Ng);
        const std::string& text = s.view.programMemory.text;
        const std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
        const bool remark = text.find("これ以降もエラーがある可能性があります。\r\n\r\n") != std::string::npos;
        EXPECT_EQ(remark, differing > 100);
        EXPECT_EQ(lines, differing > 100 ? 101u + 2u : 100u);
        EXPECT_EQ(text.rfind("Error　 アドレス:0x0000 , 正:0x3FFF , 誤:0x0000\r\n", 0), 0u);
        EXPECT_EQ(text.substr(text.size() - 4), "dump");
        EXPECT_EQ(s.ops.verifyPos, differing > 100 ? 200 : 2 * 1023);
        EXPECT_EQ(s.ops.verifyDifferences[0].words, differing);  // counted past the list
    }
}

TEST(BoardOpsVerify, TwelveBitListsIdsAfterProgramAndLeavesTheConfigurationWordAlone) {
    SimRig rig("5X18", 512, 0);
    Session& s = *rig.session;
    ProgressBar bar(s);
    s.link.port.open("sim");
    test::BlankBuffer(s);
    rig.chip().config[2] = 0x0005;
    rig.chip().setConfigWord(0x0FFB);
    EXPECT_EQ(Tell(s, VerifyProgramMemory(s, bar)), Result::Ng);
    EXPECT_EQ(s.view.programMemory.text, "Error　 アドレス:0x0202 , 正:0x0FFF , 誤:0x0005\r\n");
    EXPECT_EQ(s.ops.verifyPos, 2 * (512 + 4));
}

TEST(BoardOpsVerify, FourteenBitNeedsTheEndCodeEvenWhenAllWordsAgree) {
    SimRig rig("FLASH", 64, 16);
    Session& s = *rig.session;
    ProgressBar bar(s);
    s.link.port.open("sim");
    test::BlankBuffer(s);
    EXPECT_EQ(Tell(s, VerifyProgramMemory(s, bar)), Result::Ok);
    rig.board().faults.wrongEndCode = true;
    EXPECT_EQ(Tell(s, VerifyProgramMemory(s, bar)), Result::Ng);
    EXPECT_TRUE(s.ops.linkFault);
}

TEST(BoardOpsVerify, EepromDifferenceLine) {
    SimRig rig("FLASH", 64, 32);
    Session& s = *rig.session;
    ProgressBar bar(s);
    s.link.port.open("sim");
    test::BlankBuffer(s);
    s.buffer.eeprom[2 * 0x10 + 1] = 0xA5;
    EXPECT_EQ(Tell(s, VerifyEeprom(s, bar)), Result::Ng);
    EXPECT_EQ(s.view.eeprom.text, "Error　 アドレス:0x0010 , 正:0xA5 , 誤:0xFF\r\n");
}

TEST(BoardOpsVerify, ConfigurationComparesIdsAndWordSevenOnly) {
    SimRig rig("FLASH", 64, 0);
    Session& s = *rig.session;
    s.link.port.open("sim");
    test::BlankBuffer(s);
    for (int i = 4; i < 7; ++i)
        test::SetConfigAreaWord(s, i, rig.chip().config[static_cast<std::size_t>(i)]);
    test::SetConfigAreaWord(s, 5, 0x1234);  // words 4..6 are not compared
    Result protect = Result::Cp;
    EXPECT_EQ(Tell(s, VerifyConfig(s, protect)), Result::Ok);
    EXPECT_EQ(protect, Result::None);
    EXPECT_EQ(s.ops.verifyConfigText, "OK");

    rig.chip().config[1] = 0x3FF5;
    rig.chip().setConfigWord(0x3FE1);  // protection bit 0x10 cleared
    EXPECT_EQ(Tell(s, VerifyConfig(s, protect)), Result::Ng);
    EXPECT_EQ(protect, Result::Cp);
    EXPECT_EQ(s.view.note, "コンフィギュレーションワードのベリファイエラー\r\nデバイスにプログラミングされているデータ。"
                           "ＣＯＮＦＩＧ：3FE1ＩＤ：F5FF ");

    // Nothing is judged from a reply without its end code: a link failure, not protection.
    rig.board().faults.wrongEndCode = true;
    protect = Result::None;
    s.ops.linkFault = false;
    EXPECT_EQ(Tell(s, VerifyConfig(s, protect)), Result::Ng);
    EXPECT_EQ(protect, Result::None);
    EXPECT_TRUE(s.ops.linkFault);
    EXPECT_EQ(s.ops.verifyConfigText, "");
    EXPECT_EQ(s.view.note, "コンフィギュレーションワードのベリファイに失敗しました。  終了コードを受信できませんでした。 ");
}

TEST(BoardOpsVerify, AfterWriteComparesOnlyIdDigitsAndConfigurationWord) {
    SimRig rig("FLASH", 64, 0);
    Session& s = *rig.session;
    s.link.port.open("sim");
    auto& image = s.ops.configImage;
    image.fill(0x3F);
    for (std::size_t i = 1; i < 16; i += 2)
        image[i] = 0xFF;
    image[0] = 0x00;  // ID high byte differs, low digit agrees
    Result protect = Result::None;
    EXPECT_EQ(Tell(s, VerifyConfigAfterWrite(s, protect)), Result::Ok);
    image[1] = 0xF0;
    EXPECT_EQ(Tell(s, VerifyConfigAfterWrite(s, protect)), Result::Ng);
    EXPECT_EQ(s.view.note, "コンフィギュレーションワードのベリファイエラー ");
}

// Each operation with the end code replaced: the failure it reports.
TEST(BoardOpsFaults, WrongEndCodeFailsEveryOperation) {
    SimRig rig("12F6", 256, 16);
    Session& s = *rig.session;
    ProgressBar bar(s);
    s.link.port.open("sim");
    test::BlankBuffer(s);
    rig.board().faults.wrongEndCode = true;
    Result protect = Result::None;
    struct Case {
        const char* name;
        std::function<Result()> run;
        Result expected;
        const char* note;
    };
    const std::vector<Case> cases{
        {"erase", [&] { return Tell(s, EraseProgramMemory(s)); }, Result::Ng, "プログラムメモリの消去失敗。終了コードを受信できませんでした。 "},
        {"blank program", [&] { return Tell(s, BlankCheckProgramMemory(s)); }, Result::Er,
         "プログラムメモリブランクチェック失敗。　　終了コードを受信できませんでした。 "},
        {"blank eeprom", [&] { return Tell(s, BlankCheckEeprom(s)); }, Result::Er,
         "ＥＥＰＲＯＭデータメモリブランクチェック失敗。　　終了コードを受信できませんでした。 "},
        {"blank config", [&] { return Tell(s, BlankCheckConfig(s, protect)); }, Result::Er,
         "コンフィギュレーションワードブランクチェック失敗。　　終了コードを受信できませんでした。 "},
        {"read program", [&] { return Tell(s, ReadProgramMemory(s, bar)); }, Result::Ng,
         "プログラムメモリ読み出しブランクチェック失敗。　　終了コードを受信できませんでした。 "},
        {"read eeprom", [&] { return *Tell(s, ReadEeprom(s, bar)); }, Result::Ng,
         "ＥＥＰＲＯＭデータメモリ読み出し失敗。　　終了コードを受信できませんでした。 "},
        {"read config", [&] { return Tell(s, ReadConfig(s)); }, Result::Ng,
         "コンフィギュレーションワード読み出し失敗。　　終了コードを受信できませんでした。 "},
        {"read calibration", [&] { return Tell(s, ReadCalibration(s, bar)); }, Result::Ng, "ＯＳＣＣＡＬデータリード失敗。 "},
        {"read band gap", [&] { return Tell(s, ReadBandGap(s)); }, Result::Ng,
         "ＢＧデータリード失敗。　　終了コードを受信できませんでした。 "},
        {"merge", [&] { return Tell(s, MergeConfigArea(s)); }, Result::Ng,
         "コンフィギュレーションワード修正失敗。　　終了コードを受信できませんでした。 "},
        {"write eeprom", [&] { return *Tell(s, WriteEeprom(s, bar)); }, Result::Ng,
         "ＥＥＰＲＯＭデータメモリのプログラミングに失敗しました。  終了コードを受信できませんでした。 "},
        {"verify eeprom", [&] { return *Tell(s, VerifyEeprom(s, bar)); }, Result::Ng,
         "ＥＥＰＲＯＭデータメモリの ベリファイエラー。  終了コードを受信できませんでした。 "},
        {"verify config", [&] { return Tell(s, VerifyConfig(s, protect)); }, Result::Ng,
         "コンフィギュレーションワードのベリファイに失敗しました。  終了コードを受信できませんでした。 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        s.ops.linkFault = false;
        EXPECT_EQ(c.run(), c.expected);
        EXPECT_EQ(s.view.note, c.note);
        EXPECT_TRUE(s.ops.linkFault);
    }
    SimRig twelve("5X28", 512, 0);
    ProgressBar twelveBar(*twelve.session);
    twelve.session->link.port.open("sim");
    twelve.board().faults.wrongEndCode = true;
    EXPECT_EQ(Tell(*twelve.session, ReadProgramMemory(*twelve.session, twelveBar)), Result::Ng);
    EXPECT_EQ(twelve.session->view.note, "プログラムメモリ読み出し失敗。　　終了コードを受信できませんでした。 ");
    EXPECT_EQ(Tell(*twelve.session, VerifyProgramMemory(*twelve.session, twelveBar)), Result::Ng);
    EXPECT_EQ(twelve.session->view.note, "プログラムメモリ読み出し失敗。　　終了コードを受信できませんでした。 ");
}

// A silent board: every operation gives up, none waits past its limit
// (replies after board-side work over N words allow their wire time more).
TEST(BoardOpsFaults, SilentBoardEndsEveryOperationInTime) {
    SimRig rig("12F6", 256, 16);
    Session& s = *rig.session;
    ProgressBar bar(s);
    s.link.port.open("sim");
    test::BlankBuffer(s);
    rig.board().faults.silentAfterBytes = 0;
    Result protect = Result::None;
    const std::vector<std::pair<const char*, std::function<Result()>>> ops{
        {"erase", [&] { return Tell(s, EraseProgramMemory(s)); }},
        {"blank program", [&] { return Tell(s, BlankCheckProgramMemory(s)); }},
        {"blank config", [&] { return Tell(s, BlankCheckConfig(s, protect)); }},
        {"read program", [&] { return Tell(s, ReadProgramMemory(s, bar)); }},
        {"read config", [&] { return Tell(s, ReadConfig(s)); }},
        {"read calibration", [&] { return Tell(s, ReadCalibration(s, bar)); }},
        {"read band gap", [&] { return Tell(s, ReadBandGap(s)); }},
        {"write program", [&] { return Tell(s, WriteProgramMemory(s, bar)); }},
        {"merge", [&] { return Tell(s, MergeConfigArea(s)); }},
        {"write config", [&] { return Tell(s, WriteConfig(s)); }},
        {"write eeprom", [&] { return *Tell(s, WriteEeprom(s, bar)); }},
        {"verify program", [&] { return Tell(s, VerifyProgramMemory(s, bar)); }},
        {"verify eeprom", [&] { return *Tell(s, VerifyEeprom(s, bar)); }},
        {"verify config", [&] { return Tell(s, VerifyConfig(s, protect)); }},
        {"verify after write", [&] { return Tell(s, VerifyConfigAfterWrite(s, protect)); }},
    };
    for (const auto& [name, run] : ops) {
        SCOPED_TRACE(name);
        s.ops.linkFault = false;
        const auto start = rig.clock.now;
        const Result r = run();
        EXPECT_TRUE(r == Result::Ng || r == Result::Er);
        EXPECT_TRUE(s.ops.linkFault);
        EXPECT_GT(rig.clock.now - start, 1000);
        EXPECT_LE(rig.clock.now - start, protocol::FirstByteTimeoutMs(256) + 100);
    }
}

}  // namespace
}  // namespace vx
