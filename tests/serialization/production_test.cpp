// Production serialization: where a number goes in the image, the run file
// shared by the stations, and Program with the number on the simulated board.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <limits>
#include <memory>

#include "ops/workflows.h"
#include "serialization/production.h"
#include "serialization/serialization.h"
#include "serialization/station.h"
#include "support/simrig.h"

using namespace vx;

namespace {

DeviceInfo Device(const std::string& family, int words, int eeprom) {
    DeviceInfo d;
    d.name = "PICTEST";
    d.family = ParseFamily(family);
    d.familyName = family;
    d.programWords = words;
    d.eepromBytes = eeprom;
    return d;
}

PcBuffer Blank(const DeviceInfo& d) {
    PcBuffer b;
    const int blank = Traits(d.family).twelveBit() ? 0x0FFF : 0x3FFF;
    for (int w = 0; w < d.programWords; ++w) {
        b.program[2 * w] = static_cast<std::uint8_t>(blank >> 8);
        b.program[2 * w + 1] = 0xFF;
    }
    for (int n = 0; n < d.eepromBytes; ++n) {
        b.eeprom[2 * n] = 0x3F;
        b.eeprom[2 * n + 1] = 0xFF;
    }
    return b;
}

int Word(const std::array<std::uint8_t, kProgramBytes>& p, int a) { return p[2 * a] * 256 + p[2 * a + 1]; }

SerialRunSettings RunOf(SerialMode mode, std::int64_t start, std::int64_t quantity, std::int64_t address, int bytes) {
    SerialRunSettings s;
    s.mode = mode;
    s.start = start;
    s.quantity = quantity;
    s.address = address;
    s.bytes = bytes;
    return s;
}

// A process id that is certainly gone: a child that has ended and been reaped.
StationId DeadStation() {
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    int status = 0;
    waitpid(child, &status, 0);
    return {static_cast<long>(child), 1};
}

}  // namespace

TEST(SerialPlacement, RetlwWordsAndEepromBytesMostSignificantFirst) {
    const std::int64_t value = 0x12345678;
    for (int n = 1; n <= 4; ++n) {
        SCOPED_TRACE(n);
        const DeviceInfo mid = Device("FLASH", 1024, 64), base = Device("12C5", 512, 0);
        PcBuffer midImage = Blank(mid), baseImage = Blank(base), eepromImage = Blank(mid);
        const auto placed = PlaceSerial(mid, midImage, RunOf(SerialMode::Retlw, 0, 1, 0x3F0, n), value);
        PlaceSerial(base, baseImage, RunOf(SerialMode::Retlw, 0, 1, 0x100, n), value);
        PlaceSerial(mid, eepromImage, RunOf(SerialMode::Eeprom, 0, 1, 0x3C, n), value);
        for (int i = 0; i < n; ++i) {
            const int byte = (value >> (8 * (n - 1 - i))) & 0xFF;
            EXPECT_EQ(Word(midImage.program, 0x3F0 + i), 0x3400 | byte);
            EXPECT_EQ(Word(baseImage.program, 0x100 + i), 0x0800 | byte);
            EXPECT_EQ(eepromImage.eeprom[2 * (0x3C + i) + 1], byte);
            EXPECT_EQ(eepromImage.eeprom[2 * (0x3C + i)], 0x3F);
        }
        EXPECT_EQ(Word(midImage.program, 0x3F0 + n), 0x3FFF);
        EXPECT_EQ(Word(midImage.program, 0x3EF), 0x3FFF);
        RestorePlacement(midImage, placed);
        EXPECT_EQ(midImage.program, Blank(mid).program);
    }
    EXPECT_EQ(SerialValueBytes(0x0102, 2), (std::vector<std::uint8_t>{0x01, 0x02}));
}

