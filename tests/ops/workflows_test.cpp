// The Program, Read, Verify, Blank check and Erase workflows against the
// simulated board: what reaches the chip, what the user is told, what is
// counted and logged, and how each stops when the board misbehaves.
#include <gtest/gtest.h>

#include <functional>

#include "ops/boardops.h"
#include "ops/opreport.h"
#include "ops/workflows.h"
#include "opstest.h"
#include "support/fakes.h"

namespace vx {
namespace {

using test::SimRig;

// A rig whose selected device carries a name and, for calibrated families,
// a calibration instruction.
struct Bench : SimRig {
    Bench(const std::string& family, int words, int eeprom, std::optional<int> calibration = std::nullopt)
        : SimRig(family, words, eeprom, calibration) {
        s().buffer.calibText = test::CalibrationText(family);
        s().device.calibInstruction = s().buffer.calibText;
        test::FillBuffer(s());
    }
    Session& s() { return *session; }
    std::string log() { return test::ReadFileBytes(dir + "LOG.txt"); }
    // The port sits idle between commands: nothing left over from the last one.
    void settle() { clock.now += 1000; }
};

// What a failed verify's verdict says of the differences' pattern.
const char* const kNotErasedLine = "相違は１→０のビットだけです。消去されていないか、書込み済みのワンタイム品の可能性があります。";
const char* const kNotTakenLine =
    "相違は書き込めないビットです。コードプロテクト、デバイスの品種違い、または接触不良の可能性があります。";

void ClearImage(Session& s) {
    s.buffer.program.fill(0);
    s.buffer.configArea.fill(0);
    s.buffer.eeprom.fill(0);
}

TEST(ProgramWorkflow, ProgramThenReadGivesTheBufferBackInEveryFamily) {
    for (const auto& f : test::AllFamilies()) {
        SCOPED_TRACE(f.family);
        Bench b(f.family, f.words, f.eeprom);
        Session& s = b.s();
        const PcBuffer written = s.buffer;
        ASSERT_EQ(RunProgram(s), Outcome::Passed);
        EXPECT_EQ(s.view.note.rfind("プログラミング成功。", 0), 0u);
        EXPECT_NE(s.view.note.find("  Pass = 1    Fail = 0"), std::string::npos);
        EXPECT_EQ(b.ui.overwriteAsked, 0);
        EXPECT_FALSE(s.view.busy);
        ASSERT_FALSE(b.ui.busyHistory.empty());
        EXPECT_FALSE(b.ui.busyHistory.back());

        b.settle();
        ClearImage(s);
        ASSERT_EQ(RunRead(s), Outcome::Passed);
        const bool calibrated = !test::CalibrationText(f.family).empty();
        for (int w = 0; w < f.words - 1; ++w)
            ASSERT_EQ(test::BufferWord(s, w), written.program[2 * w] * 256 + written.program[2 * w + 1]) << w;
        // The factory calibration word survives whatever the file held there.
        const int last = test::BufferWord(s, f.words - 1);
        if (f.family == "12C5")
            EXPECT_EQ(last, 0x0C80);
        else if (calibrated)
            EXPECT_EQ(last, 0x3480);
        else
            EXPECT_EQ(last, written.program[2 * (f.words - 1)] * 256 + written.program[2 * f.words - 1]);
        for (int i : {0, 1, 2, 3})
            EXPECT_EQ(test::ConfigAreaWord(s, i), written.configArea[2 * i] * 256 + written.configArea[2 * i + 1]);
        const int config = written.configArea[14] * 256 + written.configArea[15];
        // 12F6: the chip's band-gap bits (10) replace the file's.
        EXPECT_EQ(test::ConfigAreaWord(s, 7), f.family == "12F6" ? (config & 0x0FFF) | 0x2000 : config);
        for (int n = 0; n < f.eeprom; ++n)
            ASSERT_EQ(s.buffer.eeprom[2 * n + 1], written.eeprom[2 * n + 1]) << n;
        if (calibrated) {
            const std::string word = f.family == "12C5" ? "0C80" : "3480";
            EXPECT_EQ(s.run.calibCheckText, "キャリブレーションデータ情報");  // the read resets it
            EXPECT_NE(b.log().find("  Read: 0x" + word + " , Write: 0x" + word + "  "), std::string::npos);
        }
        EXPECT_NE(b.log().find("  SIM-" + f.family + "  "), std::string::npos);
    }
}

TEST(ProgramWorkflow, CalibrationWordIsKeptOrRestored) {
    {
        // The chip reads its calibration word as erased and the session knows
        // none: the user takes the database's default.
        Bench b("12C5", 512, 0, 0x3FFF);
        b.ui.chipValueAnswers = {{ChipValueChoice::UseDefault, "", ""}};
        ASSERT_EQ(RunProgram(b.s()), Outcome::Passed);
        ASSERT_EQ(b.ui.chipValueQuestions.size(), 1u);
        EXPECT_EQ(b.ui.chipValueQuestions[0].calibrationDefault, "0x0C70");
        EXPECT_EQ(b.chip().program[511], 0x0C70);
        EXPECT_EQ(b.s().run.calibCheckText, "Read: 0x0FFF , Write: 0x0C70");
    }
    {
        Bench b("12C6", 1024, 0, 0x3480);
        test::SetBufferWord(b.s(), 1023, 0x0000);
        ASSERT_EQ(RunProgram(b.s()), Outcome::Passed);
        EXPECT_EQ(b.chip().program[1023], 0x3480);
        EXPECT_EQ(b.s().view.calibLabel.caption, "Read: 0x3480 , Write: 0x3480");
        EXPECT_TRUE(b.s().view.calibLabel.visible);
    }
    {
        Bench b("12F6", 1024, 128, 0x3455);
        b.chip().setConfigWord(0x1FFF);  // band-gap bits 01
        ASSERT_EQ(RunProgram(b.s()), Outcome::Passed);
        EXPECT_EQ(b.chip().program[1023], 0x3455);
        EXPECT_EQ(b.chip().configWord() & 0x3000, 0x1000);
        EXPECT_EQ(b.s().view.bandGapText, "1");
        EXPECT_EQ(b.s().view.osccalLoText, "85");
        EXPECT_EQ(b.s().buffer.configWord & 0x3000, 0x1000);
    }
}

// Chip B already holds A's program but has its own factory calibration
// word: programmed after A in the same run, or in a fresh one, it keeps its
// own word, and the run passes because the chip says so.
TEST(ProgramWorkflow, ProgrammedChipKeepsItsOwnCalibrationWord) {
    struct Case {
        const char* family;
        int words;
        int a, b;
    };
    for (const Case& c : {Case{"12C5", 512, 0x0C80, 0x0C55}, Case{"12C6", 1024, 0x3480, 0x3455}}) {
        SCOPED_TRACE(c.family);
        const std::size_t last = static_cast<std::size_t>(c.words - 1);
        Bench run(c.family, c.words, 0, c.a);
        ASSERT_EQ(RunProgram(run.s()), Outcome::Passed);
        SimChip chipB = run.chip();
        chipB.program[last] = static_cast<std::uint16_t>(c.b);

        Bench fresh(c.family, c.words, 0, c.a);
        for (Bench* b : {&run, &fresh}) {
            b->chip() = chipB;
            b->settle();
            b->ui.overwriteAnswers = {1};
            EXPECT_EQ(RunProgram(b->s()), Outcome::Passed);
            EXPECT_EQ(b->chip().program[last], c.b);
            EXPECT_EQ(b->s().view.note.rfind("プログラミング成功。", 0), 0u);
            EXPECT_EQ(b->ui.overwriteAsked, 1);
        }
    }
}

TEST(ProgramWorkflow, NonBlankChipAsksBeforeOverwriting) {
    Bench b("FLASH", 64, 16);
    Session& s = b.s();
    ASSERT_EQ(RunProgram(s), Outcome::Passed);
    const auto chipBefore = b.chip().program;
    const auto commands = b.board().log.size();
    b.settle();

    // "キャンセル": nothing written, nothing counted.
    EXPECT_EQ(RunProgram(s), Outcome::Cancelled);
    EXPECT_EQ(b.ui.overwriteAsked, 1);
    EXPECT_EQ(s.view.hintLine0, "書込み済みです。");
    EXPECT_EQ(s.view.hintLine1, "上書きしますか？");
    EXPECT_EQ(s.view.note, "上書き操作をキャンセルしました。 ");
    EXPECT_EQ(s.run.attemptCount, 1);
    EXPECT_EQ(s.run.passCount, 1);
    EXPECT_EQ(b.chip().program, chipBefore);
    for (std::size_t i = commands; i < b.board().log.size(); ++i)
        EXPECT_NE(b.board().log[i].letters[0], 'w');
    EXPECT_FALSE(s.view.busy);
    EXPECT_FALSE(b.ui.busyHistory.back());

    // A protected chip says so; closing the dialog by its frame goes on.
    b.settle();
    b.chip().setConfigWord(0x3FE9);
    b.ui.overwriteAnswers = {0};
    EXPECT_EQ(RunProgram(s), Outcome::Passed);
    EXPECT_EQ(s.view.hintLine0, "書込み済みです。(コードプロテクトされています｡)");
    EXPECT_NE(s.view.note.find("Pass = 2    Fail = 0"), std::string::npos);
}

TEST(ProgramWorkflow, BlankSkipModeSkipsTheBlankCheckOnlyWhenEnabled) {
    Bench b("FLASH", 64, 16);
    Session& s = b.s();
    auto& skip = s.view.menus["mnuBlankSkip"];
    skip.checked = true;
    skip.enabled = true;
    ASSERT_EQ(RunProgram(s), Outcome::Passed);
    for (const auto& c : b.board().log)
        EXPECT_NE(c.letters, "bs");

    b.settle();
    b.board().log.clear();
    skip.enabled = false;  // a PIC16C part: the mark does not count
    EXPECT_EQ(RunProgram(s), Outcome::Cancelled);
    EXPECT_EQ(b.board().log[4].letters, "bs");  // after "***?"
}

TEST(ProgramWorkflow, EepromFailureThenPassCountsOneOfEach) {
    Bench b("FLASH", 64, 16);
    Session& s = b.s();
    b.board().faults.eepromErrorAtCell = 3;
    EXPECT_EQ(RunProgram(s), Outcome::Failed);
    ASSERT_EQ(b.ui.boxes.size(), 1u);
    EXPECT_EQ(b.ui.boxes[0].title, "ＥＥＰＲＯＭデータメモリプログラミング");
    EXPECT_EQ(b.ui.boxes[0].text, "ＥＥＰＲＯＭデータメモリのプログラミングに失敗しました。");
    EXPECT_EQ(b.ui.boxes[0].icon, MsgIcon::Critical);
    EXPECT_EQ(s.run.attemptCount, 1);
    EXPECT_EQ(s.run.passCount, 0);
    EXPECT_EQ(s.run.programResult, "");
    EXPECT_EQ(b.log().find("プログラミング"), std::string::npos);

    b.settle();
    b.board().faults = {};
    b.ui.overwriteAnswers = {1};
    EXPECT_EQ(RunProgram(s), Outcome::Passed);
    EXPECT_NE(s.view.note.find("  Pass = 1    Fail = 1"), std::string::npos);
    EXPECT_NE(b.log().find("プログラミング成功。"), std::string::npos);
}

// A Ui that runs a hook on every view change: lets a test act in the middle of a run.
struct HookUi : test::FakeUi {
    void viewChanged() override {
        if (hook)
            hook();
    }
    std::function<void()> hook;
};

TEST(ProgramWorkflow, FailedVerifyReportsEachAreaAndLogs) {
    SimRig rig("EPROM", 256, 0);
    HookUi ui;
    Session s(*rig.simPort, rig.settings, rig.clock, ui, rig.processes);
    s.device = rig.session->device;
    s.link.portNumber = 1;
    s.run.appDir = rig.dir;
    test::FillBuffer(s);
    // The chip loses a word between programming and verify.
    ui.hook = [&] {
        if (s.view.note == "プログラムメモリのベリファイ中.......... ")
            rig.chip().program[3] = 0x0000;
    };
    EXPECT_EQ(RunProgram(s), Outcome::Failed);
    EXPECT_EQ(s.view.note.rfind("プログラミング失敗。　終了時刻：", 0), 0u);
    EXPECT_NE(s.view.note.find("  Pass = 0    Fail = 1 "), std::string::npos);
    EXPECT_EQ(s.view.noteColour, kColourRed);
    ASSERT_FALSE(ui.boxes.empty());
    const auto& box = ui.boxes.back();
    EXPECT_EQ(box.title, "ベリファイ");
    EXPECT_EQ(box.icon, MsgIcon::Information);
    // No EEPROM in this part: no EEPROM line. A word read as 0 points to the chip, not to an earlier program.
    const std::string findings = "相違ワード数　プログラムメモリ：1";
    EXPECT_EQ(box.text, "プログラムメモリ　　　　\t=　 NG　　　　　\r\n"
                        "ＣＯＮＦＩＧ. ワード　　　\t= 　OK　　　　　\r\n" +
                            findings + "\r\n" + kNotTakenLine + "\r\n");
    EXPECT_EQ(s.view.programMemory.text.rfind("Error　 アドレス:0x0003 , 正:0x0074 , 誤:0x0000\r\n", 0), 0u);
    const std::string log = test::ReadFileBytes(rig.dir + "LOG.txt");
    // No HEX file: two spaces; the findings end the line.
    EXPECT_NE(log.find(s.run.programResult + "  SIM-EPROM    " + findings + "　" + kNotTakenLine + "\r\n"),
              std::string::npos)
        << log;
}

// An abort at word K: the chip refused a word.
TEST(ProgramWorkflow, AbortAtWordStopsWithItsNoteAndBox) {
    Bench b("FLASH", 64, 16);
    Session& s = b.s();
    b.board().faults.abortAtWord = 17;
    EXPECT_EQ(RunProgram(s), Outcome::Failed);
    EXPECT_EQ(s.view.note, "プログラムメモリのプログラミングに失敗しました。  中断コードが返信されました。 ");
    ASSERT_EQ(b.ui.boxes.size(), 1u);
    EXPECT_EQ(b.ui.boxes[0].title, "プログラムメモリプログラミング");
    EXPECT_EQ(b.ui.boxes[0].text, "プログラムメモリのプログラミングに失敗しました。");
    EXPECT_EQ(s.run.attemptCount, 1);
    EXPECT_EQ(s.run.passCount, 0);
    EXPECT_FALSE(s.view.busy);
    EXPECT_FALSE(b.ui.busyHistory.back());
    EXPECT_FALSE(s.view.progressVisible);
}

// The board falls silent after every reply byte of a whole run in turn: the
// run always stops, marks a link failure, clears busy and never waits long.
TEST(ProgramWorkflow, SilenceAtEveryPointOfARunStopsItCleanly) {
    Bench clean("12F6", 16, 4);
    ASSERT_EQ(RunProgram(clean.s()), Outcome::Passed);
    const auto cleanTime = clean.clock.now - 1'000'000;
    int k = 0;
    for (;; ++k) {
        ASSERT_LT(k, 1000);
        SCOPED_TRACE(k);
        Bench b("12F6", 16, 4);
        Session& s = b.s();
        b.board().faults.silentAfterBytes = k;
        const Outcome outcome = RunProgram(s);
        const auto elapsed = b.clock.now - 1'000'000;
        EXPECT_FALSE(s.view.busy);
        EXPECT_TRUE(b.ui.busyHistory.empty() || !b.ui.busyHistory.back());
        EXPECT_FALSE(s.view.progressVisible);
        if (outcome == Outcome::Passed)
            break;  // the silence came after the last reply
        EXPECT_TRUE(outcome == Outcome::NoBoard || outcome == Outcome::LinkFailed) << static_cast<int>(outcome);
        EXPECT_EQ(s.run.passCount, 0);
        EXPECT_LE(s.run.attemptCount, 1);
        // At most three waits run out: the verifies before the merge, or the
        // 30 s limit of the EEPROM blank check.
        const bool eepromCheck = s.view.note.rfind("ＥＥＰＲＯＭデータメモリブランクチェック失敗", 0) == 0;
        EXPECT_LE(elapsed, cleanTime + (eepromCheck ? 30000 : 3000) + 300);
        const bool logged = b.log().find("プログラミング失敗。") != std::string::npos;
        EXPECT_EQ(logged, !s.run.programResult.empty());
    }
    EXPECT_GT(k, 150);  // every reply byte of the run was tried
}

TEST(ProgramWorkflow, WrongEndCodeStopsAtTheBlankCheck) {
    Bench b("FLASH", 64, 16);
    b.board().faults.wrongEndCode = true;
    EXPECT_EQ(RunProgram(b.s()), Outcome::LinkFailed);
    EXPECT_EQ(b.s().view.note, "プログラムメモリブランクチェック失敗。　　終了コードを受信できませんでした。 ");
    EXPECT_EQ(b.s().run.attemptCount, 0);
}

TEST(ProgramWorkflow, TwelveF6StopsBeforeTheEraseWithoutTheCalibrationWord) {
    Bench b("12F6", 64, 16);
    Session& s = b.s();
    s.view.menus["mnuBlankSkip"] = {"", true, true, true};
    b.board().faults.wrongEndCode = true;
    EXPECT_EQ(RunProgram(s), Outcome::LinkFailed);
    EXPECT_EQ(s.view.note, "ＯＳＣＣＡＬデータリード失敗。 ");
    for (const auto& c : b.board().log)
        EXPECT_NE(c.letters, "bD");
    EXPECT_EQ(b.chip().program[63], 0x3480);
}

TEST(Workflows, SecondBoardCommandIsRefusedWhileOneRuns) {
    struct ReenteringUi : test::FakeUi {
        void processEvents() override {
            if (session && outcomes.empty())
                outcomes.push_back(RunRead(*session));
        }
        Session* session = nullptr;
        std::vector<Outcome> outcomes;
    };
    SimRig rig("FLASH", 64, 16);
    ReenteringUi ui;
    Session s(*rig.simPort, rig.settings, rig.clock, ui, rig.processes);
    s.device = rig.session->device;
    s.link.portNumber = 1;
    s.run.appDir = rig.dir;
    test::FillBuffer(s);
    ui.session = &s;
    EXPECT_EQ(RunProgram(s), Outcome::Passed);
    ASSERT_EQ(ui.outcomes.size(), 1u);
    EXPECT_EQ(ui.outcomes[0], Outcome::Busy);
    EXPECT_FALSE(s.view.busy);

    s.device.name.clear();
    EXPECT_EQ(RunVerify(s), Outcome::NoDevice);
    EXPECT_EQ(s.view.note, "MCUを選んでください。 ");
}

TEST(ReadWorkflow, BlankJudgementByFamily) {
    {
        Bench b("FLASH", 64, 16);
        EXPECT_EQ(RunRead(b.s()), Outcome::Passed);
        EXPECT_EQ(b.s().view.note, "読み出し完了。　デバイスは消去されています。 ");
        b.chip().eeprom[2] = 0x12;
        EXPECT_EQ(RunRead(b.s()), Outcome::Passed);
        EXPECT_EQ(b.s().view.note, "読み出し完了。 ");
    }
    {
        Bench b("EPROM", 64, 16);  // an EPROM part's EEPROM entry does not count
        EXPECT_EQ(RunRead(b.s()), Outcome::Passed);
        EXPECT_EQ(b.s().view.note, "読み出し完了。　デバイスは消去されています。 ");
    }
    {
        Bench b("5X18", 512, 0);
        b.chip().config[1] = 0x0003;  // only an ID word programmed
        EXPECT_EQ(RunRead(b.s()), Outcome::Passed);
        EXPECT_EQ(b.s().view.note, "読み出し完了。 ");
    }
    {
        Bench b("FLASH", 64, 16);
        b.board().faults.silentAfterBytes = 17 + 40;
        EXPECT_EQ(RunRead(b.s()), Outcome::LinkFailed);
        EXPECT_FALSE(b.s().view.busy);
    }
}

// A missing end code is the link's failure wherever it happens: after the
// configuration write, and after the calibration word of a blank check.
TEST(ProgramWorkflow, MissingEndCodeAnywhereIsALinkFailure) {
    for (const char* letters : {"wec", "bs"}) {
        SCOPED_TRACE(letters);
        Bench b("12F6", 64, 8);
        int replies = 0;
        b.board().onReply = [&](const SimCommand& c, Bytes& bytes, std::vector<std::int64_t>&) {
            if (c.letters != letters)
                return;
            // "wec": the answer to the last word; "bs": the one with the calibration word.
            if (c.letters == "wec" ? c.dataWords == 8 : ++replies == 2)
                bytes.back() = 0x41;
        };
        EXPECT_EQ(RunProgram(b.s()), Outcome::LinkFailed);
        EXPECT_TRUE(b.s().ops.linkFault);
    }
}

// A fresh 12F6 chip reads as erased: its factory band-gap bits are no code.
TEST(ReadWorkflow, FreshTwelveF6ChipIsErased) {
    Bench b("12F6", 1024, 128);
    EXPECT_EQ(RunRead(b.s()), Outcome::Passed);
    EXPECT_EQ(b.s().view.note, "読み出し完了。　デバイスは消去されています。 ");
    EXPECT_EQ(test::ConfigAreaWord(b.s(), 7), 0x2FFF);  // the image keeps the bits as read
}

// A configuration reply garbled by one repeated byte (the end code out of
// place) is a link failure, not a protected chip; the box says the
// configuration could not be read instead of showing stale values.
TEST(VerifyWorkflow, GarbledConfigurationReplyIsALinkFailure) {
    Bench b("12F6", 1024, 128);
    ASSERT_EQ(RunProgram(b.s()), Outcome::Passed);
    b.settle();
    b.board().onReply = [](const SimCommand& c, Bytes& bytes, std::vector<std::int64_t>&) {
        if (c.letters == "rsc")
            bytes.insert(bytes.begin() + 3, bytes[3]);
    };
    EXPECT_EQ(RunVerify(b.s()), Outcome::LinkFailed);
    EXPECT_TRUE(b.s().ops.linkFault);
    ASSERT_EQ(b.ui.boxes.size(), 1u);
    EXPECT_EQ(b.ui.boxes[0].title, "ベリファイエラー");
    EXPECT_NE(b.ui.boxes[0].text.find("Ｃｏｎｆｉｇワード \t\t：　NG　（コンフィギュレーションワードを読み出せませんでした。）　　"),
              std::string::npos);
    EXPECT_EQ(b.ui.boxes[0].text.find("コードプロテクト"), std::string::npos);

    Bench twelve("12C5", 512, 0);
    ASSERT_EQ(RunProgram(twelve.s()), Outcome::Passed);
    twelve.settle();
    twelve.board().faults.wrongEndCode = true;
    EXPECT_EQ(RunVerify(twelve.s()), Outcome::LinkFailed);
    ASSERT_EQ(twelve.ui.boxes.size(), 1u);
    EXPECT_NE(twelve.ui.boxes[0].text.find("：　NG　　（コンフィギュレーションワードを読み出せませんでした。）　　"),
              std::string::npos);
}

TEST(VerifyWorkflow, ProtectedChipStopsAfterTheConfiguration) {
    Bench b("FLASH", 64, 16);
    Session& s = b.s();
    b.chip().setConfigWord(0x3FE9);
    EXPECT_EQ(RunVerify(s), Outcome::Failed);
    EXPECT_EQ(s.view.note, "このデバイスはコードプロテクトされています。 ");
    ASSERT_EQ(b.ui.boxes.size(), 1u);
    EXPECT_EQ(b.ui.boxes[0].title, "ベリファイ");
    EXPECT_EQ(b.ui.boxes[0].text,
              "このデバイスはコードプロテクトされています。\rベリファイををスキップしました。             ");
    ASSERT_EQ(b.board().log.size(), 5u);  // "***?" and the configuration read
    EXPECT_EQ(b.board().log.back().letters, "rsc");
}

TEST(VerifyWorkflow, ErrorBoxesListEachArea) {
    {
        Bench b("12C5", 512, 0);
        ASSERT_EQ(RunProgram(b.s()), Outcome::Passed);
        b.settle();
        test::SetConfigAreaWord(b.s(), 7, 0x0FFE);
        EXPECT_EQ(RunVerify(b.s()), Outcome::Failed);
        EXPECT_EQ(b.s().view.note, "ベリファイエラーを検出しました。 ");
        ASSERT_FALSE(b.ui.boxes.empty());
        EXPECT_EQ(b.ui.boxes.back().title, "ベリファイエラー");
        EXPECT_EQ(b.ui.boxes.back().text, "\r\nプログラムメモリ　ｏｒ　ＩＤ\t：　OK　　　　　\r"
                                          "Ｃｏｎｆｉｇ.ワード \t\t：　NG　　（0x0FFA）　　"
                                          "\r相違ワード数　ＣＯＮＦＩＧ：1\r" +
                                              std::string(kNotErasedLine) +
                                              "\rキャリブレーション値 0x0C80（チップの値を保持）");
    }
    {
        Bench b("12F6", 256, 16);
        ASSERT_EQ(RunProgram(b.s()), Outcome::Passed);
        b.settle();
        EXPECT_EQ(RunVerify(b.s()), Outcome::Passed);
        const std::string chipValues = "キャリブレーション値 0x3480（チップの値を保持）\r\nバンドギャップ値 2（チップの値を保持）";
        EXPECT_EQ(b.s().view.note, "ベリファイは正常終了しました。\r\n" + chipValues + " ");
        b.s().buffer.eeprom[5] = 0x00;
        EXPECT_EQ(RunVerify(b.s()), Outcome::Failed);
        EXPECT_EQ(b.ui.boxes.back().text, "\r\nプログラムメモリ\t\t：　OK　　　　　\r"
                                          "ＥＥＰＲＯＭデータメモリ\t\t：　NG　　　　　\r"
                                          "Ｃｏｎｆｉｇワード \t\t：　OK\r\t\t\t（Ｃｏｎｆｉｇ：OK，ＩＤ：OK）　　\r"
                                          "相違ワード数　ＥＥＰＲＯＭデータメモリ：1\r" +
                                              std::string(kNotTakenLine) + "\r" + chipValues);
        EXPECT_EQ(b.s().view.eeprom.text.rfind("Error　 アドレス:0x0002 , 正:0x00 , 誤:0x07\r\n", 0), 0u);
    }
    {
        Bench b("FLASH", 64, 0);  // no EEPROM: "OK--OK" is not needed, "OKOKOK" passes too
        ASSERT_EQ(RunProgram(b.s()), Outcome::Passed);
        b.settle();
        test::SetBufferWord(b.s(), 1, 0x0000);
        EXPECT_EQ(RunVerify(b.s()), Outcome::Failed);
        EXPECT_EQ(b.ui.boxes.back().text.find("ＥＥＰＲＯＭ"), std::string::npos);
    }
}

// The box of a failed verify counts every differing word by area, past the
// hundred the view lists, and names the pattern they share.
TEST(VerifyWorkflow, ErrorBoxCountsTheDifferencesAndNamesTheirPattern) {
    {
        // A chip left programmed: words the file leaves blank hold code.
        Bench b("FLASH", 1024, 64);
        for (int w = 100; w < 250; ++w)
            test::SetBufferWord(b.s(), w, 0x3FFF);
        ASSERT_EQ(RunProgram(b.s()), Outcome::Passed);
        b.settle();
        for (std::size_t w = 100; w < 250; ++w)
            b.chip().program[w] = 0x1234;
        EXPECT_EQ(RunVerify(b.s()), Outcome::Failed);
        const std::string& text = b.ui.boxes.back().text;
        EXPECT_NE(text.find(std::string("\r相違ワード数　プログラムメモリ：150\r") + kNotErasedLine), std::string::npos)
            << text;
        // Listed as before: 101 lines and the remark.
        const std::string& view = b.s().view.programMemory.text;
        std::size_t listed = 0;
        for (std::size_t at = view.find("Error　"); at != std::string::npos; at = view.find("Error　", at + 1))
            ++listed;
        EXPECT_EQ(listed, 101u);
        EXPECT_NE(view.find("これ以降もエラーがある可能性があります。"), std::string::npos);
    }
    {
        // Protected in a way the selected device does not know: every word reads 0
        // (the 32 words the file uses differ).
        Bench b("FLASH", 64, 16);
        ASSERT_EQ(RunProgram(b.s()), Outcome::Passed);
        b.settle();
        const int word = test::ConfigAreaWord(b.s(), 7) & ~b.chip().codeProtectMask;
        b.chip().setConfigWord(word);
        test::SetConfigAreaWord(b.s(), 7, word);
        b.s().device.codeProtectMask = 0;
        EXPECT_EQ(RunVerify(b.s()), Outcome::Failed);
        EXPECT_NE(b.ui.boxes.back().text.find(std::string("\r相違ワード数　プログラムメモリ：32\r") + kNotTakenLine),
                  std::string::npos)
            << b.ui.boxes.back().text;
    }
    {
        // Both kinds, in two areas: counted, no pattern named.
        Bench b("FLASH", 64, 16);
        ASSERT_EQ(RunProgram(b.s()), Outcome::Passed);
        b.settle();
        b.chip().program[5] = 0x000A;  // 0x00BE in the file
        b.chip().eeprom[3] = 0x00;
        b.chip().eeprom[4] = 0xFF;
        b.s().buffer.eeprom[2 * 4 + 1] = 0x0F;
        test::SetConfigAreaWord(b.s(), 1, 0x0000);
        EXPECT_EQ(RunVerify(b.s()), Outcome::Failed);
        const std::string& text = b.ui.boxes.back().text;
        EXPECT_NE(text.find("\r相違ワード数　プログラムメモリ：1　ＥＥＰＲＯＭデータメモリ：2　ＣＯＮＦＩＧ・ＩＤ：1"),
                  std::string::npos)
            << text;
        EXPECT_EQ(text.find("相違は"), std::string::npos);
    }
}

TEST(BlankCheckWorkflow, NotesAndBoxesByFamily) {
    {
        Bench b("5X18", 512, 0);
        b.s().device.name = "PIC16C54";
        EXPECT_EQ(RunBlankCheck(b.s()), Outcome::Passed);
        EXPECT_EQ(b.s().view.note, "デバイスは消去されています。\r\nオシレータタイプ　：　ＲＣ\r\n ");
        b.chip().program[0] = 0x0000;
        b.chip().setConfigWord(0x0FF5);  // code protected, XT
        EXPECT_EQ(RunBlankCheck(b.s()), Outcome::Failed);
        EXPECT_EQ(b.s().view.note, "デバイスは消去されてません。 ");
        EXPECT_EQ(b.s().view.noteColour, kColourRed);
        ASSERT_EQ(b.ui.boxes.size(), 1u);
        EXPECT_EQ(b.ui.boxes[0].title, "ブランクチェック");
        EXPECT_EQ(b.ui.boxes[0].icon, MsgIcon::Warning);
        EXPECT_EQ(b.ui.boxes[0].text, "\r\nプログラムメモリ　ｏｒ　ＩＤ\t：　消去されていません。　　　　　\r\n"
                                      "ＣＯＮＦＩＧワード\t\t：　消去されていません。　　　　　\r\n"
                                      "オシレータタイプ　　　　\t：　ＸＴ\r\n"
                                      "このデバイスはコードプロテクトされています。");
    }
    {
        Bench b("5X28", 2048, 0);
        b.s().device.name = "PIC16C57C";
        EXPECT_EQ(RunBlankCheck(b.s()), Outcome::Passed);
        EXPECT_EQ(b.s().view.note, "デバイスは消去されています。\r\n ");
    }
    {
        Bench b("12C5", 512, 0, 0x0C9A);
        EXPECT_EQ(RunBlankCheck(b.s()), Outcome::Passed);
        EXPECT_EQ(b.s().view.note, "デバイスは消去されています。\r\n"
                                   "キャリブレーションデータ格納アドレスのデータは 0x01FF(0x0C9A) です。 ");
    }
    {
        Bench b("12C6", 1024, 0);
        b.chip().program[5] = 0x0000;
        EXPECT_EQ(RunBlankCheck(b.s()), Outcome::Failed);
        EXPECT_EQ(b.ui.boxes[0].text, "プログラムメモリ\t\t：　消去されていません。　　　　　\r\n"
                                      "ＣＯＮＦＩＧ　，　ＩＤ　\t\t：　ブランク。　　　　　\r\n");
    }
    {
        Bench b("FLASH", 64, 16);
        b.chip().setConfigWord(0x3FEF);
        EXPECT_EQ(RunBlankCheck(b.s()), Outcome::Failed);
        EXPECT_EQ(b.s().view.note, "デバイスは消去されてません。\r\n ");
        EXPECT_EQ(b.ui.boxes[0].title, "：　ブランクチェック");
        // A protected chip reads its program memory as zeros.
        EXPECT_EQ(b.ui.boxes[0].text, "プログラムメモリ\t\t：　消去されていません。　　　　　\r\n"
                                      "ＥＥＰＲＯＭデータメモリ\t\t：　ブランク。　　　　　\r\n"
                                      "ＣＯＮＦＩＧ　，　ＩＤ\t\t：　消去されていません。　　　　　\r\n"
                                      "このデバイスはコードプロテクトされています。");
    }
}

TEST(EraseWorkflow, ErasesFlashAndNeedsTheBoard) {
    Bench b("FLASH", 64, 16);
    b.chip().program[0] = 0x1234;
    EXPECT_EQ(RunErase(b.s()), Outcome::Passed);
    EXPECT_EQ(b.chip().program[0], 0x3FFF);
    EXPECT_EQ(b.s().view.note.rfind("プログラムメモリを消去ました。 ", 0), 0u);

    Bench silent("FLASH", 64, 16);
    silent.board().faults.silentAfterBytes = 0;
    EXPECT_EQ(RunErase(silent.s()), Outcome::NoBoard);
    EXPECT_EQ(silent.s().view.note.find("プログラムメモリ消去中"), std::string::npos);
}

// A closed port is a link failure, with the erase's own note, at once and
// without a byte sent. A port whose far side hung up leaves no board known:
// the next command searches and reports the port.
TEST(EraseWorkflow, ClosedOrVanishedPortIsALinkFailure) {
    Bench b("FLASH", 64, 16);
    ASSERT_EQ(RunErase(b.s()), Outcome::Passed);
    b.s().link.Close();
    const auto sent = b.board().received.size();
    const auto start = b.clock.now;
    EXPECT_EQ(Tell(b.s(), EraseProgramMemory(b.s())), Result::Er);
    EXPECT_TRUE(b.s().ops.linkFault);
    EXPECT_EQ(b.s().view.note, "プログラムメモリの消去失敗。終了コードを受信できませんでした。 ");
    EXPECT_EQ(b.board().received.size(), sent);
    EXPECT_LE(b.clock.now - start, 10);
    EXPECT_FALSE(b.s().link.boardFound);
    EXPECT_EQ(b.s().view.firmwareLabel.caption, "COM1 : ライター未接続");

    ASSERT_EQ(RunBlankCheck(b.s()), Outcome::Passed);  // the check opens the port again
    b.simPort->hangUp();
    EXPECT_EQ(RunErase(b.s()), Outcome::NoBoard);
    EXPECT_FALSE(b.s().link.boardFound);
    EXPECT_EQ(b.s().view.note, "通信ポートが使用できませんでした。\r ");
    ASSERT_FALSE(b.ui.boxes.empty());
    EXPECT_EQ(b.ui.boxes.back().title, "ｲﾝﾌｫﾒｰｼｮﾝ");
}

}  // namespace
}  // namespace vx

