// The simulated board against the reply layouts the board operations rely on.
#include <gtest/gtest.h>

#include "sim/simport.h"
#include "support/fakes.h"

namespace vx {
namespace {

using test::VirtualClock;

// Talks to a SimPort the way the board operations do, without a session.
struct Wire {
    explicit Wire(SimChip chip) : port(clock, std::move(chip)) { port.open("sim"); }

    void send(const std::string& letters) {
        for (char c : letters) {
            port.write(Bytes{static_cast<std::uint8_t>(c)});
            clock.sleepMs(1);
        }
    }
    void count(int n) {
        port.write(Bytes{static_cast<std::uint8_t>(n / 256)});
        clock.sleepMs(1);
        port.write(Bytes{static_cast<std::uint8_t>(n % 256)});
        clock.sleepMs(1);
    }
    void word(int w) { port.write(Bytes{static_cast<std::uint8_t>(w >> 8), static_cast<std::uint8_t>(w & 0xFF)}); }
    // Waits up to timeoutMs for n bytes, then takes everything waiting.
    Bytes take(int n, int timeoutMs = 1000) {
        const auto start = clock.nowMs();
        while (port.bytesAvailable() < n && clock.nowMs() - start <= timeoutMs)
            port.waitForData(static_cast<int>(timeoutMs - (clock.nowMs() - start) + 1));
        return port.readAll();
    }
    static int wordAt(const Bytes& b, int i) { return b[2 * i] * 256 + b[2 * i + 1]; }
    // A whole per-word write: returns every reply, one per handshake step.
    std::vector<Bytes> write(const std::string& letters, const std::vector<int>& words) {
        std::vector<Bytes> replies;
        send(letters);
        count(static_cast<int>(words.size()));
        for (int w : words) {
            replies.push_back(take(1));
            word(w);
        }
        replies.push_back(take(1));
        return replies;
    }