TEST(SerialPlacement, RefusesRangesOutsideMemoryOrOverTheFile) {
    const DeviceInfo mid = Device("FLASH", 1024, 64), base = Device("12C5", 512, 0);
    PcBuffer image = Blank(mid);
    EXPECT_FALSE(CheckPlacement(mid, image, RunOf(SerialMode::Retlw, 0, 1, 0x3FC, 4)));
    EXPECT_TRUE(CheckPlacement(mid, image, RunOf(SerialMode::Retlw, 0, 1, 0x3FD, 4)));
    EXPECT_TRUE(CheckPlacement(mid, image, RunOf(SerialMode::Retlw, 0, 1, 0x7FFFFFFFFFFFFFF0, 4)));
    EXPECT_TRUE(CheckPlacement(mid, image, RunOf(SerialMode::Eeprom, 0, 1, 62, 3)));
    EXPECT_FALSE(CheckPlacement(mid, image, RunOf(SerialMode::Eeprom, 0, 1, 60, 4)));
    EXPECT_EQ(CheckPlacement(base, Blank(base), RunOf(SerialMode::Eeprom, 0, 1, 0, 1)),
              "このデバイスにはＥＥＰＲＯＭがないため、シリアル番号を書き込めません。");
    EXPECT_TRUE(CheckPlacement(base, Blank(base), RunOf(SerialMode::Retlw, 0, 1, 510, 3)));

    // Words and bytes of the file are taken; so is the calibration word.
    image.program[2 * 0x10] = 0x28;
    EXPECT_EQ(CheckPlacement(mid, image, RunOf(SerialMode::Retlw, 0, 1, 0x0E, 4)),
              "シリアル番号の書込み範囲 0xE〜0x11 がHEXファイルのデータ (0x10) と重なっています。");
    EXPECT_FALSE(CheckPlacement(mid, image, RunOf(SerialMode::Retlw, 0, 1, 0x11, 4)));
    image.eeprom[2 * 5 + 1] = 0x00;
    EXPECT_TRUE(CheckPlacement(mid, image, RunOf(SerialMode::Eeprom, 0, 1, 4, 2)));
    image.calibText = "retlw 0x80";
    EXPECT_TRUE(CheckPlacement(mid, image, RunOf(SerialMode::Retlw, 0, 1, 0x3FC, 4)));
    EXPECT_FALSE(CheckPlacement(mid, image, RunOf(SerialMode::Retlw, 0, 1, 0x3FB, 4)));
}

