#include "ops/workflows.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <optional>

#include "base/convert.h"
#include "image/display.h"
#include "image/grid.h"
#include "image/pcbufferops.h"
#include "link/family.h"
#include "ops/boardops.h"
#include "ops/chipvalues.h"
#include "ops/detect.h"
#include "ops/oplog.h"
#include "ops/opreport.h"
#include "ops/writeplan.h"
#include "session/status.h"

namespace vx {

namespace {

const char* const kCrLf = "\r\n";
const char* const kCalibInfo = "キャリブレーションデータ情報";

std::string Hex4(int value) { return HexText(static_cast<std::uint32_t>(value & 0xFFFF), 4); }

void SetCalibLabel(Session& s, const std::string& caption) {
    s.view.calibLabel.caption = caption;
    s.run.calibCheckText = caption;
    s.ui.viewChanged();
}

// The start every workflow shares: refused while a board command runs, then
// busy for the whole run, with the device checked; nullopt goes on.
std::optional<Outcome> StartWorkflow(Session& s, BusyMark& busy) {
    switch (StartDeviceCommand(s, &busy)) {
    case CommandStart::Busy:
        return Outcome::Busy;
    case CommandStart::NoDevice:
        return Outcome::NoDevice;
    case CommandStart::Go:
        break;
    }
    return std::nullopt;
}

bool BoardReady(Session& s) { return CheckBoard(s) == BoardCheck::Ready; }

Outcome Stopped(const Session& s) { return s.ops.linkFault ? Outcome::LinkFailed : Outcome::Failed; }

bool IsBlank(const std::string& combined) { return combined == "OK--OK" || combined == "OKOKOK"; }

bool MenuMark(const Session& s, const char* entry) {
    const auto it = s.view.menus.find(entry);
    return it != s.view.menus.end() && it->second.enabled && it->second.checked;
}

bool BlankSkipMode(const Session& s) { return MenuMark(s, "mnuBlankSkip"); }

bool KeepsEeprom(const Session& s, const FamilyTraits& family) {
    return MenuMark(s, "mnuKeepEeprom") && family.eeprom && s.device.eepromBytes > 0;
}

const char* const kEepromNotCompared = "ＥＥＰＲＯＭデータは保持しているので比較していません。";

using EepromImage = std::array<std::uint8_t, kEepromBytes>;

// Program leaves the chip's EEPROM as it is ("EEPROMデータを保持").
// `chip` is what the chip held before the erase; `restore` is set when the
// erase took it with it, so it is written back and verified.
struct KeptEeprom {
    bool active = false;
    bool restore = false;
    EepromImage chip{};
    std::string serial;  // the serial number written into the kept cells, as the verdict names it
};

// The chip's EEPROM cells, read without touching the image's.
std::optional<EepromImage> ReadChipEeprom(Session& s) {
    const EepromImage image = s.buffer.eeprom;
    ProgressBar bar(s);
    const auto read = Tell(s, ReadEeprom(s, bar));
    EepromImage chip = s.buffer.eeprom;
    s.buffer.eeprom = image;
    RefreshEepromText(s);
    if (read != Result::Ok)
        return std::nullopt;
    return chip;
}

bool SameCells(const Session& s, const EepromImage& a, const EepromImage& b) {
    const auto end = 2 * static_cast<std::size_t>(std::clamp(s.device.eepromBytes, 0, kEepromBytes / 2));
    return std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(end), b.begin());
}

// Before the erase: what the chip holds. False: it could not be read; the run stops.
bool ReadEepromToKeep(Session& s, const WritePlan& plan, KeptEeprom& kept) {
    kept.active = plan.keepEeprom;
    if (!kept.active)
        return true;
    ShowNote(s, "ＥＥＰＲＯＭデータメモリ読み出し中..........");
    const auto chip = ReadChipEeprom(s);
    if (chip)
        kept.chip = *chip;
    return chip.has_value();
}

// After the erase: a chip whose erase cleared its EEPROM gets it back.
bool CheckEepromAfterErase(Session& s, const FamilyTraits& family, KeptEeprom& kept) {
    if (!kept.active || !family.flash)
        return true;
    const auto chip = ReadChipEeprom(s);
    if (!chip)
        return false;
    kept.restore = !SameCells(s, *chip, kept.chip);
    return true;
}

// An EEPROM write or verify, told; while the chip's EEPROM is kept, it runs
// on the kept cells in place of the image's.
using EepromOperation = std::optional<OpReport> (*)(Session& s, Progress& progress);
std::optional<Result> TellEeprom(Session& s, const KeptEeprom& kept, EepromOperation operation) {
    ProgressBar bar(s);
    if (!kept.active)
        return Tell(s, operation(s, bar));
    const EepromImage image = s.buffer.eeprom;
    s.buffer.eeprom = kept.chip;
    const auto result = Tell(s, operation(s, bar));
    s.buffer.eeprom = image;
    RefreshEepromText(s);
    return result;
}

// The system's time of day, as the verdict shows it.
std::string TimeOfDay() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::snprintf(text, sizeof text, "%d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

double Seconds(Session& s) { return static_cast<double>(s.clock.nowMs()) / 1000.0; }

// The chip's calibration word as the verify read it back: the last word it
// compared, which in a 12-bit reply is the last of the four ID words.
int CalibrationReadBack(const Session& s) {
    const Bytes& r = s.ops.verifyReply;
    const int at = Traits(s.device.family).twelveBit() ? s.ops.verifyPos - 8 : s.ops.verifyPos;
    auto byte = [&r](int i) { return i >= 0 && i < static_cast<int>(r.size()) ? r[i] : 0; };
    return byte(at) * 256 + byte(at + 1);
}

// A device without EEPROM bytes has no EEPROM area to report.
std::string EepromResult(const std::optional<Result>& result) { return ResultText(result.value_or(Result::None)); }

// The blank check before a write: what the chip holds, for the plan; an
// outcome ends the run. `program` is the program memory's result.
std::optional<Outcome> SurveyBlank(Session& s, ChipSurvey& survey, Result& program) {
    ShowNote(s, "ブランクチェック中..........");
    program = Tell(s, BlankCheckProgramMemory(s));
    if (program == Result::Er)
        return Outcome::LinkFailed;
    const Result eeprom = Tell(s, BlankCheckEeprom(s));
    if (eeprom == Result::Er)
        return Outcome::LinkFailed;
    Result protect = Result::None;
    const Result config = Tell(s, BlankCheckConfig(s, protect));
    if (config == Result::Er)
        return Outcome::LinkFailed;
    survey.programBlank = program != Result::Ng;
    survey.eepromBlank = eeprom != Result::Ng;
    survey.configBlank = config != Result::Ng;
    survey.protectedChip = protect == Result::Cp;
    if (IsBlank(std::string(ResultText(program)) + ResultText(eeprom) + ResultText(config)))
        ShowNote(s, "ブランクチェック終了。　デバイスは消去されています。");
    return std::nullopt;
}

// Without the blank check the plan still needs to know whether a kept
// EEPROM can be read: only the protection is looked at.
std::optional<Outcome> SurveyProtection(Session& s, ChipSurvey& survey) {
    Result protect = Result::None;
    if (Tell(s, BlankCheckConfig(s, protect)) == Result::Er)
        return Outcome::LinkFailed;
    survey.protectedChip = protect == Result::Cp;
    return std::nullopt;
}

std::optional<Outcome> AnswerOverwrite(Session& s, const Question& q, bool protectedChip) {
    ShowNote(s, "デバイスにコードが書き込まれています。");
    s.view.hintLine0 = protectedChip ? "書込み済みです。(コードプロテクトされています｡)" : "書込み済みです。";
    s.view.hintLine1 = "上書きしますか？";
    s.run.hintAnswer = 0;
    if (q.answer == false) {
        ShowNote(s, Tone::Alert, "消去できないデバイスに書き込まれているので、上書きしません。");
        return Outcome::Cancelled;
    }
    s.run.hintAnswer = q.answer ? 1 : s.ui.askOverwrite();
    if (s.run.hintAnswer == 2) {
        ShowNote(s, "上書き操作をキャンセルしました。");
        return Outcome::Cancelled;
    }
    return std::nullopt;
}

// Yes: the write goes on with the image's EEPROM.
std::optional<Outcome> AnswerEepromNotKept(Session& s, const Question& q) {
    const std::string why = "このデバイスはプロテクトされているため、ＥＥＰＲＯＭデータを読み出せず、保持できません。";
    if (!q.answer) {
        const MsgAnswer answer = s.ui.messageBox(MsgIcon::Question, "プログラム",
                                                 why + "\rＥＥＰＲＯＭデータを保持せずに書き込みますか？", MsgButtons::NoYes);
        if (answer == MsgAnswer::Yes)
            return std::nullopt;
    }
    ShowNote(s, Tone::Alert, why, q.who == Answerer::Option ? "（--keep-eeprom なしで実行してください。）" : "");
    return Outcome::Refused;
}

// The plan's questions, each answered by the plan or by the front end; an
// outcome stops the run with nothing erased.
std::optional<Outcome> AnswerPlan(Session& s, const WritePlan& plan, const ChipSurvey& survey) {
    for (const Question& q : plan.questions) {
        const auto stop = q.what == PlanQuestion::Overwrite ? AnswerOverwrite(s, q, survey.protectedChip)
                                                            : AnswerEepromNotKept(s, q);
        if (stop)
            return stop;
    }
    for (const std::string& note : plan.notes)
        ShowNote(s, note);
    return std::nullopt;
}

// The chip's calibration word and band-gap bits, each read under its note.
Result ReadChipCalibration(Session& s) {
    ShowNote(s, "ＯＳＣＣＡＬデータリード中．．．．．");
    s.ui.processEvents();
    ProgressBar bar(s);
    return Tell(s, ReadCalibration(s, bar));
}

Result ReadChipBandGap(Session& s) {
    ShowNote(s, "ＢＧデータリード中．．．．．");
    s.ui.processEvents();
    return Tell(s, ReadBandGap(s));
}

// The chip's own calibration word and band-gap bits, before anything is
// written: the blank check finds the word only on a blank chip, a
// one-time-programmable part given another chip's value loses its own for
// good, and the bulk erase clears both. False: the run stops.
bool ReadFactoryValues(Session& s, const FamilyTraits& family, Result program) {
    if (!family.calibrated && !family.bandGap)
        return true;
    if (!family.flash)
        return s.buffer.calibText.empty() || program == Result::Ok || ReadChipCalibration(s) == Result::Ok;
    return (!family.calibrated || ReadChipCalibration(s) == Result::Ok) &&
           (!family.bandGap || ReadChipBandGap(s) == Result::Ok);
}

bool EraseFlashPart(Session& s, const FamilyTraits& family) {
    if (!family.flash)
        return true;
    ShowNote(s, "コードプロテクト解除中..........");
    if (Tell(s, EraseProgramMemory(s)) != Result::Ok) {
        ShowNote(s, "コードプロテクト解除失敗。");
        return false;
    }
    return true;
}

// The calibration word settled before the erase goes into the last program word.
void KeepCalibrationWord(Session& s, int words) {
    const std::size_t last = 2 * static_cast<std::size_t>(words - 1);
    const auto& word = s.ops.writeCalibration;
    if (!word || words <= 0 || last + 1 >= s.buffer.program.size())
        return;
    s.buffer.program[last] = static_cast<std::uint8_t>(*word >> 8);
    s.buffer.program[last + 1] = static_cast<std::uint8_t>(*word & 0xFF);
}

// False: the hook refused to place its number, or a write failed (after its
// message box); the run stops.
bool WriteProgramAndEeprom(Session& s, KeptEeprom& kept) {
    ProgramHook* hook = s.ops.programHook;
    if (hook && !hook->place(s))
        return false;
    // A serial number in a kept EEPROM: the chip's cells but for the number's.
    if (hook && kept.active && !hook->placedEepromBytes().empty()) {
        for (const std::size_t i : hook->placedEepromBytes())
            if (i < kept.chip.size())
                kept.chip[i] = s.buffer.eeprom[i];
        kept.restore = true;
        kept.serial = hook->placedNumber();
    }
    ProgressBar bar(s);
    const Result written = Tell(s, WriteProgramMemory(s, bar));
    if (written == Result::Ng || written == Result::Er) {
        s.ui.messageBox(MsgIcon::Critical, "プログラムメモリプログラミング", "プログラムメモリのプログラミングに失敗しました。");
        return false;
    }
    if (kept.active && !kept.restore)
        return true;
    ShowNote(s, "ＥＥＰＲＯＭデータメモリのプログラミング..........");
    const auto eepromWritten = TellEeprom(s, kept, WriteEeprom);
    if (eepromWritten == Result::Ng || eepromWritten == Result::Er) {
        s.ui.messageBox(MsgIcon::Critical, "ＥＥＰＲＯＭデータメモリプログラミング",
                        "ＥＥＰＲＯＭデータメモリのプログラミングに失敗しました。");
        return false;
    }
    return true;
}

// calibRead: the chip's calibration word as read before the write; empty
// for a family without one.
void VerifyProgramAndEeprom(Session& s, const std::string& calibRead, const KeptEeprom& kept) {
    auto& results = s.run.verifyResults;
    ShowNote(s, "プログラムメモリのベリファイ中..........");
    ProgressBar bar(s);
    results[0] = ResultText(Tell(s, VerifyProgramMemory(s, bar)));
    if (!calibRead.empty()) {
        SetCalibLabel(s, "Read: 0x" + calibRead + " , Write: 0x" + Hex4(CalibrationReadBack(s)));
        s.view.calibLabel.visible = true;
    }
    if (kept.active && !kept.restore)
        return;  // the chip's cells were never touched: nothing to compare
    ShowNote(s, "ＥＥＰＲＯＭデータメモリのベリファイ中..........");
    results[1] = EepromResult(TellEeprom(s, kept, VerifyEeprom));
}

// The factory band-gap bits settled before the erase go back into the configuration word.
void RestoreBandGap(Session& s) {
    const int bandGap = s.ops.writeBandGap.value_or(std::max(0, ParseNumber(s.view.bandGapText)));
    const auto high = static_cast<std::uint8_t>(((bandGap * 16) | (s.ops.configImage[14] & 0x0F)) & 0xFF);
    s.ops.configImage[14] = high;
    s.buffer.configArea[14] = high;
    s.buffer.configWord = s.buffer.configArea[14] * 256 + s.buffer.configArea[15];
    s.view.configText = Hex4(s.buffer.configWord);
    RefreshGridFromConfig(s);
}

// False: the configuration could not be written (after its message box).
bool WriteConfiguration(Session& s, const FamilyTraits& family) {
    if (family.fourteenBit()) {
        ShowNote(s, "コンフィグレーションの修正データ修得中..........");
        if (Tell(s, MergeConfigArea(s)) != Result::Ok) {
            s.ui.messageBox(MsgIcon::Critical, "", "コンフィグレーションの修正データ修得に失敗しました。");
            return false;
        }
    }
    ShowNote(s, "コンフィギュレーションワード プログラミング中..........");
    s.ui.processEvents();
    if (family.bandGap)
        RestoreBandGap(s);
    if (Tell(s, WriteConfig(s)) != Result::Ok) {
        s.ui.messageBox(MsgIcon::Critical, "", "コンフィグレーションのプログラミングに失敗しました。");
        return false;
    }
    return true;
}

// The verdict of a run that wrote everything: the note, the log line and,
// when a verify failed, the box of results.
Outcome ReportProgramVerdict(Session& s, const KeptEeprom& kept) {
    const auto& results = s.run.verifyResults;
    s.run.startTime = Seconds(s) - s.run.startTime;
    // The verdict says that the chip's EEPROM was left as it was (or put back).
    const std::string endTime =
        TimeOfDay() + (!kept.active            ? ""
                       : !kept.serial.empty() ? "　ＥＥＰＲＯＭデータ保持　シリアル番号 " + kept.serial
                       : kept.restore         ? "　ＥＥＰＲＯＭデータ復元"
                                              : "　ＥＥＰＲＯＭデータ保持");
    if (IsBlank(results[0] + results[1] + results[2])) {
        ++s.run.passCount;
        s.run.programResult = "プログラミング成功。" + std::to_string(static_cast<long long>(s.run.startTime)) + "sec" +
                              "　終了時刻：" + endTime + "  Pass = " + std::to_string(s.run.passCount) +
                              "    Fail = " + std::to_string(s.run.attemptCount - s.run.passCount);
        ShowNote(s, s.run.programResult);
        AppendVerdict(s);
        return Outcome::Passed;
    }
    s.run.programResult = "プログラミング失敗。　終了時刻：" + endTime + "  Pass = " + std::to_string(s.run.passCount) +
                          "    Fail = " + std::to_string(s.run.attemptCount - s.run.passCount);
    ShowNote(s, Tone::Alert, s.run.programResult);
    AppendVerdict(s, VerifyFindings(s, "　"));
    std::string text = "プログラムメモリ　　　　\t=　 " + results[0] + "　　　　　" + kCrLf;
    if (results[1] != "--")
        text += "ＥＥＰＲＯＭデータメモリ\t=　 " + results[1] + "　　　　　" + kCrLf;
    text += "ＣＯＮＦＩＧ. ワード　　　\t= 　" + results[2] + "　　　　　" + kCrLf;
    const std::string findings = VerifyFindings(s, kCrLf);
    s.ui.messageBox(MsgIcon::Information, "ベリファイ", text + (findings.empty() ? "" : findings + kCrLf));
    return Stopped(s);
}

WriteRequest RequestOf(const Session& s, const FamilyTraits& family) {
    WriteRequest r;
    r.source = s.run.writeSource;
    r.erasable = family.flash;
    r.keepEeprom = KeepsEeprom(s, family);
    r.calibrationGiven = s.ops.calibrationOption;
    r.bandGapGiven = s.ops.bandGapOption;
    return r;
}

Outcome ProgramSteps(Session& s) {
    BusyMark busy(s);
    if (const auto refused = StartWorkflow(s, busy))
        return *refused;
    s.run.startTime = Seconds(s);
    SetCalibLabel(s, kCalibInfo);
    HideGridEditors(s);
    if (!BoardReady(s))
        return Outcome::NoBoard;
    busy.hourglass();
    RefreshProgramMemoryText(s);
    RefreshEepromText(s);
    s.run.verifyResults = {"OK", "OK", "OK"};
    s.ops.verifyDifferences = {};
    const FamilyTraits& family = Traits(s.device.family);
    const int words = s.device.programWords;

    if (const auto stop = CheckChipIdentity(s, IdCheck::Ask))
        return *stop;
    // The chip survey and the plan, every question answered, before anything is erased.
    const WriteRequest request = RequestOf(s, family);
    ChipSurvey survey;
    Result program = Result::None;
    if (const auto stop = BlankSkipMode(s) ? (request.keepEeprom ? SurveyProtection(s, survey) : std::nullopt)
                                            : SurveyBlank(s, survey, program))
        return *stop;
    if (!ReadFactoryValues(s, family, program))
        return Stopped(s);
    survey.calibrationUsed = family.calibrated && !s.buffer.calibText.empty() && !ChipCalibrationKept(s, family);
    survey.bandGapUsed = family.bandGap && !s.ops.chipBandGap;
    const WritePlan plan = PlanWrite(request, survey);
    if (const auto stop = AnswerPlan(s, plan, survey))
        return *stop;
    if (const auto stop = SettleChipValues(s))
        return *stop;
    ++s.run.attemptCount;
    KeptEeprom kept;
    if (!ReadEepromToKeep(s, plan, kept) || !EraseFlashPart(s, family) || !CheckEepromAfterErase(s, family, kept))
        return Stopped(s);

    ShowNote(s, "プログラムメモリのプログラミング中..........");
    s.ui.processEvents();
    const std::string calibRead = family.calibrated ? Hex4(s.ops.chipCalib.word()) : "";
    SetCalibLabel(s, family.calibrated ? "Read: 0x" + calibRead : "");
    KeepCalibrationWord(s, words);
    if (!WriteProgramAndEeprom(s, kept))
        return Stopped(s);
    VerifyProgramAndEeprom(s, calibRead, kept);
    if (!WriteConfiguration(s, family))
        return Stopped(s);

    ShowNote(s, "コンフィギュレーションワードのベリファイ中..........");
    Result protect = Result::None;
    s.run.verifyResults[2] = ResultText(Tell(s, VerifyConfigAfterWrite(s, protect)));
    return ReportProgramVerdict(s, kept);
}

// Blank or not, from the accumulators of what the read took in; nullopt for
// an unknown family, which the read does not judge.
std::optional<bool> ReadFoundBlank(const Session& s) {
    const FamilyTraits& family = Traits(s.device.family);
    if (!family.core)
        return std::nullopt;
    const OpsState& o = s.ops;
    BytePair all = o.programAcc;
    auto fold = [&all](const BytePair& p) {
        all.high &= p.high;
        all.low &= p.low;
    };
    if (family.twelveBit())
        fold(o.idAcc);
    else if (family.eeprom)
        fold(o.eepromAcc);
    fold(o.configAcc);
    return all.word() == family.core->blankWord;
}

}  // namespace

Outcome RunProgram(Session& s) {
    ProgramHook* hook = s.ops.programHook;
    if (!hook || s.view.busy)
        return ProgramSteps(s);
    if (!hook->reserve(s))
        return Outcome::Failed;
    const Outcome outcome = ProgramSteps(s);
    hook->finish(s, outcome);
    return outcome;
}

Outcome RunRead(Session& s) {
    // The chip's contents would become the image the operator's screen writes.
    if (RefuseWhileLocked(s))
        return Outcome::Busy;
    BusyMark busy(s);
    if (const auto refused = StartWorkflow(s, busy))
        return *refused;
    HideGridEditors(s);
    SetCalibLabel(s, kCalibInfo);
    if (!BoardReady(s))
        return Outcome::NoBoard;
    busy.hourglass();
    if (const auto stop = CheckChipIdentity(s, IdCheck::Show))
        return *stop;
    ShowImageFile(s, "");  // the image becomes the chip's, no file's
    s.buffer.readFromChip = true;

    ShowNote(s, "プログラムメモリ読み出し中..........");
    ProgressBar bar(s);
    if (Tell(s, ReadProgramMemory(s, bar)) == Result::Ng)
        return Stopped(s);
    ShowNote(s, "ＥＥＰＲＯＭデータメモリ読み出し中..........");
    if (Tell(s, ReadEeprom(s, bar)) == Result::Ng)
        return Stopped(s);
    ShowNote(s, "コンフィギュレーションワード読み出し中..........");
    if (Tell(s, ReadConfig(s)) == Result::Ng)
        return Stopped(s);

    s.buffer.configWord = s.buffer.configArea[14] * 256 + s.buffer.configArea[15];
    RefreshGridFromConfig(s);
    if (const auto blank = ReadFoundBlank(s)) {
        if (*blank)
            ShowNote(s, "読み出し完了。　デバイスは消去されています。");
        else if (s.buffer.codeProtectSuspected)
            ShowNote(s, Tone::Alert, "コードプロテクトされているか、不適切なデータがコードプロテクトビットにセットされています。",
                     "デバイスが、コードプロテクトされている可能性があります。");
        else
            ShowNote(s, "読み出し完了。");
    }
    s.view.checksumLabel.caption = PcBufferChecksum(s);
    s.ui.viewChanged();
    return Outcome::Passed;
}

namespace {

// The verify's verdict and the text of its error box, from the three results.
struct VerifyVerdict {
    bool passed;
    std::string text;
};

// nullopt for an unknown family, which the verify does not judge.
std::optional<VerifyVerdict> JudgeVerify(const Session& s) {
    const auto& [p, e, c] = s.run.verifyResults;
    const std::string sep = "：　";
    const std::string pad = "　　　　　";
    const FamilyTraits& family = Traits(s.device.family);
    // A configuration reply that never came whole leaves nothing to show.
    const bool configRead = !s.ops.verifyConfigText.empty();
    const std::string notRead = "（コンフィギュレーションワードを読み出せませんでした。）";
    if (family.twelveBit()) {
        std::string text =
            std::string(kCrLf) + "プログラムメモリ　ｏｒ　ＩＤ\t" + sep + p + pad + "\r" + "Ｃｏｎｆｉｇ.ワード \t\t" + sep + c;
        if (c == "NG")
            text += configRead ? "　　（0x" + s.ops.verifyConfigText + "）　　" : "　　" + notRead + "　　";
        return VerifyVerdict{p + c == "OKOK", text};
    }
    if (!family.fourteenBit())
        return std::nullopt;
    std::string text = std::string(kCrLf) + "プログラムメモリ\t\t" + sep + p + pad + "\r";
    if (e != "--")
        text += "ＥＥＰＲＯＭデータメモリ\t\t" + sep + e + pad + "\r";
    // The details go on a line of their own under the result, so that a
    // narrow box never wraps them back to the margin.
    text += "Ｃｏｎｆｉｇワード \t\t" + sep + c +
            (configRead ? "\r\t\t\t（Ｃｏｎｆｉｇ：" + s.ops.verifyConfigText + "，ＩＤ：" + s.ops.verifyIdText + "）　　"
                        : "　" + notRead + "　　");
    return VerifyVerdict{IsBlank(p + e + c), text};
}

}  // namespace

Outcome RunVerify(Session& s) {
    BusyMark busy(s);
    if (const auto refused = StartWorkflow(s, busy))
        return *refused;
    SetCalibLabel(s, kCalibInfo);
    HideGridEditors(s);
    if (!BoardReady(s))
        return Outcome::NoBoard;
    busy.hourglass();
    if (const auto stop = CheckChipIdentity(s, IdCheck::Show))
        return *stop;
    RefreshProgramMemoryText(s);
    RefreshEepromText(s);
    auto& results = s.run.verifyResults;
    results = {"OK", "OK", "OK"};
    s.ops.verifyDifferences = {};

    ShowNote(s, "コンフィギュレーションワードのベリファイ中..........");
    RefreshProgramMemoryText(s);
    Result protect = Result::None;
    results[2] = ResultText(Tell(s, VerifyConfig(s, protect)));
    if (protect == Result::Cp) {
        ShowNote(s, Tone::Alert, "このデバイスはコードプロテクトされています。");
        s.ui.messageBox(MsgIcon::Critical, "ベリファイ",
                        "このデバイスはコードプロテクトされています。\rベリファイををスキップしました。" +
                            std::string(13, ' '));
        return Outcome::Failed;
    }

    ShowNote(s, "プログラムメモリのベリファイ中..........");
    // The chip keeps its own calibration word and band-gap bits, as Program
    // leaves them: they are shown apart, not compared with the file.
    ProgressBar bar(s);
    results[0] = ResultText(Tell(s, VerifyProgramMemory(s, bar, true)));
    // Program left the chip's EEPROM as it was: there is nothing of the
    // image's to compare it with.
    const bool keptEeprom = KeepsEeprom(s, Traits(s.device.family));
    if (!keptEeprom) {
        ShowNote(s, "ＥＥＰＲＯＭデータメモリのベリファイ中..........");
        results[1] = EepromResult(Tell(s, VerifyEeprom(s, bar)));
    } else {
        results[1] = "--";
    }

    const auto verdict = JudgeVerify(s);
    if (!verdict)
        return Stopped(s);
    std::string chipValues = ChipValueLines(s);
    if (keptEeprom)
        chipValues += (chipValues.empty() ? "" : kCrLf) + std::string(kEepromNotCompared);
    const std::string shown = chipValues.empty() ? "" : kCrLf + chipValues;
    if (verdict->passed) {
        ShowNote(s, "ベリファイは正常終了しました。" + shown);
        return Outcome::Passed;
    }
    ShowNote(s, Tone::Alert, "ベリファイエラーを検出しました。");
    const std::string findings = VerifyFindings(s, "\r");
    s.ui.messageBox(MsgIcon::Critical, "ベリファイエラー",
                    verdict->text + (findings.empty() ? "" : "\r" + findings) + (chipValues.empty() ? "" : "\r" + chipValues));
    return Stopped(s);
}

namespace {

const char* const kErased = "デバイスは消去されています。";
const char* const kNotErased = "デバイスは消去されてません。";

// What the blank check found, for its report.
struct BlankFindings {
    Result program, eeprom, config;
    std::string combined;     // the three result texts
    std::string protectLine;  // the code-protect sentence, or ""
};

// The blank check's note: erased, or in red not erased, and the line that follows.
void ShowErased(Session& s, bool blank, const std::string& line) {
    ShowNote(s, blank ? Tone::Normal : Tone::Alert, (blank ? kErased : kNotErased) + std::string(kCrLf) + line);
}

std::string Mark(Result r) {
    return r == Result::Ok ? "：　ブランク。　　　　　" : "：　消去されていません。　　　　　";
}

// 12-bit parts without calibration; the old oscillator parts name their oscillator.
bool ReportBlankWholeArea(Session& s, const BlankFindings& f) {
    const bool oldPart = IsOldOscillatorPart(Traits(s.device.family), s.device.name);
    static const char* const kOscillators[] = {"ＬＰ", "ＸＴ", "ＨＳ", "ＲＣ"};
    const std::string oscillator = kOscillators[s.ops.configAcc.low & 0x03];
    if (f.combined == "OK--OK") {
        ShowNote(s, std::string(kErased) + kCrLf + (oldPart ? "オシレータタイプ　：　" + oscillator + kCrLf : ""));
        return true;
    }
    ShowNote(s, Tone::Alert, "デバイスは消去されてません。");
    std::string text = std::string(kCrLf) + "プログラムメモリ　ｏｒ　ＩＤ\t" + Mark(f.program) + kCrLf +
                       "ＣＯＮＦＩＧワード\t\t" + Mark(f.config) + kCrLf;
    if (oldPart)
        text += "オシレータタイプ　　　　\t：　" + oscillator + kCrLf;
    s.ui.messageBox(MsgIcon::Warning, "ブランクチェック", text + f.protectLine);
    return false;
}

// 12-bit parts with calibration name the calibration word and its address.
bool ReportBlankCalibrationThenIds(Session& s, const BlankFindings& f) {
    const std::string line = "キャリブレーションデータ格納アドレスのデータは 0x" + Hex4(s.device.programWords - 1) +
                             "(0x" + Hex4(s.ops.chipCalib.word()) + ") です。";
    const bool blank = f.combined == "OK--OK";
    ShowErased(s, blank, line);
    if (!blank)
        s.ui.messageBox(MsgIcon::Warning, "ブランクチェック",
                        "プログラムメモリ　ｏｒ　ＩＤ\t" + Mark(f.program) + kCrLf + "ＣＯＮＦＩＧ.ワード　　　　\t" +
                            Mark(f.config) + kCrLf + f.protectLine);
    return blank;
}

// 14-bit parts; the calibrated ones name their calibration word.
bool ReportBlankFourteenBit(Session& s, const FamilyTraits& family, const BlankFindings& f) {
    const bool calibrated = family.blankCheck == BlankCheckLayout::CalibrationLast;
    const std::string line = calibrated ? "キャリブレーションデータは 0x" + Hex4(s.ops.chipCalib.word()) + " です。" : "";
    const bool blank = IsBlank(f.combined);
    ShowErased(s, blank, line);
    if (blank)
        return true;
    std::string text = "プログラムメモリ\t\t" + Mark(f.program) + kCrLf;
    if (family.eeprom)
        text += "ＥＥＰＲＯＭデータメモリ\t\t" + Mark(f.eeprom) + kCrLf;
    text += std::string(calibrated ? "ＣＯＮＦＩＧ　，　ＩＤ　\t\t" : "ＣＯＮＦＩＧ　，　ＩＤ\t\t") + Mark(f.config) + kCrLf +
            f.protectLine;
    s.ui.messageBox(MsgIcon::Warning, calibrated ? "ブランクチェック" : "：　ブランクチェック", text);
    return false;
}

// The note and, when not blank, the box of findings; true when blank. An
// unknown family gets neither.
bool ReportBlankCheck(Session& s, const BlankFindings& f) {
    const FamilyTraits& family = Traits(s.device.family);
    if (!family.core)
        return false;
    switch (family.blankCheck) {
    case BlankCheckLayout::WholeArea:
        return ReportBlankWholeArea(s, f);
    case BlankCheckLayout::CalibrationThenIds:
        return ReportBlankCalibrationThenIds(s, f);
    case BlankCheckLayout::CalibrationLast:
    case BlankCheckLayout::ProgramWords:
        break;
    }
    return ReportBlankFourteenBit(s, family, f);
}

}  // namespace

Outcome RunBlankCheck(Session& s) {
    BusyMark busy(s);
    if (const auto refused = StartWorkflow(s, busy))
        return *refused;
    HideGridEditors(s);
    SetCalibLabel(s, kCalibInfo);
    if (!BoardReady(s))
        return Outcome::NoBoard;
    busy.hourglass();
    if (const auto stop = CheckChipIdentity(s, IdCheck::Show))
        return *stop;
    ShowNote(s, "ブランクチェック中..........");
    RefreshProgramMemoryText(s);

    BlankFindings f;
    f.program = Tell(s, BlankCheckProgramMemory(s));
    f.eeprom = Tell(s, BlankCheckEeprom(s));
    Result protect = Result::None;
    f.config = Tell(s, BlankCheckConfig(s, protect));
    f.combined = std::string(ResultText(f.program)) + ResultText(f.eeprom) + ResultText(f.config);
    f.protectLine = protect == Result::Cp ? "このデバイスはコードプロテクトされています。" : "";
    return ReportBlankCheck(s, f) ? Outcome::Passed : Stopped(s);
}

Outcome RunErase(Session& s) {
    BusyMark busy(s);
    if (const auto refused = StartWorkflow(s, busy))
        return *refused;
    HideGridEditors(s);
    DetectBoard(s);
    if (!s.link.boardFound)
        return Outcome::NoBoard;
    if (const auto stop = CheckChipIdentity(s, IdCheck::Ask))
        return *stop;
    ShowNote(s, "プログラムメモリ消去中.........");
    return Tell(s, EraseProgramMemory(s)) == Result::Ok ? Outcome::Passed : Stopped(s);
}

Outcome RunIdentify(Session& s) {
    BusyMark busy(s);
    if (const auto refused = StartWorkflow(s, busy))
        return *refused;
    HideGridEditors(s);
    if (!BoardReady(s))
        return Outcome::NoBoard;
    // The ID is configuration word 6 of 14-bit parts; 12-bit parts and the
    // older 14-bit ones have none.
    if (!Traits(s.device.family).fourteenBit()) {
        ShowNote(s, Tone::Alert, "このデバイスのファミリーにはデバイスIDがありません。");
        return Outcome::Failed;
    }
    if (s.device.deviceId < 0) {
        ShowNote(s, Tone::Alert, "このデバイスにはデバイスIDがありません。");
        return Outcome::Failed;
    }
    busy.hourglass();
    const OpReport read = ReadDeviceId(s);
    if (Tell(s, read) != Result::Ok)
        return Stopped(s);
    const int id = *read.value;
    const bool known = !IsNoChipWord(id) && !PartsWithId(s, id).empty();
    ShowNote(s, IsSelectedDevice(s, id) ? Tone::Normal : Tone::Alert, DeviceIdLine(s, id));
    return known ? Outcome::Passed : Outcome::Failed;
}

void OpenHint(Session& s) {
    s.run.hintAnswer = 3;
    const std::string path = s.run.appDir + "hint.pdf";
    if (!FileExists(path)) {
        ShowNote(s, Tone::Alert, "ヒントファイル 'hint.pdf' が、以下のフォルダーに有りませんでした。", s.run.appDir);
        return;
    }
    if (!s.processes.openWithAssociated(path))
        ShowNote(s, Tone::Alert, "ヒントファイル 'hint.pdf' を開くアプリケーションがありません。");
}

}  // namespace vx
