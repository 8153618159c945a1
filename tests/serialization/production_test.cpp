// Production serialization: where a number goes in the image, the run file
// shared by the stations, and Program with the number on the simulated board.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <memory>

#include "base/digest.h"
#include "ops/workflows.h"
#include "serialization/production.h"
#include "serialization/runstore.h"
#include "serialization/serialization.h"
#include "serialization/station.h"
#include "support/pgcluster.h"
#include "support/imagefixture.h"
#include "support/simrig.h"

using namespace vx;

namespace {

DeviceInfo Device(const std::string& family, int words, int eeprom) {
    return test::TestDevice(family, words, eeprom);
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

}  // namespace

TEST(SerialPlacement, RetlwWordsAndEepromBytesMostSignificantFirst) {
    const std::int64_t value = 0x12345678;
    for (int n = 1; n <= 4; ++n) {
        SCOPED_TRACE(n);
        const DeviceInfo mid = Device("FLASH", 1024, 64), base = Device("12C5", 512, 0);
        PcBuffer midImage = Blank(mid), baseImage = Blank(base), eepromImage = Blank(mid);
        const auto placed = *PlaceSerial(mid, midImage, RunOf(SerialMode::Retlw, 0, 1, 0x3F0, n), value);
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

    // Whatever the caller passes, nothing is written outside the image's arrays.
    const DeviceInfo mid = Device("FLASH", 1024, 64);
    const PcBuffer blank = Blank(mid);
    for (const auto& s : {RunOf(SerialMode::Retlw, 0, 1, 0x7FFFFFFFFFFFFFF0, 4), RunOf(SerialMode::Retlw, 0, 1, 8190, 3),
                          RunOf(SerialMode::Retlw, 0, 1, -1, 1), RunOf(SerialMode::Eeprom, 0, 1, 255, 2),
                          RunOf(SerialMode::Retlw, 0, 1, 0, 9), RunOf(SerialMode::Display, 0, 1, 0, 1)}) {
        PcBuffer image = blank;
        EXPECT_FALSE(PlaceSerial(mid, image, s, 0x12345678)) << s.address;
        EXPECT_EQ(image.program, blank.program);
        EXPECT_EQ(image.eeprom, blank.eeprom);
    }
    PcBuffer top = blank;
    EXPECT_TRUE(PlaceSerial(mid, top, RunOf(SerialMode::Retlw, 0, 1, 8190, 2), 1));  // the image's last words
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
    // A calibrated family's last word is its calibration word, with or without the entry's row.
    EXPECT_EQ(CheckPlacement(base, Blank(base), RunOf(SerialMode::Retlw, 0, 1, 510, 2)),
              "シリアル番号の書込み範囲 0x1FE〜0x1FF がキャリブレーションワード (0x1FF) と重なっています。");
    EXPECT_FALSE(CheckPlacement(base, Blank(base), RunOf(SerialMode::Retlw, 0, 1, 509, 2)));

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

    EXPECT_EQ(SerialValueAt(RunOf(SerialMode::Retlw, 10, 5, 0, 1), 4), 14);
    EXPECT_EQ(SerialValueAt(RunOf(SerialMode::Retlw, 10, 5, 0, 1), 5), -1);  // outside the run
    EXPECT_EQ(SerialIndexOf(RunOf(SerialMode::Retlw, 10, 5, 0, 1), 14), 4);
    EXPECT_FALSE(SerialIndexOf(RunOf(SerialMode::Retlw, 10, 5, 0, 1), 15));
    EXPECT_FALSE(SerialIndexOf(RunOf(SerialMode::Retlw, 10, 5, 0, 1), std::numeric_limits<std::int64_t>::min()));

    const std::string text = "vormex serial run 1\nmode eeprom\nstart 100\nincrement 1\nquantity 10\naddress 0x4\n"
                             "bytes 2\nnext 4\ncount 2\nreturned 1\nreserved 3 77 12345\nend\n";
    std::string error;
    ASSERT_TRUE(ParseTextRun(text, error)) << error;
    const std::string noEnd = text.substr(0, text.rfind("end"));
    std::string wrongCount = text;
    wrongCount.replace(wrongCount.find("count 2"), 7, "count 3");
    for (const std::string& bad : {std::string(), noEnd, text.substr(0, text.size() / 2), std::string("hello\n"),
                                   wrongCount, text + "extra\n"}) {
        EXPECT_FALSE(ParseTextRun(bad, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
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
    const std::string run = st.dir + "run.db", record = st.dir + "SERIAL_LOG.txt";
    std::string error;
    ASSERT_TRUE(RunStore::create(run, RunOf(SerialMode::Retlw, 0x0AFF, 2, 0x3F0, 2), error));
    SerialStation station(run, record, "COM3 (/dev/ttyUSB0)");
    s.ops.programHook = &station;

    // The board aborts the write: the number is not used up.
    st.board().faults.abortAtWord = 2;
    EXPECT_NE(RunProgram(s), Outcome::Passed);
    EXPECT_FALSE(station.recorded);
    EXPECT_EQ(station.state->nextValue(), 0x0AFF);
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

    // The next chip passes but its record cannot be written: the number is
    // kept, Program refused until it is recorded, and recorded first then.
    std::filesystem::rename(record, st.dir + "kept.txt");
    std::filesystem::create_directory(record);
    st.ui.overwriteAnswers.push_back(1);
    st.clock.now += 1000;
    EXPECT_EQ(RunProgram(s), Outcome::Passed) << s.view.note;
    EXPECT_EQ(st.chipWord(0x3F1), 0x3400);
    EXPECT_EQ(station.unrecorded(), 0x0B00);
    EXPECT_EQ(station.stop, SerialStation::Stop::Unrecorded);
    EXPECT_NE(s.view.note.find("シリアル番号 2816 の IC は合格しましたが"), std::string::npos) << s.view.note;
    const auto tries = s.run.attemptCount;
    EXPECT_EQ(RunProgram(s), Outcome::Failed);
    EXPECT_EQ(s.run.attemptCount, tries);
    EXPECT_EQ(station.unrecorded(), 0x0B00);
    std::filesystem::remove(record);
    std::filesystem::rename(st.dir + "kept.txt", record);

    // The quantity is used up once it is recorded: Program refuses before the board is touched.
    const auto attempts = s.run.attemptCount;
    EXPECT_EQ(RunProgram(s), Outcome::Failed);
    EXPECT_FALSE(station.unrecorded());
    EXPECT_EQ(station.stop, SerialStation::Stop::Finished);
    EXPECT_EQ(s.view.note.rfind(kSerialQuantityReached, 0), 0u);
    EXPECT_EQ(s.run.attemptCount, attempts);
    EXPECT_NE(test::ReadFileBytes(record).find("  2816  0B:00  "), std::string::npos);

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

    // The program ends; the window opened again shows the run, and switching on continues it.
    w->unload({0, 0, false});
    w.reset();
    EXPECT_EQ(s.ops.programHook, nullptr);
    ASSERT_TRUE(SavedSerialRun(s));
    EXPECT_NE(SavedSerialRunQuestion(s)->find("書込み済 1 個、次の番号 8"), std::string::npos);
    SerialProgramming again(s);
    EXPECT_EQ(again.writeMode, SerialMode::Retlw);
    EXPECT_EQ(again.dataStart, "8");
    EXPECT_EQ(again.startAddress, "3F0");
    again.selectWriteMode(SerialMode::Retlw);  // choosing the same mode changes nothing
    again.setEnabled(true);
    EXPECT_TRUE(st.ui.boxes.empty());  // nothing to ask
    st.ui.overwriteAnswers.push_back(1);
    st.clock.now += 1000;
    ASSERT_EQ(RunProgram(s), Outcome::Passed) << s.view.note;
    EXPECT_EQ(st.chipWord(0x3F0), 0x3408);
    EXPECT_EQ(again.finishCount, "2");

    // Exported for vormex-cli stations: the run moves, never over a file, and the window goes on with it.
    again.setEnabled(false);
    EXPECT_FALSE(again.exportRun(st.dir + "prog.hex"));
    EXPECT_EQ(again.message, st.dir + "prog.hex はすでにあります。");
    ASSERT_TRUE(again.exportRun(st.dir + "shared.db")) << again.message;
    std::string error;
    const auto shared = RunStore::open(st.dir + "shared.db", error)->load(error);
    ASSERT_TRUE(shared) << error;
    EXPECT_EQ(shared->recorded(), 2);
    EXPECT_EQ(shared->nextValue(), 9);
    EXPECT_EQ(again.runPath(), st.dir + "shared.db");
    EXPECT_FALSE(SavedSerialRun(s));  // moved: nothing left to hand out here
}

TEST(SerialStation, WindowNeverReplacesARunUnasked) {
    Station st;
    Session& s = st.s();
    test::WriteFileBytes(st.dir + "prog.hex", ":04000000553000284F\n:00000001FF\n");
    s.loader.hexPath = st.dir + "prog.hex";
    SerialProgramming w(s);
    w.setDataStart("100");
    w.setDataFinish("5");
    w.setStartAddress("3F0");
    w.selectWriteMode(SerialMode::Retlw);
    w.setEnabled(true);
    ASSERT_EQ(RunProgram(s), Outcome::Passed) << s.view.note;
    auto program = [&] {
        st.ui.overwriteAnswers.push_back(1);
        st.clock.now += 1000;
        EXPECT_EQ(RunProgram(s), Outcome::Passed) << s.view.note;
        return st.chipWord(0x3F0) & 0xFF;
    };
    auto runs = [&] {
        sqlite3* db = nullptr;
        sqlite3_open((st.dir + kSerialRunName).c_str(), &db);
        sqlite3_stmt* q = nullptr;
        sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM serial_run", -1, &q, nullptr);
        sqlite3_step(q);
        const int n = sqlite3_column_int(q, 0);
        sqlite3_finalize(q);
        sqlite3_close(db);
        return n;
    };

    // New settings over a run with a recorded chip: asked, and the default keeps the run.
    w.setEnabled(false);
    w.setDataStart("50");
    w.setEnabled(true);
    ASSERT_EQ(st.ui.boxes.size(), 1u);
    EXPECT_NE(st.ui.boxes[0].text.find("新しい設定で生産を始めますか？"), std::string::npos);
    EXPECT_EQ(w.dataStart, "101");
    EXPECT_EQ(program(), 101);

    // A placement over the file's code is refused before anything is stored or asked.
    w.setEnabled(false);
    w.setStartAddress("0");
    w.setEnabled(true);
    EXPECT_NE(w.message.find("重なっています"), std::string::npos) << w.message;
    EXPECT_EQ(st.ui.boxes.size(), 1u);
    EXPECT_EQ(RunProgram(s), Outcome::Failed);
    EXPECT_EQ(runs(), 1);

    // Answered "はい": a new run, the old one kept in the store's history.
    w.setEnabled(false);
    w.setStartAddress("3F0");
    w.setDataStart("50");
    st.ui.boxAnswers.push_back(MsgAnswer::Yes);
    w.setEnabled(true);
    EXPECT_EQ(w.nextData, "50");
    EXPECT_EQ(program(), 50);
    EXPECT_EQ(runs(), 2);
}

TEST(SerialStation, WindowConvertsTheEarlierTextRunOnce) {
    Station st;
    test::WriteFileBytes(st.dir + kSerialTextRunName,
                         "vormex serial run 1\r\nmode retlw\r\nstart 7\r\nincrement 1\r\nquantity 3\r\n"
                         "address 0x3F0\r\nbytes 1\r\nnext 1\r\ncount 1\r\nreturned\r\nend\r\n");
    SerialProgramming w(st.s());
    EXPECT_NE(w.message.find("新しい形式に変換しました"), std::string::npos) << w.message;
    EXPECT_EQ(w.nextData, "8");
    EXPECT_EQ(w.finishCount, "1");
    EXPECT_TRUE(std::filesystem::exists(st.dir + kSerialRunName));
    EXPECT_FALSE(std::filesystem::exists(st.dir + kSerialTextRunName));
    EXPECT_TRUE(std::filesystem::exists(st.dir + kSerialTextRunName + std::string(".old")));
}

// A window run of a customer's list: the chips take its values in order,
// every attempt is a row naming the operator and the image, and the report
// button writes the run's HTML beside the store and opens it.
TEST(SerialStation, WindowRunOfAListRecordsEveryChipAndReportsIt) {
    Station st;
    Session& s = st.s();
    const std::string hex = ":04000000553000284F\n:00000001FF\n";
    test::WriteFileBytes(st.dir + "prog.hex", hex);
    s.loader.hexPath = s.loader.loadedPath = st.dir + "prog.hex";
    const SerialList keys{SerialMode::Retlw, 0x3F0, 2, {0xBEEF, 0x1234, 0x0042}};
    test::WriteFileBytes(st.dir + "keys.num", SqtpText(keys, s.device));
    test::WriteFileBytes(st.dir + "bad.num", ":0407E0001334883413\n:00000001FF\n");

    SerialProgramming w(s);
    EXPECT_FALSE(w.chooseList(st.dir + "bad.num"));
    EXPECT_NE(w.message.find("1 行目"), std::string::npos) << w.message;
    ASSERT_TRUE(w.chooseList(st.dir + "keys.num")) << w.message;
    EXPECT_EQ(w.startAddress, "3F0");
    EXPECT_EQ(w.dataFinish, "3");
    w.setOperatorName("佐藤");
    w.setEnabled(true);
    ASSERT_EQ(RunProgram(s), Outcome::Passed) << s.view.note;
    EXPECT_EQ(st.chipWord(0x3F0), 0x34BE);
    EXPECT_EQ(st.chipWord(0x3F1), 0x34EF);
    st.board().faults.abortAtWord = 2;  // a failed chip: its value comes next again
    st.ui.overwriteAnswers.push_back(1);
    EXPECT_NE(RunProgram(s), Outcome::Passed);
    st.board().faults.abortAtWord = -1;
    st.ui.overwriteAnswers.push_back(1);
    ASSERT_EQ(RunProgram(s), Outcome::Passed) << s.view.note;
    EXPECT_EQ(st.chipWord(0x3F1), 0x3434);

    std::string error;
    const auto report = RunStore::open(w.runPath(), error)->report(error);
    ASSERT_TRUE(report) << error;
    ASSERT_EQ(report->chips.size(), 3u);
    EXPECT_EQ(report->chips[1].passed, false);
    EXPECT_EQ(report->chips[1].serial, 0x1234);
    EXPECT_FALSE(report->chips[1].failure.empty());
    for (const ChipRecord& chip : report->chips) {
        EXPECT_EQ(chip.operatorName, "佐藤");
        EXPECT_EQ(chip.hexSha256, Sha256Hex(hex));
        EXPECT_EQ(chip.imageSha256.size(), 64u);
        EXPECT_EQ(chip.device, "PIC16F84A");
    }
    EXPECT_EQ(report->chips[2].serial, 0x1234);
    EXPECT_NE(report->chips[0].imageSha256, report->chips[2].imageSha256);  // each its own number

    const std::string html = w.writeReport();
    EXPECT_EQ(html, st.dir + kSerialReportName);
    EXPECT_NE(test::ReadFileBytes(html).find("佐藤"), std::string::npos);
    EXPECT_EQ(st.processes.opened, std::vector<std::string>{html});
    w.setEnabled(false);
}

namespace {

// A chip that fails once its number may be on it: the board falls silent,
// or a verify reads another word, at the first command `letters` after the
// program write began.
struct LateFailure {
    const char* what;
    SerialMode mode;
    const char* letters;
    bool silent;
    bool protect;      // the configuration written protects the code: it reads zeros
    NumberState left;  // where the failed chip's number ends
};

class FailedChips : public ::testing::TestWithParam<const char*> {};

TEST_P(FailedChips, ANumberAFailedChipMayHoldIsNeverHandedOutAgain) {
    const LateFailure cases[] = {
        {"silent in the configuration write", SerialMode::Retlw, "wec", true, false, NumberState::Settle},
        {"silent in the EEPROM write", SerialMode::Retlw, "wed", true, false, NumberState::Settle},
        {"silent in the verify read", SerialMode::Retlw, "rsp", true, false, NumberState::Settle},
        {"silent in the EEPROM write of the number", SerialMode::Eeprom, "wed", true, false, NumberState::Settle},
        {"a verify that differs, read back", SerialMode::Retlw, "rsp", false, false, NumberState::Failed},
        {"an EEPROM verify that differs, read back", SerialMode::Eeprom, "rsd", false, false, NumberState::Failed},
        {"a verify that differs, protected", SerialMode::Retlw, "rsp", false, true, NumberState::Settle},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Station st;
        Session& s = st.s();
        std::string run = st.dir + "run.db", error;
        if (GetParam() == std::string("postgres")) {
            auto& cluster = test::SharedPgCluster();
            if (!cluster.running())
                GTEST_SKIP() << "skipped: " << cluster.whyNot();
            run = cluster.newDatabase();
        }
        const bool eeprom = c.mode == SerialMode::Eeprom;
        s.buffer.configArea[14] = c.protect ? 0x00 : 0x3F;
        s.buffer.configArea[15] = c.protect ? 0x00 : 0xFF;
        ASSERT_TRUE(RunStore::create(run, RunOf(c.mode, 100, 5, eeprom ? 0x10 : 0x3F0, 1), error)) << error;
        SerialStation station(run, "", "COM1");
        s.ops.programHook = &station;
        bool writing = false, failing = true, silent = false;
        st.board().onReply = [&](const SimCommand& command, std::vector<std::uint8_t>& bytes,
                                 std::vector<std::int64_t>& delays) {
            writing = writing || command.letters == "wef";
            silent = silent || (writing && failing && c.silent && command.letters == c.letters);
            if (silent) {
                bytes.clear();
                delays.clear();
            } else if (writing && failing && command.letters == c.letters) {
                bytes.clear();
                delays.clear();
                bytes[1] ^= 0x01;  // the first word or cell reads otherwise, once
                failing = false;
            }
        };
        EXPECT_NE(RunProgram(s), Outcome::Passed);
        ASSERT_TRUE(station.state) << s.view.note;
        EXPECT_EQ(station.state->values(c.left), std::vector<std::int64_t>{100});
        EXPECT_EQ(station.state->nextValue(), 101);

        failing = silent = false;
        st.ui.overwriteAnswers.push_back(1);
        st.clock.now += 1000;
        ASSERT_EQ(RunProgram(s), Outcome::Passed) << s.view.note;
        EXPECT_EQ(eeprom ? st.chip().eeprom[0x10] : st.chipWord(0x3F0) & 0xFF, 101);
        s.ops.programHook = nullptr;
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, FailedChips, ::testing::Values("sqlite", "postgres"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace

TEST(SerialStation, ACommitRetriedAfterItsLineWentInKeepsTheLineOnce) {
    Station st;
    Session& s = st.s();
    const std::string run = st.dir + "run.db", record = st.dir + "SERIAL_LOG.txt";
    std::string error;
    ASSERT_TRUE(RunStore::create(run, RunOf(SerialMode::Retlw, 7, 3, 0x3F0, 1), error));
    StoreFaults full;
    full.fullInCommit = true;  // the line is appended, then the disk is full
    SerialStation station(run, record, "COM1", full);
    s.ops.programHook = &station;
    EXPECT_EQ(RunProgram(s), Outcome::Passed);
    EXPECT_EQ(station.unrecorded(), 7);
    st.ui.overwriteAnswers.push_back(1);
    st.clock.now += 1000;
    ASSERT_EQ(RunProgram(s), Outcome::Passed) << s.view.note;  // 7 recorded first, then 8
    s.ops.programHook = nullptr;

    const std::string lines = test::ReadFileBytes(record);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 2) << lines;
    EXPECT_EQ(lines.find("\r\n\r\n"), std::string::npos) << lines;
    const auto rows = RunStore::open(run, error)->records(error);
    ASSERT_TRUE(rows) << error;
    ASSERT_EQ(rows->size(), 2u);
    EXPECT_EQ(lines, (*rows)[0].second + "\r\n" + (*rows)[1].second + "\r\n");
}