    VirtualClock clock;
    SimPort port;
};

const Bytes kAckOnly{SimBoard::kAck};
const Bytes kEnd{0x40};

TEST(SimBoardIdentify, AnswersSeventeenBytesWithVersionAndIgnoresResets) {
    Wire w(SimChip("FLASH", 1024, 64));
    w.send("***?");
    const Bytes r = w.take(17);
    EXPECT_EQ(std::string(r.begin(), r.end()), "TAVPIC-PGMV4.01\r\n");

    w.port.board.faults.foreignIdentification = true;
    w.send("?");
    const Bytes f = w.take(17);
    ASSERT_EQ(f.size(), 17u);
    EXPECT_NE(std::string(f.begin(), f.begin() + 6), "TAVPIC");
}

TEST(SimBoardBlankCheck, FiveByteSummaryForSixteenC5xStartsAtConfigurationWord) {
    Wire w(SimChip("5X18", 512, 0));
    w.send("bps");
    w.count(512 + 5);
    EXPECT_EQ(w.take(5), (Bytes{0xFF, 0xFF, 0x0F, 0xFF, 0x40}));

    w.port.board.chip.program[10] = 0x0A05;
    w.send("bpl");
    w.count(512 + 5);
    EXPECT_EQ(w.take(5), (Bytes{0x00, 11, 0x0A, 0x05, 0x40}));  // index 11 = program word 10
}

TEST(SimBoardBlankCheck, TwelveC5SequenceFindsCalibrationAndIdWords) {
    Wire w(SimChip("12C5", 512, 0, 0x0C5A));
    w.send("bs");
    w.count(512);  // configuration word and program words but the last
    EXPECT_EQ(w.take(3), (Bytes{0x0F, 0xFF, 0x40}));
    w.send("bs");
    w.count(513);
    EXPECT_EQ(w.take(3), (Bytes{0x0C, 0x5A, 0x40}));
    w.port.board.chip.config[2] = 0x0FF0;  // ID word 2 clears bits of the calibration word
    w.send("bs");
    w.count(517);
    EXPECT_EQ(w.take(3), (Bytes{0x0C, 0x50, 0x40}));
}

TEST(SimBoardBlankCheck, FourteenBitSummaryOverProgramWords) {
    Wire w(SimChip("12C6", 1024, 0));
    w.send("bs");
    w.count(1023);
    EXPECT_EQ(w.take(3), (Bytes{0x3F, 0xFF, 0x40}));
    w.send("bs");
    w.count(1024);
    EXPECT_EQ(w.take(3), (Bytes{0x34, 0x80, 0x40}));  // the calibration word
}

TEST(SimBoardRead, TwelveBitReadIsConfigurationProgramThenIds) {
    Wire w(SimChip("5X28", 2048, 0));
    auto& chip = w.port.board.chip;
    chip.setConfigWord(0x0FF9);
    chip.program[0] = 0x0123;
    chip.program[2047] = 0x0456;
    chip.config[3] = 0x0007;
    w.send("rpl");
    w.count(2048 + 5);
    const Bytes r = w.take(2 * 2053 + 1, 30000);
    ASSERT_EQ(r.size(), 2u * 2053 + 1);
    EXPECT_EQ(Wire::wordAt(r, 0), 0x0FF9);
    EXPECT_EQ(Wire::wordAt(r, 1), 0x0123);
    EXPECT_EQ(Wire::wordAt(r, 2048), 0x0456);
    EXPECT_EQ(Wire::wordAt(r, 2052), 0x0007);
    EXPECT_EQ(r.back(), 0x40);

    // "r s p" with one word is how a 12C5 configuration read looks.
    Wire c5(SimChip("12C5", 512, 0));
    c5.port.board.chip.setConfigWord(0x0FEA);
    c5.send("rsp");
    c5.count(1);
    EXPECT_EQ(c5.take(3), (Bytes{0x0F, 0xEA, 0x40}));
}

TEST(SimBoardRead, ConfigurationAreaHoldsReadOnlyWordsAndDeviceId) {
    Wire w(SimChip("12F6", 1024, 128, std::nullopt, -1, 0x0FC4));
    w.send("rsc");
    w.count(8);
    const Bytes r = w.take(17);
    ASSERT_EQ(r.size(), 17u);
    EXPECT_EQ(Wire::wordAt(r, 0), 0x3FFF);
    EXPECT_EQ(Wire::wordAt(r, 6), 0x0FC4);
    EXPECT_EQ(Wire::wordAt(r, 7), 0x2FFF);  // factory band-gap bits 10
    EXPECT_EQ(r[16], 0x40);

    // Writes to words 4..6 are accepted but change nothing.
    const auto replies = w.write("wec", {0, 1, 2, 3, 0x1111, 0x2222, 0x3333, 0x31C4});
    EXPECT_EQ(replies.back(), kEnd);
    EXPECT_EQ(w.port.board.chip.config[6], 0x0FC4);
    EXPECT_EQ(w.port.board.chip.config[4], 0x0000);
    EXPECT_EQ(w.port.board.chip.configWord(), 0x31C4);
}

TEST(SimBoardRead, EepromCellsComePaddedWith3F) {
    Wire w(SimChip("FLASH", 1024, 64));
    w.port.board.chip.eeprom[1] = 0xA5;
    w.send("rsd");
    w.count(64);
    const Bytes r = w.take(129);
    ASSERT_EQ(r.size(), 129u);
    EXPECT_EQ(r[0], 0x3F);
    EXPECT_EQ(r[1], 0xFF);
    EXPECT_EQ(r[3], 0xA5);
    EXPECT_EQ(r[128], 0x40);
}

TEST(SimBoardWrite, HandshakeAcknowledgesCountAndEveryWordThenEndCode) {
    Wire w(SimChip("FLASH", 1024, 64));
    const auto replies = w.write("wef", {0x2805, 0x3FFF, 0x0008});
    ASSERT_EQ(replies.size(), 4u);
    EXPECT_EQ(replies[0], kAckOnly);
    EXPECT_EQ(replies[1], kAckOnly);
    EXPECT_EQ(replies[2], kAckOnly);
    EXPECT_EQ(replies[3], kEnd);
    EXPECT_EQ(w.port.board.chip.program[0], 0x2805);
    EXPECT_EQ(w.port.board.chip.program[2], 0x0008);
    ASSERT_FALSE(w.port.board.log.empty());
    EXPECT_EQ(w.port.board.log.back().letters, "wef");
    EXPECT_EQ(w.port.board.log.back().count, 3);
    EXPECT_EQ(w.port.board.log.back().dataWords, 3);
}

TEST(SimBoardWrite, EpromCellsOnlyClearBitsAndAbortWhenTheyCannotBeSet) {
    Wire w(SimChip("EPROM", 2048, 0));
    w.port.board.chip.program[1] = 0x0F0F;
    const auto replies = w.write("wsp", {0x3FFF, 0x00FF, 0x1234});
    // Word 1 reads back 0x000F: the 14-bit abort reply, end code first.
    ASSERT_EQ(replies.size(), 4u);
    EXPECT_EQ(replies[2], (Bytes{0x40, 0x00, 0x0F}));
    EXPECT_EQ(w.port.board.chip.program[1], 0x000F);

    Wire t(SimChip("5X18", 512, 0));
    t.port.board.chip.setConfigWord(0x0FF0);
    const auto r12 = t.write("wps", {0x0FF8});  // the configuration word alone, as WriteConfig sends it
    EXPECT_EQ(r12.back(), (Bytes{0x0F, 0xF0, 0x40}));
}

TEST(SimBoardWrite, TwelveBitWriteCarriesConfigurationProgramAndIds) {
    Wire w(SimChip("5X18", 4, 0));
    const auto replies = w.write("wps", {0x0FFF, 0x0001, 0x0002, 0x0003, 0x0004, 0x0A, 0x0B, 0x0C, 0x0D});
    EXPECT_EQ(replies.back(), kEnd);
    const auto& chip = w.port.board.chip;
    EXPECT_EQ(chip.program, (std::vector<std::uint16_t>{1, 2, 3, 4}));
    EXPECT_EQ(chip.config[0], 0x0A);
    EXPECT_EQ(chip.config[3], 0x0D);
}

TEST(SimBoardWrite, EepromCellsTakeTheDataByte) {
    Wire w(SimChip("12F6", 1024, 128));
    std::vector<int> cells(128, 0x3F00);
    cells[5] = 0x3F5A;
    const auto replies = w.write("wed", cells);
    EXPECT_EQ(replies.back(), kEnd);
    EXPECT_EQ(w.port.board.chip.eeprom[5], 0x5A);
    EXPECT_EQ(w.port.board.chip.eeprom[6], 0x00);
}

TEST(SimBoardErase, FlashBulkEraseTakesCalibrationBandGapAndConfigurationButNotEeprom) {
    Wire w(SimChip("12F6", 1024, 128));
    auto& chip = w.port.board.chip;
    chip.program[0] = 0x2805;
    chip.eeprom[0] = 0x12;
    chip.config[0] = 0x0001;
    w.send("bD");
    EXPECT_EQ(w.take(1), kEnd);
    EXPECT_EQ(chip.program[0], 0x3FFF);
    EXPECT_EQ(chip.program[1023], 0x3FFF);  // calibration word gone
    EXPECT_EQ(chip.configWord(), 0x3FFF);   // band-gap bits gone
    EXPECT_EQ(chip.config[0], 0x3FFF);
    EXPECT_EQ(chip.config[6], 0x0FC4);
    EXPECT_EQ(chip.eeprom[0], 0x12);

    Wire e(SimChip("EPROM", 1024, 0));
    e.port.board.chip.program[0] = 0;
    e.send("bd");
    EXPECT_EQ(e.take(1), kEnd);
    EXPECT_EQ(e.port.board.chip.program[0], 0);
}

TEST(SimBoardProtection, ProtectedChipReadsZeroRefusesWritesUntilErased) {
    Wire w(SimChip("FLASH", 1024, 64, std::nullopt, 0x0010));
    auto& chip = w.port.board.chip;
    chip.program[0] = 0x2805;
    chip.setConfigWord(0x3FEF);
    ASSERT_TRUE(chip.codeProtected());
    w.send("rsp");
    w.count(2);
    EXPECT_EQ(w.take(5), (Bytes{0, 0, 0, 0, 0x40}));
    w.send("rsc");
    w.count(8);
    EXPECT_EQ(Wire::wordAt(w.take(17), 7), 0x3FEF);  // the configuration word stays readable
    const auto replies = w.write("wef", {0x1234});
    EXPECT_EQ(replies.back()[0], 0x40);
    EXPECT_EQ(replies.back().size(), 3u);

    w.send("bd");
    w.take(1);
    EXPECT_FALSE(chip.codeProtected());
}

TEST(SimBoardFaults, SilenceAfterNBytesCutsTheReply) {
    Wire w(SimChip("FLASH", 1024, 64));
    w.port.board.faults.silentAfterBytes = 10;
    w.send("?");
    EXPECT_EQ(w.take(17).size(), 10u);
    w.send("?");
    EXPECT_TRUE(w.take(17).empty());
}

TEST(SimBoardFaults, WrongEndCodeAndShortReply) {
    Wire w(SimChip("FLASH", 1024, 64));
    w.port.board.faults.wrongEndCode = true;
    w.send("rsc");
    w.count(8);
    EXPECT_NE(w.take(17).at(16), 0x40);
    w.send("bd");
    EXPECT_NE(w.take(1).at(0), 0x40);

    w.port.board.faults.wrongEndCode = false;
    w.port.board.faults.shortReplyBy = 1;
    w.send("rsc");
    w.count(8);
    EXPECT_EQ(w.take(17).size(), 16u);
    w.send("?");
    EXPECT_EQ(w.take(17).size(), 16u);
}

TEST(SimBoardFaults, AbortAtWordKAndEepromErrorAtCellK) {
    Wire w(SimChip("5X18", 512, 0));
    std::vector<int> words(517, 0x0FFF);
    w.port.board.faults.abortAtWord = 4;
    w.send("wps");
    w.count(517);
    Bytes reply;
    int k = 0;
    for (; k < 517; ++k) {
        reply = w.take(1);
        if (reply.size() != 1)
            break;
        w.word(words[static_cast<std::size_t>(k)]);
    }
    EXPECT_EQ(k, 5);  // the answer to word 4 comes before word 5 is sent
    EXPECT_EQ(reply, (Bytes{0x0F, 0xFF, 0x40}));

    Wire e(SimChip("FLASH", 1024, 64));
    e.port.board.faults.eepromErrorAtCell = 4;
    e.send("wed");
    e.count(64);
    for (k = 0; k < 64; ++k) {
        reply = e.take(1);
        if (reply.size() != 1)
            break;
        e.word(0x3F00 + k);
    }
    EXPECT_EQ(k, 5);
    EXPECT_EQ(reply, (Bytes{'*', static_cast<std::uint8_t>(~4), 0x3F}));
}

TEST(SimBoardFaults, ByteDelayAndPacingTakeVirtualTime) {
    Wire w(SimChip("FLASH", 1024, 64));
    w.port.board.pacing = true;
    auto start = w.clock.nowMs();
    w.send("?");
    EXPECT_EQ(w.take(17).size(), 17u);
    EXPECT_GE(w.clock.nowMs() - start, 18);  // 17 bytes of 10 bits at 9600 baud
    EXPECT_LE(w.clock.nowMs() - start, 21);

    w.port.board.pacing = false;
    w.port.board.faults.byteDelayMs = 100;
    w.send("?");
    EXPECT_LT(w.take(17, 1000).size(), 17u);  // 1.7 s of reply does not fit in 1 s
}

TEST(SimBoardRecovery, HalfSentCommandIsDroppedAfterAPause) {
    Wire w(SimChip("FLASH", 1024, 64));
    w.send("wef");
    w.count(10);
    EXPECT_EQ(w.take(1), kAckOnly);
    w.word(0x1234);  // then the PC gives up
    w.take(1);
    w.clock.sleepMs(1000);
    w.send("***?");
    const Bytes r = w.take(17);
    EXPECT_EQ(std::string(r.begin(), r.begin() + 6), "TAVPIC");
}

TEST(SimBoardPort, ClosedPortTakesNothingAndWaitsOutItsTimeOut) {
    Wire w(SimChip("FLASH", 1024, 64));
    w.port.close();
    w.send("?");
    const auto start = w.clock.nowMs();
    EXPECT_FALSE(w.port.waitForData(250));
    EXPECT_EQ(w.clock.nowMs() - start, 250);
    EXPECT_EQ(w.port.bytesAvailable(), 0);
    EXPECT_TRUE(w.port.board.received.empty());
}

TEST(SimChipState, SaveAndLoadKeepTheWholeChip) {
    SimChip chip("12F6", 1024, 128);
    chip.program[5] = 0x1234;
    chip.eeprom[7] = 0x99;
    chip.setConfigWord(0x31A4);
    const auto loaded = SimChip::load(chip.save());
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(loaded->familyName, "12F6");
    EXPECT_EQ(loaded->program, chip.program);
    EXPECT_EQ(loaded->config, chip.config);
    EXPECT_EQ(loaded->eeprom, chip.eeprom);
    EXPECT_EQ(loaded->codeProtectMask, chip.codeProtectMask);
    EXPECT_FALSE(SimChip::load("family FLASH\nwords 4\n").has_value());
}

}  // namespace
}  // namespace vx
