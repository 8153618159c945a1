// What the factory put into a chip, on the simulated board with the shipped
// database: Program keeps the calibration word and band-gap bits, a Verify in
// a later session leaves them to the chip, a chip whose own are lost gets the
// session's or the user's, and a chip that is not the selected device is
// left alone.
#include <gtest/gtest.h>

#include <algorithm>

#include "device/devicedb.h"
#include "image/grid.h"
#include "image/hexfile.h"
#include "image/selection.h"
#include "ops/workflows.h"
#include "opstest.h"
#include "support/fakes.h"

namespace vx {
namespace {

void Select(Session& s, const std::string& name) {
    ASSERT_TRUE(LoadDeviceList(s));
    const auto& list = s.view.deviceList;
    const auto it = std::find(list.begin(), list.end(), name);
    ASSERT_NE(it, list.end()) << name;
    SelectDeviceIndex(s, static_cast<int>(it - list.begin()));
    s.link.portNumber = 1;
}

// A board whose socket holds a fresh chip of a device of the shipped
// database, and that device selected.
struct Shipped : test::SimRig {
    explicit Shipped(const std::string& device) : SimRig("FLASH", 64, 0), name(device) {
        test::WriteFileBytes(dir + "device.ini", test::ReadFileBytes(test::SourcePath("data/device.ini")));
        Select(*session, name);
        chip() = SimChip::ForDevice(session->device);
    }
    // The same board and chip in a session of its own: the window started
    // again, or the command line on a production line.
    Session& fresh() {
        later.push_back(std::make_unique<Session>(*simPort, settings, clock, ui, processes));
        Session& s = *later.back();
        s.run.appDir = dir;
        Select(s, name);
        clock.now += 1000;
        return s;
    }
    std::string name;
    std::vector<std::unique_ptr<Session>> later;
};

// An image as a HEX file carries it: code in the first half, IDs, and the
// device's default configuration word with its oscillator changed. Its last
// program word is blank and its band-gap bits are 11, as a file's are.
std::string ImageFile(Session& s) {
    test::FillBuffer(s);
    test::SetConfigAreaWord(s, 7, ((s.device.defaultConfig & ~0x0003) & s.device.configAndMask) | s.device.configOrMask);
    return BuildHexText(s);
}

void Load(Session& s, const std::string& file) {
    DecodeHexText(s.device, file, s.buffer, false);
    s.buffer.configWord = test::ConfigAreaWord(s, 7);
}

class CalibratedDevice : public ::testing::TestWithParam<const char*> {};

TEST_P(CalibratedDevice, ProgrammedChipVerifiesInAFreshSessionAndAfterReadAndSave) {
    Shipped board(GetParam());
    Session& first = *board.session;
    const std::string file = ImageFile(first);
    ASSERT_EQ(RunProgram(first), Outcome::Passed) << first.view.note;

    const bool twelveBit = Traits(first.device.family).twelveBit();
    const std::string calibration =
        std::string("キャリブレーション値 0x") + (twelveBit ? "0C80" : "3480") + "（チップの値を保持）";
    Session& later = board.fresh();
    Load(later, file);
    ASSERT_EQ(RunVerify(later), Outcome::Passed) << later.view.note;
    EXPECT_EQ(later.view.note.rfind("ベリファイは正常終了しました。\r\n" + calibration, 0), 0u) << later.view.note;
    const bool bandGap = Traits(later.device.family).bandGap;
    EXPECT_EQ(later.view.note.find("バンドギャップ値 2（チップの値を保持）") != std::string::npos, bandGap);

    // Read, save, and verify the saved file in another session.
    ASSERT_EQ(RunRead(later), Outcome::Passed);
    const std::string saved = BuildHexText(later);
    Session& third = board.fresh();
    Load(third, saved);
    EXPECT_EQ(RunVerify(third), Outcome::Passed) << third.view.note;
}

INSTANTIATE_TEST_SUITE_P(Shipped, CalibratedDevice,
                         ::testing::Values("PIC12F675", "PIC12F629", "PIC12C508A", "PIC12C509A", "PIC16C505",
                                           "PIC12C671"));

TEST(ChipValues, CodeProtectedTwelveF675KeepsItsFactoryWord) {
    Shipped board("PIC12F675");
    Session& s = *board.session;
    ImageFile(s);
    test::SetConfigAreaWord(s, 7, test::ConfigAreaWord(s, 7) & ~0x0080);  // CP ALL
    ASSERT_EQ(RunProgram(s), Outcome::Passed);
    ASSERT_TRUE(board.chip().codeProtected());

    // Again in the same session: the protected chip reads 0x0000 where its
    // word is, and the session's word from the first run stands in.
    board.ui.overwriteAnswers = {1};
    board.clock.now += 1000;
    ASSERT_EQ(RunProgram(s), Outcome::Passed) << s.view.note;
    EXPECT_EQ(board.chip().program.back(), 0x3480);
    EXPECT_EQ(board.chip().configWord() & 0x3000, 0x2000);

    // In a fresh session nothing stands in: nothing is erased, and the user
    // is asked. A value not of the retlw form is refused; a good one is written.
    const SimChip before = board.chip();
    Session& fresh = board.fresh();
    ImageFile(fresh);
    board.ui.overwriteAnswers = {1, 1, 1};
    board.ui.chipValueAnswers = {{}, {ChipValueChoice::Entered, "0x0C80", ""}};
    EXPECT_EQ(RunProgram(fresh), Outcome::NoChipValue);
    EXPECT_EQ(fresh.view.note, "キャリブレーション値がないため、消去する前に中止しました。 ");
    ASSERT_EQ(board.ui.chipValueQuestions.size(), 1u);
    EXPECT_TRUE(board.ui.chipValueQuestions[0].calibration);
    EXPECT_FALSE(board.ui.chipValueQuestions[0].bandGap);  // the configuration word is readable
    EXPECT_EQ(RunProgram(fresh), Outcome::NoChipValue);
    EXPECT_EQ(board.ui.boxes.back().text, "キャリブレーション値 '0x0C80' は retlw (0x34nn) の形ではありません。");
    EXPECT_EQ(board.chip().program, before.program);
    EXPECT_EQ(board.chip().config, before.config);
    EXPECT_EQ(fresh.run.attemptCount, 0);

    board.ui.chipValueAnswers = {{ChipValueChoice::Entered, "0x3455", ""}};
    EXPECT_EQ(RunProgram(fresh), Outcome::Passed) << fresh.view.note;
    EXPECT_EQ(board.chip().program.back(), 0x3455);
    EXPECT_EQ(fresh.ops.keptCalibration, 0x3455);  // typed: good for the next chip too
}

// A bulk-erased chip (its calibration word and band-gap bits gone) after a
// good one: the session's values, not RETLW 0xFF and 11. An EPROM part whose
// word is erased gets the session's word; one whose word holds anything else
// keeps it, since an EPROM cell can only lose bits.
TEST(ChipValues, LostValuesComeFromTheSession) {
    {
        Shipped board("PIC12F675");
        Session& s = *board.session;
        ImageFile(s);
        board.chip().program.back() = 0x3455;
        board.chip().setConfigWord(0x1FFF);  // band-gap bits 01
        ASSERT_EQ(RunProgram(s), Outcome::Passed);
        board.chip() = SimChip::ForDevice(s.device);
        board.chip().bulkErase();
        board.clock.now += 1000;
        ASSERT_EQ(RunProgram(s), Outcome::Passed) << s.view.note;
        EXPECT_TRUE(board.ui.chipValueQuestions.empty());
        EXPECT_EQ(board.chip().program.back(), 0x3455);
        EXPECT_EQ(board.chip().configWord() & 0x3000, 0x1000);
        EXPECT_EQ(s.view.bandGapText, "1");
        EXPECT_EQ(s.buffer.calibText, "retlw 0x55");
    }
    for (int lost : {0x0FFF, 0x0000}) {
        SCOPED_TRACE(lost);
        Shipped board("PIC12C508A");
        Session& s = *board.session;
        ImageFile(s);
        ASSERT_EQ(RunProgram(s), Outcome::Passed);
        board.chip() = SimChip::ForDevice(s.device);
        board.chip().program.back() = static_cast<std::uint16_t>(lost);
        board.clock.now += 1000;
        ASSERT_EQ(RunProgram(s), Outcome::Passed) << s.view.note;
        EXPECT_EQ(board.chip().program.back(), lost == 0x0FFF ? 0x0C80 : 0x0000);
    }
}

// Selecting another device forgets the values, and so does a new session;
// the user's typed band gap and calibration count.
TEST(ChipValues, TypedValuesStandInAndAnotherDeviceForgetsThem) {
    Shipped board("PIC12F629");
    Session& s = *board.session;
    ImageFile(s);
    board.chip().bulkErase();
    BandGapTyped(s, "1");
    for (std::size_t row = 1; row < s.grid.cells.size(); ++row)
        if (IsCalibrationKey(s.grid.cells[row][0]))
            s.grid.currentRow = static_cast<int>(row);
    s.grid.editorText = "66";
    CommitCalibration(s);
    ASSERT_EQ(RunProgram(s), Outcome::Passed) << s.view.note;
    EXPECT_EQ(board.chip().program.back(), 0x3466);
    EXPECT_EQ(board.chip().configWord() & 0x3000, 0x1000);

    Select(s, "PIC12F675");
    EXPECT_FALSE(s.ops.keptCalibration);
    EXPECT_FALSE(s.ops.keptBandGap);
}

TEST(ChipIdentity, WrongChipStopsProgramAndEraseUnchanged) {
    struct Case {
        int id;
        std::string line;
    };
    for (const Case& c : {Case{0x0F83, "デバイスID 0x0F83：PIC12F629 リビジョン 3"}, Case{0x1234, "不明なID 0x1234"},
                          Case{0x3FFF, "チップが正しく応答しません（デバイスID 0x3FFF）。"}}) {
        SCOPED_TRACE(c.line);
        Shipped board("PIC12F675");
        Session& s = *board.session;
        ImageFile(s);
        board.chip().setDeviceId(c.id);
        const SimChip before = board.chip();
        EXPECT_EQ(RunProgram(s), Outcome::WrongChip);
        EXPECT_EQ(RunErase(s), Outcome::WrongChip);
        ASSERT_EQ(board.ui.wrongChipQuestions.size(), 2u);
        EXPECT_NE(board.ui.wrongChipQuestions[0].find(c.line), std::string::npos) << board.ui.wrongChipQuestions[0];
        EXPECT_EQ(board.ui.wrongChipQuestions[0].find("（PIC12F675）ではありません。") != std::string::npos,
                  c.id != 0x3FFF);
        EXPECT_EQ(board.chip().program, before.program);
        EXPECT_EQ(board.chip().config, before.config);
        for (const SimCommand& command : board.board().log)
            EXPECT_TRUE(command.letters == "?" || command.letters == "*" || command.letters == "rsc")
                << command.letters;
        EXPECT_EQ(s.run.attemptCount, 0);

        // The user goes on all the same.
        board.ui.wrongChipAnswers = {true};
        EXPECT_EQ(RunProgram(s), Outcome::Passed) << s.view.note;
    }
}

TEST(ChipIdentity, IdentifyNamesThePartAndRevision) {
    struct Case {
        int id;
        Outcome outcome;
        std::string note;
    };
    const std::string noChip = "チップが正しく応答しません（デバイスID 0x";
    const std::string why = "）。チップが無いか、向きや位置が違うか、接触していません。 ";
    for (const Case& c : {Case{0x0FC4, Outcome::Passed, "デバイスID 0x0FC4：PIC12F675 リビジョン 4 "},
                          Case{0x1063, Outcome::Passed, "デバイスID 0x1063：PIC16F628A リビジョン 3 "},
                          Case{0x2345, Outcome::Failed, "不明なID 0x2345 "},
                          Case{0x0000, Outcome::Failed, noChip + "0000" + why},
                          Case{0x3FFF, Outcome::Failed, noChip + "3FFF" + why}}) {
        SCOPED_TRACE(c.note);
        Shipped board("PIC12F675");
        board.chip().setDeviceId(c.id);
        EXPECT_EQ(RunIdentify(*board.session), c.outcome);
        EXPECT_EQ(board.session->view.note, c.note);
        // Only the selected device's ID is not red.
        EXPECT_EQ(board.session->view.noteColour == kColourRed, c.id != 0x0FC4);
    }
    // Read, Verify and Blank check name the chip and go on.
    Shipped board("PIC16F84A");
    board.chip().setDeviceId(0x1063);
    EXPECT_EQ(RunBlankCheck(*board.session), Outcome::Passed);
    EXPECT_EQ(board.board().log[4].letters, "rsc");
    // A 12-bit part has no ID to read.
    Shipped twelve("PIC12C508A");
    EXPECT_EQ(RunIdentify(*twelve.session), Outcome::Failed);
    EXPECT_EQ(twelve.session->view.note, "このデバイスのファミリーにはデバイスIDがありません。 ");
    // Nor have the older 14-bit parts.
    Shipped old("PIC16F84");
    EXPECT_EQ(RunIdentify(*old.session), Outcome::Failed);
    EXPECT_EQ(old.session->view.note, "このデバイスにはデバイスIDがありません。 ");
}

// A one-time part keeps whatever its calibration word holds, and says so
// when that is no calibration instruction; its stop never speaks of an erase.
TEST(ChipValues, OneTimePartsKeepTheirWordAndAreNeverSaidToBeErased) {
    Shipped board("PIC12C508A");
    Session& s = *board.session;
    ImageFile(s);
    board.chip().program.back() = 0x0000;
    board.ui.overwriteAnswers = {1};
    std::string notes;
    board.ui.onViewChanged = [&] { notes += s.view.note + "\n"; };
    EXPECT_EQ(RunProgram(s), Outcome::Passed) << s.view.note;
    EXPECT_EQ(board.chip().program.back(), 0x0000);
    EXPECT_NE(notes.find("0x0000 はキャリブレーション命令ではありません"), std::string::npos) << notes;

    // Nothing stands in on a blank one-time part without a word: the stop
    // does not speak of an erase.
    Shipped blank("PIC12C508A");
    Session& b = *blank.session;
    ImageFile(b);
    blank.chip().program.back() = 0x0FFF;
    EXPECT_EQ(RunProgram(b), Outcome::NoChipValue) << b.view.note;
    EXPECT_EQ(b.view.note, "キャリブレーション値がないため、中止しました。 ");
}


}  // namespace
}  // namespace vx