namespace vx {
namespace {

TEST(OverwriteQuestion, HintOpensTheDocumentBesideTheProgram) {
    test::TestRig rig;
    Session& s = *rig.session;
    OpenHint(s);
    EXPECT_EQ(s.run.hintAnswer, 3);
    EXPECT_TRUE(rig.processes.opened.empty());
    EXPECT_EQ(s.view.note, "ヒントファイル 'hint.pdf' が、以下のフォルダーに有りませんでした。 " + rig.dir);
    test::WriteFileBytes(rig.dir + "hint.pdf", "%PDF");
    OpenHint(s);
    ASSERT_EQ(rig.processes.opened.size(), 1u);
    EXPECT_EQ(rig.processes.opened[0], rig.dir + "hint.pdf");
}

}  // namespace
}  // namespace vx

namespace vx {
namespace {

// "EEPROMデータを保持": the chip's EEPROM stays as it was, program memory is still
// verified; a chip whose erase takes the EEPROM gets it back, verified.
TEST(ProgramWorkflow, KeepEepromLeavesTheChipsEepromAndStillVerifiesProgramMemory) {
    for (const bool eraseClears : {false, true}) {
        SCOPED_TRACE(eraseClears ? "erase clears EEPROM" : "erase leaves EEPROM");
        Bench b("FLASH", 64, 16);
        Session& s = b.s();
        b.chip().eraseClearsEeprom = eraseClears;
        for (int n = 0; n < 16; ++n)
            b.chip().eeprom[static_cast<std::size_t>(n)] = static_cast<std::uint8_t>(0xC0 + n);  // calibration table
        s.view.menus["mnuKeepEeprom"].checked = true;
        b.ui.overwriteAnswers = {1};
        const PcBuffer image = s.buffer;

        ASSERT_EQ(RunProgram(s), Outcome::Passed) << s.view.note;
        for (int n = 0; n < 16; ++n)
            EXPECT_EQ(b.chip().eeprom[static_cast<std::size_t>(n)], 0xC0 + n) << n;
        EXPECT_EQ(b.chip().program[0], test::BufferWord(s, 0));
        EXPECT_EQ(s.buffer.eeprom, image.eeprom);  // the image keeps the file's data
        EXPECT_NE(s.view.note.find(eraseClears ? "ＥＥＰＲＯＭデータ復元" : "ＥＥＰＲＯＭデータ保持"), std::string::npos)
            << s.view.note;
        // The EEPROM blank check, reads and verify share their letters: the
        // blank check, a read before and after the erase, and the verify only
        // when the cells were written back.
        int eepromWrites = 0, eepromReads = 0, programVerifies = 0;
        for (const auto& c : b.board().log) {
            eepromWrites += c.letters == "wed";
            eepromReads += c.letters == "rsd";
            programVerifies += c.letters == "rsp";
        }
        EXPECT_EQ(eepromWrites, eraseClears ? 1 : 0);
        EXPECT_EQ(eepromReads, eraseClears ? 4 : 3);
        EXPECT_EQ(programVerifies, 1);
    }
}

// A protected chip reads its EEPROM as zeros: keeping it is refused before
// the erase unless a person says to write without it.
TEST(ProgramWorkflow, KeepEepromOnAProtectedChipStopsBeforeTheErase) {
    for (const bool yes : {false, true}) {
        Bench b("FLASH", 64, 16);
        Session& s = b.s();
        b.chip().setConfigWord(0);  // code- and data-protected
        b.chip().eeprom[3] = 0x5A;
        s.view.menus["mnuKeepEeprom"].checked = true;
        b.ui.overwriteAnswers = {1};
        b.ui.boxAnswers = {yes ? MsgAnswer::Yes : MsgAnswer::No};
        const Outcome outcome = RunProgram(s);
        ASSERT_FALSE(b.ui.boxes.empty());
        EXPECT_NE(b.ui.boxes.front().text.find("保持できません"), std::string::npos);
        if (!yes) {
            EXPECT_EQ(outcome, Outcome::Refused);
            EXPECT_EQ(b.chip().eeprom[3], 0x5A);
            EXPECT_EQ(b.chip().configWord(), 0);  // never erased
            continue;
        }
        EXPECT_EQ(outcome, Outcome::Passed) << s.view.note;
        EXPECT_EQ(s.view.note.find("復元"), std::string::npos) << s.view.note;
        EXPECT_EQ(s.view.note.find("保持"), std::string::npos) << s.view.note;
    }
    // Nobody looking, or the command line: refused, nothing asked.
    for (const WriteSource source : {WriteSource::CommandLine, WriteSource::Unattended}) {
        Bench b("FLASH", 64, 16);
        Session& s = b.s();
        b.chip().setConfigWord(0);
        s.view.menus["mnuKeepEeprom"].checked = true;
        s.run.writeSource = source;
        EXPECT_EQ(RunProgram(s), Outcome::Refused);
        EXPECT_TRUE(b.ui.boxes.empty());
        EXPECT_EQ(b.chip().configWord(), 0);
    }
}

// A serial number in a kept EEPROM: the chip keeps its cells but the number's,
// which are written and verified; the verdict names both.
TEST(ProgramWorkflow, KeptEepromTakesTheSerialNumbersCells) {
    struct Hook : ProgramHook {
        bool reserve(Session&) override { return true; }
        bool place(Session& s) override {
            s.buffer.eeprom[2] = 0x00;
            s.buffer.eeprom[3] = 0x2A;  // cell 1
            return true;
        }
        void finish(Session&, Outcome) override {}
        std::vector<std::size_t> placedEepromBytes() const override { return {2, 3}; }
        std::string placedNumber() const override { return "2A"; }
    } hook;
    Bench b("FLASH", 64, 16);
    Session& s = b.s();
    for (int n = 0; n < 16; ++n)
        b.chip().eeprom[static_cast<std::size_t>(n)] = static_cast<std::uint8_t>(0xC0 + n);
    s.view.menus["mnuKeepEeprom"].checked = true;
    s.ops.programHook = &hook;
    ASSERT_EQ(RunProgram(s), Outcome::Passed) << s.view.note;
    EXPECT_EQ(b.chip().eeprom[1], 0x2A);
    for (int n = 0; n < 16; ++n)
        if (n != 1)
            EXPECT_EQ(b.chip().eeprom[static_cast<std::size_t>(n)], 0xC0 + n) << n;
    EXPECT_NE(s.view.note.find("ＥＥＰＲＯＭデータ保持　シリアル番号 2A"), std::string::npos) << s.view.note;

    // Verify after it leaves the kept cells out and says so.
    s.ops.programHook = nullptr;
    b.settle();
    EXPECT_EQ(RunVerify(s), Outcome::Passed) << s.view.note;
    EXPECT_NE(s.view.note.find("比較していません"), std::string::npos) << s.view.note;
}

// On a part that cannot be erased, nobody looking never writes over code.
TEST(ProgramWorkflow, UnattendedNeverWritesOverAChipThatCannotBeErased) {
    Bench b("EPROM", 64, 0);
    Session& s = b.s();
    b.chip().program[5] = 0x0000;
    s.run.writeSource = WriteSource::Unattended;
    const auto before = b.chip().program;
    EXPECT_EQ(RunProgram(s), Outcome::Cancelled);
    EXPECT_EQ(b.chip().program, before);
    EXPECT_EQ(b.ui.overwriteAsked, 0);
}

}  // namespace
}  // namespace vx