TEST(SerialRun, SettingsAndFilesThatCannotBeUsed) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    EXPECT_FALSE(CheckRunSettings(RunOf(SerialMode::Retlw, 0, 256, 0, 1)));
    EXPECT_TRUE(CheckRunSettings(RunOf(SerialMode::Retlw, 0, 257, 0, 1)));  // 256 does not fit a byte
    EXPECT_TRUE(CheckRunSettings(RunOf(SerialMode::Retlw, kMax, 1, 0, 4)));
    EXPECT_TRUE(CheckRunSettings(RunOf(SerialMode::Retlw, 0, 0, 0, 4)));
    auto big = RunOf(SerialMode::Retlw, 1, 3, 0, 4);
    big.increment = kMax;  // the last value would overflow
    EXPECT_TRUE(CheckRunSettings(big));
    big.increment = 0;
    EXPECT_TRUE(CheckRunSettings(big));
    EXPECT_EQ(ParseSerialInteger("0x7FFFFFFFFFFFFFFF"), kMax);
    EXPECT_FALSE(ParseSerialInteger("9223372036854775808"));
    EXPECT_FALSE(ParseSerialInteger("0x"));
    EXPECT_FALSE(ParseSerialInteger(" 5"));

    SerialRunState state;
    state.settings = RunOf(SerialMode::Eeprom, 100, 10, 4, 2);
    state.nextIndex = 4;
    state.count = 2;
    state.returned = {1};
    state.reserved = {{3, {77, 12345}}};
    const std::string text = FormatRunState(state);
    std::string error;
    const auto back = ParseRunState(text, error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(FormatRunState(*back), text);

    const std::string noEnd = text.substr(0, text.rfind("end"));
    const std::string wrongCount = [&] {
        std::string t = text;
        t.replace(t.find("count 2"), 7, "count 3");
        return t;
    }();
    for (const std::string& bad : {std::string(), noEnd, text.substr(0, text.size() / 2), std::string("hello\n"),
                                   wrongCount, text + "extra\n"}) {
        EXPECT_FALSE(ParseRunState(bad, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
}

TEST(SerialRun, NumbersComeBackWhenChipsFailOrStationsVanish) {
    test::TestRig rig;
    const std::string path = rig.dir + "run.txt";
    SerialRunFile file(path);
    std::string error;
    EXPECT_FALSE(file.load(error));
    ASSERT_TRUE(file.create(RunOf(SerialMode::Retlw, 1000, 4, 0x200, 2), error)) << error;
    EXPECT_FALSE(file.create(RunOf(SerialMode::Retlw, 0, 4, 0x200, 2), error));

    const StationId me = ThisStation(), gone = DeadStation();
    EXPECT_TRUE(StationAlive(me));
    EXPECT_FALSE(StationAlive(gone));
    EXPECT_FALSE(StationAlive({me.pid, me.started + 1}));  // a recycled process id

    auto a = file.reserve(me);
    ASSERT_EQ(a.result, SerialRunFile::Take::Reserved);
    EXPECT_EQ(a.value, 1000);
    auto b = file.reserve(gone);  // a station that is killed while programming
    EXPECT_EQ(b.value, 1001);
    ASSERT_TRUE(file.giveBack(a.reservation, error));  // the chip failed
    auto c = file.reserve(me);
    EXPECT_EQ(c.value, 1000);  // the failed chip's number goes to the next one
    auto d = file.reserve(me);  // a station holds one number at a time
    EXPECT_EQ(d.value, 1000);
    ASSERT_TRUE(file.commit(d.reservation, rig.dir + "record.txt", "line 1000", error)) << error;
    EXPECT_FALSE(file.commit(c.reservation, "", "", error));  // recorded once only

    // The vanished station's number comes back before new ones.
    std::vector<std::int64_t> values;
    for (int i = 0; i < 3; ++i) {
        auto e = file.reserve(me);
        ASSERT_EQ(e.result, SerialRunFile::Take::Reserved);
        values.push_back(e.value);
        ASSERT_TRUE(file.commit(e.reservation, rig.dir + "record.txt", "line " + std::to_string(e.value), error));
    }
    EXPECT_EQ(values, (std::vector<std::int64_t>{1001, 1002, 1003}));
    EXPECT_EQ(file.reserve(me).result, SerialRunFile::Take::Finished);
    EXPECT_EQ(file.load(error)->count, 4);
    EXPECT_EQ(test::ReadFileBytes(rig.dir + "record.txt"), "line 1000\r\nline 1001\r\nline 1002\r\nline 1003\r\n");
}

namespace {

// A PIC16F84A-sized flash part on the simulated board, with a short program.
struct Station : test::SimRig {
    Station() : SimRig("FLASH", 1024, 64) {
        s().device.name = "PIC16F84A";
        for (int w = 0; w < 1024; ++w) {
            s().buffer.program[2 * w] = 0x3F;
            s().buffer.program[2 * w + 1] = 0xFF;
        }
        for (int n = 0; n < 64; ++n) {
            s().buffer.eeprom[2 * n] = 0x3F;
            s().buffer.eeprom[2 * n + 1] = 0xFF;
        }
        s().buffer.program[0] = 0x28;  // goto 0
        s().buffer.program[1] = 0x00;
        s().loader.loadedPath = "/lab/prog.hex";
    }
    Session& s() { return *session; }
    int chipWord(int a) { return chip().program[static_cast<std::size_t>(a)]; }
};

}  // namespace

TEST(SerialStation, ProgramCarriesTheNumberAndOnlyAPassUsesItUp) {
    Station st;
    Session& s = st.s();
    const std::string run = st.dir + "run.txt", record = st.dir + "SERIAL_LOG.txt";
    std::string error;
    ASSERT_TRUE(SerialRunFile(run).create(RunOf(SerialMode::Retlw, 0x0AFF, 2, 0x3F0, 2), error));
    SerialStation station(run, record, "COM3 (/dev/ttyUSB0)");
    s.ops.programHook = &station;

    // The board aborts the write: the number is not used up.
    st.board().faults.abortAtWord = 2;
    EXPECT_NE(RunProgram(s), Outcome::Passed);
    EXPECT_FALSE(station.recorded);
    EXPECT_EQ(SerialValueAt(station.state->settings, *station.state->nextFree()), 0x0AFF);
    st.board().faults.abortAtWord = -1;
    st.clock.now += 1000;
    st.ui.overwriteAnswers.push_back(1);  // the failed chip holds part of the program

    ASSERT_EQ(RunProgram(s), Outcome::Passed) << s.view.note;
    EXPECT_EQ(st.chipWord(0x3F0), 0x340A);
    EXPECT_EQ(st.chipWord(0x3F1), 0x34FF);
    EXPECT_EQ(st.chipWord(0), 0x2800);
    EXPECT_EQ(s.buffer.program[2 * 0x3F0], 0x3F);  // the image is the file's again
    EXPECT_EQ(station.lastBytes, "0A:FF");
    const std::string line = test::ReadFileBytes(record);
    EXPECT_NE(line.find("  PIC16F84A  2815  0A:FF  /lab/prog.hex  "), std::string::npos) << line;
    EXPECT_NE(line.find("  COM3 (/dev/ttyUSB0)\r\n"), std::string::npos) << line;

    // The chip now holds code: answered "はい" it is overwritten with the next number.
    st.ui.overwriteAnswers.push_back(1);
    st.clock.now += 1000;
    ASSERT_EQ(RunProgram(s), Outcome::Passed) << s.view.note;
    EXPECT_EQ(st.chipWord(0x3F1), 0x3400);

    // The quantity is used up: Program refuses before the board is touched.
    const auto attempts = s.run.attemptCount;
    EXPECT_EQ(RunProgram(s), Outcome::Failed);
    EXPECT_EQ(station.stop, SerialStation::Stop::Finished);
    EXPECT_EQ(s.view.note.rfind(kSerialQuantityReached, 0), 0u);
    EXPECT_EQ(s.run.attemptCount, attempts);

    // A range over the file's code is refused the same way.
    s.buffer.program[2 * 0x3F0] = 0x30;
    EXPECT_EQ(RunProgram(s), Outcome::Failed);
    EXPECT_EQ(station.stop, SerialStation::Stop::Refused);
    s.ops.programHook = nullptr;
}

TEST(SerialStation, WindowRunRefusesFractionsAndSurvivesARestart) {
    Station st;
    Session& s = st.s();
    test::WriteFileBytes(st.dir + "prog.hex", ":04000000553000284F\n:00000001FF\n");
    s.loader.hexPath = st.dir + "prog.hex";
    auto w = std::make_unique<SerialProgramming>(s);
    w->setDataStart("7.5");
    w->setDataFinish("3");
    w->setStartAddress("3F0");
    w->selectWriteMode(SerialMode::Retlw);
    w->setEnabled(true);
    EXPECT_EQ(w->message, "書込みモードでは、開始データ値・増分データ値・数量・書込みアドレスを整数にしてください。");
    EXPECT_EQ(RunProgram(s), Outcome::Failed);  // never a chip without its number
    EXPECT_EQ(st.chipWord(0), 0x3FFF);

    w->setEnabled(false);
    w->setDataStart("7");
    w->setEnabled(true);
    EXPECT_EQ(w->nextData, "7");
    ASSERT_EQ(RunProgram(s), Outcome::Passed) << s.view.note;
    EXPECT_EQ(st.chipWord(0x3F0), 0x3407);
    EXPECT_EQ(w->wroteDec, "7");
    EXPECT_EQ(w->nextData, "8");
    EXPECT_EQ(w->finishCount, "1");
    w->recordDevice();  // "chk" records nothing in a write mode
    EXPECT_EQ(w->finishCount, "1");

    // The program ends; at the next start the run is offered and continues.
    w->unload({0, 0, false});
    w.reset();
    EXPECT_EQ(s.ops.programHook, nullptr);
    ASSERT_TRUE(SavedSerialRun(s));
    SerialProgramming again(s);
    ASSERT_TRUE(again.resumeSavedRun());
    EXPECT_EQ(again.writeMode, SerialMode::Retlw);
    EXPECT_EQ(again.dataStart, "8");
    EXPECT_EQ(again.startAddress, "3F0");
    again.setEnabled(true);
    st.ui.overwriteAnswers.push_back(1);
    st.clock.now += 1000;
    ASSERT_EQ(RunProgram(s), Outcome::Passed) << s.view.note;
    EXPECT_EQ(st.chipWord(0x3F0), 0x3408);
    EXPECT_EQ(again.finishCount, "2");

    // Exported for vormex-cli stations: the window goes on with the same file.
    again.setEnabled(false);
    ASSERT_TRUE(again.exportRun(st.dir + "shared.txt"));
    std::string error;
    const auto shared = SerialRunFile(st.dir + "shared.txt").load(error);
    ASSERT_TRUE(shared) << error;
    EXPECT_EQ(shared->count, 2);
    EXPECT_EQ(SerialValueAt(shared->settings, *shared->nextFree()), 9);
    EXPECT_EQ(again.runPath(), st.dir + "shared.txt");
}
