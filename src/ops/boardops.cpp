#include "ops/boardops.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "base/convert.h"
#include "image/display.h"
#include "image/pcbufferops.h"
#include "link/family.h"
#include "link/protocol.h"
#include "ops/detect.h"
#include "ops/wire.h"
#include "session/status.h"

namespace vx {

namespace {

using Command = protocol::BoardOp;

const char* const kCrLf = "\r\n";
const char* const kProtectedNote = "このデバイスはコードプロテクトされています。";
const char* const kNoEepromNote = "このデバイスは、ＥＥＰＲＯＭデータメモリを内蔵していません。";
const char* const kProgramReadEndNote = "プログラムメモリ読み出し失敗。　　終了コードを受信できませんでした。";
const char* const kEepromWriteFailed = "ＥＥＰＲＯＭデータメモリのプログラミングに失敗しました。　　";
const char* const kConfigWriteFailed = "コンフィギュレーションワードのプログラミングに失敗しました。　　";
const char* const kConfigWriteDone = "コンフィギュレーションワードのプログラミングに成功しました。";
const char* const kConfigVerifyError = "コンフィギュレーションワードのベリファイエラー";

const FamilyTraits& FamilyOf(const Session& s) { return Traits(s.device.family); }
bool TwelveBit(const Session& s) { return FamilyOf(s).twelveBit(); }
const Core& CoreOf(const Session& s) { return FamilyOf(s).drivenCore(); }
int BlankWord(const Session& s) { return CoreOf(s).blankWord; }

std::string Hex2(int value) { return HexText(static_cast<std::uint32_t>(value & 0xFF), 2); }
std::string Hex4(int value) { return HexText(static_cast<std::uint32_t>(value & 0xFFFF), 4); }

// Shows the note the result goes with.
Result Report(Session& s, Result result, const std::string& note, const std::string& suffix = "") {
    ShowNote(s, note, suffix);
    return result;
}

// Writes that would fall outside the buffers are dropped.
void SetProgramWord(Session& s, int address, int high, int low) {
    const std::size_t i = 2 * static_cast<std::size_t>(address);
    if (address < 0 || i + 1 >= s.buffer.program.size())
        return;
    s.buffer.program[i] = static_cast<std::uint8_t>(high);
    s.buffer.program[i + 1] = static_cast<std::uint8_t>(low);
}

int ProgramWord(const Session& s, int address) {
    const std::size_t i = 2 * static_cast<std::size_t>(address);
    if (address < 0 || i + 1 >= s.buffer.program.size())
        return 0;
    return s.buffer.program[i] * 256 + s.buffer.program[i + 1];
}

int ConfigAreaWord(const Session& s, int word) { return s.buffer.configArea[2 * word] * 256 + s.buffer.configArea[2 * word + 1]; }

int ProgramWordsInBuffer(const Session& s) {
    return std::min(s.device.programWords, static_cast<int>(s.buffer.program.size() / 2));
}
int EepromCellsInBuffer(const Session& s) {
    return std::min(s.device.eepromBytes, static_cast<int>(s.buffer.eeprom.size() / 2));
}

// Code-protect bits read as cleared: the chip is protected.
Result ProtectFrom(Session& s, int configWord) {
    const int mask = s.device.codeProtectMask;
    if ((configWord & mask) != mask) {
        ShowNote(s, kProtectedNote);
        return Result::Cp;
    }
    return Result::None;
}

// The chip's calibration word as a read found it. A good one stands in for
// the session's later chips of this device whose own is lost.
void TakeChipCalibration(Session& s, std::uint8_t high, std::uint8_t low) {
    s.ops.chipCalib = {high, low};
    if (IsCalibrationInstruction(FamilyOf(s), s.ops.chipCalib.word()))
        s.ops.keptCalibration = s.ops.chipCalib.word();
}

// The band-gap bits of a configuration word read from the chip, likewise.
void TakeChipBandGap(Session& s, int configWord) {
    s.ops.chipBandGap = BandGapOf(FamilyOf(s), configWord);
    if (s.ops.chipBandGap)
        s.ops.keptBandGap = s.ops.chipBandGap;
}

int UsedLength(Session& s) {
    UsedProgramLength(s);
    return std::min(s.buffer.usedLength, ProgramWordsInBuffer(s));
}

// One difference line of a verify, at the view's insertion point.
void InsertDifference(std::string& text, std::size_t& caret, int address, const std::string& expected,
                      const std::string& found) {
    const std::string line = std::string("Error　") + " アドレス:0x" + Hex4(address) + " ," + " 正:0x" + expected + " ," +
                             " 誤:0x" + found + kCrLf;
    caret = std::min(caret, text.size());
    text.insert(caret, line);
    caret += line.size();
}

}  // namespace

std::optional<int> ReadDeviceId(Session& s) {
    s.link.DiscardInput();
    SendLetters(s, Command::ReadConfigArea);
    s.link.SendCount(8);
    const auto reply = Receive(s, 17, AfterWork(8));
    if (!reply || !HasEndCode(s, *reply, 16)) {
        ShowNote(s, "デバイスID読み出し失敗。　　終了コードを受信できませんでした。");
        return std::nullopt;
    }
    return WordAt(*reply, 2 * kDeviceIdWord);
}

Result EraseProgramMemory(Session& s) {
    if (!FamilyOf(s).flash)
    {
        ShowNote(s, Tone::Alert, "EPROM版での この操作は無効です。（紫外線イレーサで消去してください。）");
        return Result::None;
    }
    s.link.DiscardInput();
    SendLetters(s, Command::EraseProgram);
    const auto reply = Receive(s, 1, kReply);
    // A port that is closed (released, or gone) is a link failure, not a short reply.
    if (!reply && !s.link.IsOpen())
        return Report(s, Result::Er, "プログラムメモリの消去失敗。終了コードを受信できませんでした。");
    if (!reply)
        return Report(s, Result::Er, "プログラムメモリの消去失敗。読み出しデータ不足。");
    if (!HasEndCode(s, *reply, 0))
        return Report(s, Result::Ng, "プログラムメモリの消去失敗。終了コードを受信できませんでした。");
    ShowNote(s, "プログラムメモリを消去ました。",
             "（データメモリは消去しません。全て消去する場合は、'ＰＣバッファメモリクリア'後のデータを書き込みます。）");
    return Result::Ok;
}

namespace {

const char* const kBlankEndNote = "プログラムメモリブランクチェック失敗。　　終了コードを受信できませんでした。";

// One summary of the blank check over `count` words: the AND of them all.
std::optional<Bytes> BlankSummary(Session& s, int count, std::size_t replyLength) {
    s.link.SendCount(count);
    auto reply = Receive(s, static_cast<int>(replyLength), AfterWork(count));
    if (!reply || !HasEndCode(s, *reply, replyLength - 1))
        return std::nullopt;
    return reply;
}

// A follow-up request after a blank summary. Its end code is checked too:
// the calibration word it carries is written back to the chip later.
std::optional<Bytes> BlankFollowUp(Session& s, int count) {
    SendLetters(s, Command::BlankCheckProgram);
    return BlankSummary(s, count, 3);
}

Result BlankWholeArea(Session& s, int words) {
    const auto reply = BlankSummary(s, words + 5, 5);
    if (!reply)
        return Report(s, Result::Er, kBlankEndNote);
    return WordAt(*reply, 2) == BlankWord(s) ? Result::Ok : Result::Ng;
}

// The last program word holds the calibration value: summed apart, then the
// IDs must not clear any of its bits.
Result BlankCalibrationThenIds(Session& s, int words) {
    const auto reply = BlankSummary(s, words, 3);
    if (!reply)
        return Report(s, Result::Er, kBlankEndNote);
    if (WordAt(*reply, 0) != BlankWord(s))
        return Result::Ng;
    const auto calib = BlankFollowUp(s, words + 1);
    if (!calib)
        return Report(s, Result::Er, kBlankEndNote);
    TakeChipCalibration(s, (*calib)[0], (*calib)[1]);
    const auto withIds = BlankFollowUp(s, words + 5);
    if (!withIds)
        return Report(s, Result::Er, kBlankEndNote);
    return WordAt(*withIds, 0) == s.ops.chipCalib.word() ? Result::Ok : Result::Ng;
}

Result BlankCalibrationLast(Session& s, int words) {
    const auto reply = BlankSummary(s, words - 1, 3);
    if (!reply)
        return Report(s, Result::Er, kBlankEndNote);
    if (WordAt(*reply, 0) != BlankWord(s))
        return Result::Ng;
    const auto calib = BlankFollowUp(s, words);
    if (!calib)
        return Report(s, Result::Er, kBlankEndNote);
    TakeChipCalibration(s, (*calib)[0], (*calib)[1]);
    return Result::Ok;
}

Result BlankProgramWords(Session& s, int words) {
    const auto reply = BlankSummary(s, words, 3);
    if (!reply)
        return Report(s, Result::Er, kBlankEndNote);
    return WordAt(*reply, 0) == BlankWord(s) ? Result::Ok : Result::Ng;
}

}  // namespace

Result BlankCheckProgramMemory(Session& s) {
    const int words = s.device.programWords;
    s.link.DiscardInput();
    SendLetters(s, Command::BlankCheckProgram);
    switch (FamilyOf(s).blankCheck) {
    case BlankCheckLayout::WholeArea:
        return BlankWholeArea(s, words);
    case BlankCheckLayout::CalibrationThenIds:
        return BlankCalibrationThenIds(s, words);
    case BlankCheckLayout::CalibrationLast:
        return BlankCalibrationLast(s, words);
    case BlankCheckLayout::ProgramWords:
        break;
    }
    return BlankProgramWords(s, words);
}

Result BlankCheckEeprom(Session& s) {
    const int cells = s.device.eepromBytes;
    if (cells == 0 || !FamilyOf(s).eeprom)
        return Result::None;
    s.link.DiscardInput();
    SendLetters(s, Command::BlankCheckEeprom);
    s.link.SendCount(cells);
    const auto reply = Receive(s, 2 * cells + 1, kEepromTransfer);
    if (!reply)
        return Report(s, Result::Er, "ＥＥＰＲＯＭデータメモリブランクチェック失敗。　　読み出しデータ不足。");
    if (!HasEndCode(s, *reply, 2 * static_cast<std::size_t>(cells)))
        return Report(s, Result::Er, "ＥＥＰＲＯＭデータメモリブランクチェック失敗。　　終了コードを受信できませんでした。");
    std::uint8_t data = 0xFF;
    for (int n = 0; n < cells; ++n)
        data &= (*reply)[2 * n + 1];
    return data == 0xFF ? Result::Ok : Result::Ng;
}

Result BlankCheckConfig(Session& s, Result& protect) {
    const char* const endNote = "コンフィギュレーションワードブランクチェック失敗。　　終了コードを受信できませんでした。";
    s.link.DiscardInput();
    SendLetters(s, Command::BlankCheckConfig);
    if (TwelveBit(s)) {
        s.link.SendCount(1);
        const auto reply = Receive(s, 3, AfterWork(1));
        if (!reply || !HasEndCode(s, *reply, 2))
            return Report(s, Result::Er, endNote);
        int word = WordAt(*reply, 0);
        protect = ProtectFrom(s, word);
        s.ops.configAcc = {(*reply)[0], (*reply)[1]};
        // The oscillator bits of these parts are not part of blankness.
        int expected = 0x0FFF;
        if (IsOldOscillatorPart(FamilyOf(s), s.device.name)) {
            expected = 0x0FFC;
            word &= 0xFFFC;
        }
        return word == expected ? Result::Ok : Result::Ng;
    }
    s.link.SendCount(8);
    auto reply = Receive(s, 17, AfterWork(8));
    if (!reply || !HasEndCode(s, *reply, 16))
        return Report(s, Result::Er, endNote);
    Bytes& r = *reply;
    TakeChipBandGap(s, WordAt(r, 14));
    if (FamilyOf(s).bandGap)
        r[14] |= 0x30;  // factory band-gap bits
    protect = ProtectFrom(s, WordAt(r, 14));
    BytePair acc;
    for (std::size_t i : {0, 2, 4, 6, 14}) {
        acc.high &= r[i];
        acc.low &= r[i + 1];
    }
    s.ops.configAcc = acc;
    return acc.word() == 0x3FFF || acc.word() == s.device.configAndMask ? Result::Ok : Result::Ng;
}

namespace {

// The program words of a read reply, from its word `first` on. The last one
// of a calibrated device is the chip's own calibration instruction and stays
// out of the accumulator.
void TakeProgramWords(Session& s, const Bytes& r, int first, bool calibrated) {
    const int words = s.device.programWords;
    const int lastWord = first + words - 1;
    const std::size_t last = 2 * static_cast<std::size_t>(lastWord);
    if (calibrated && lastWord >= 0) {
        TakeChipCalibration(s, r[last], r[last + 1]);
        // An erased or protected word is not the chip's value: the text keeps the last good one.
        if (IsCalibrationInstruction(FamilyOf(s), s.ops.chipCalib.word()))
            s.buffer.calibText = CalibrationText(FamilyOf(s), r[last + 1]);
    }
    s.ops.programAcc = {};
    const int anded = calibrated ? words - 1 : words;
    for (int w = 0; w < anded; ++w) {
        const std::size_t at = 2 * static_cast<std::size_t>(first + w);
        SetProgramWord(s, w, r[at], r[at + 1]);
        s.ops.programAcc.high &= r[at];
        s.ops.programAcc.low &= r[at + 1];
    }
    if (lastWord >= 0)
        SetProgramWord(s, words - 1, r[last], r[last + 1]);
}

// A 12-bit reply starts with the configuration word and ends with the four
// ID words; the rest of the configuration area reads blank.
void TakeConfigAndIds(Session& s, const Bytes& r, int n) {
    for (int i = 0; i < 16; i += 2) {
        s.buffer.configArea[i] = 0x0F;
        s.buffer.configArea[i + 1] = 0xFF;
    }
    s.ops.idAcc = {};
    std::string idText;
    for (int id = 0; id < 4; ++id) {
        const std::size_t at = 2 * static_cast<std::size_t>(n - 4 + id);
        s.buffer.configArea[2 * id] = r[at];
        s.buffer.configArea[2 * id + 1] = r[at + 1];
        s.ops.idAcc.high &= r[at];
        s.ops.idAcc.low &= r[at + 1];
        idText += HexDigitChar(r[at + 1] & 0x0F);
    }
    s.buffer.configArea[14] = r[0];
    s.buffer.configArea[15] = r[1];
    s.ops.configAcc = {r[0], r[1]};
    s.buffer.idText = idText;
}

}  // namespace

Result ReadProgramMemory(Session& s) {
    const int words = s.device.programWords;
    const bool calibrated = !s.buffer.calibText.empty();
    const bool twelveBit = TwelveBit(s);
    s.link.DiscardInput();
    SendLetters(s, Command::ReadProgram);
    // 12-bit: configuration word, program words, then the four ID words.
    const int n = twelveBit ? words + 5 : words;
    s.link.SendCount(n);
    const auto reply = Receive(s, 2 * n + 1, AfterWork(n), true);
    if (!reply || !HasEndCode(s, *reply, 2 * static_cast<std::size_t>(n)))
        return Report(s, Result::Ng,
                      twelveBit ? kProgramReadEndNote
                                : "プログラムメモリ読み出しブランクチェック失敗。　　終了コードを受信できませんでした。");
    TakeProgramWords(s, *reply, twelveBit ? 1 : 0, calibrated);
    if (twelveBit)
        TakeConfigAndIds(s, *reply, n);
    RefreshProgramMemoryText(s);
    if (twelveBit)
        RefreshIdConfigDisplay(s);
    return Result::Ok;
}

namespace {

// Every EEPROM transfer starts alike: a device without EEPROM bytes has
// nothing to transfer (nullopt), a family without the EEPROM commands says
// so (None); otherwise the transfer runs over the device's cells.
std::optional<Result> EepromTransfer(Session& s, const char* noEepromNote, Result (*transfer)(Session&, int cells)) {
    const int cells = s.device.eepromBytes;
    if (cells == 0)
        return std::nullopt;
    if (!FamilyOf(s).eeprom)
        return Report(s, Result::None, noEepromNote);
    return transfer(s, cells);
}

Result ReadEepromCells(Session& s, int cells) {
    s.link.DiscardInput();
    SendLetters(s, Command::ReadEeprom);
    s.link.SendCount(cells);
    const auto reply = Receive(s, 2 * cells + 1, kEepromTransfer, true);
    if (!reply)
        return Report(s, Result::Ng, "ＥＥＰＲＯＭデータメモリ読み出し失敗。　　読み出しデータ不足。");
    if (!HasEndCode(s, *reply, 2 * static_cast<std::size_t>(cells)))
        return Report(s, Result::Ng, "ＥＥＰＲＯＭデータメモリ読み出し失敗。　　終了コードを受信できませんでした。");
    const Bytes& r = *reply;
    const int stored = EepromCellsInBuffer(s);
    for (int n = 0; n < cells; ++n) {
        if (n < stored) {
            s.buffer.eeprom[2 * n] = r[2 * n];
            s.buffer.eeprom[2 * n + 1] = r[2 * n + 1];
        }
        s.ops.eepromAcc.high &= r[2 * n];
        s.ops.eepromAcc.low &= r[2 * n + 1];
    }
    RefreshEepromText(s);
    return Result::Ok;
}

}  // namespace

std::optional<Result> ReadEeprom(Session& s) {
    // Reset first, so a device without EEPROM never inherits another chip's data.
    s.ops.eepromAcc = {0x3F, 0xFF};
    return EepromTransfer(s, "EPROM版は、ＥＥＰＲＯＭデータメモリを内蔵していません。", ReadEepromCells);
}

Result ReadConfig(Session& s) {
    const char* const endNote = "コンフィギュレーションワード読み出し失敗。　　終了コードを受信できませんでした。";
    s.link.DiscardInput();
    SendLetters(s, Command::ReadConfig);
    if (TwelveBit(s)) {
        s.link.SendCount(1);
        const auto reply = Receive(s, 3, AfterWork(1));
        if (!reply || !HasEndCode(s, *reply, 2))
            return Report(s, Result::Ng, endNote);
        s.buffer.configArea[14] = (*reply)[0];
        s.buffer.configArea[15] = (*reply)[1];
        RefreshIdConfigDisplay(s);
        return Result::Ok;
    }
    s.link.SendCount(8);
    const auto reply = Receive(s, 17, kReply);
    if (!reply)
        return Report(s, Result::Ng, "コンフィギュレーションワード読み出し失敗。　　読み出しデータ不足。");
    if (!HasEndCode(s, *reply, 16))
        return Report(s, Result::Ng, endNote);
    BytePair acc;
    for (std::size_t i = 0; i < 16; ++i)
        s.buffer.configArea[i] = (*reply)[i];
    // As in the blank check, the factory band-gap bits of a 12F6 part do not
    // make it programmed; the image keeps them as read.
    const std::uint8_t bandGap = FamilyOf(s).bandGap ? 0x30 : 0x00;
    for (std::size_t i : {0, 2, 4, 6, 14}) {
        acc.high &= (*reply)[i] | (i == 14 ? bandGap : 0x00);
        acc.low &= (*reply)[i + 1];
    }
    s.ops.configAcc = acc;
    TakeChipBandGap(s, WordAt(*reply, 14));
    RefreshIdConfigDisplay(s);
    return Result::Ok;
}

Result ReadCalibration(Session& s) {
    if (!FamilyOf(s).calibrated)
        return Result::None;
    const int words = s.device.programWords;
    ShowNote(s, "ＯＳＣＣＡＬデータリード中．．．．．");
    s.ui.processEvents();
    s.link.DiscardInput();
    SendLetters(s, Command::ReadProgram);
    // Up to the last program word, which holds the calibration value; a
    // 12-bit transfer starts at the configuration word.
    const int n = TwelveBit(s) ? words + 1 : words;
    s.link.SendCount(n);
    const auto reply = Receive(s, 2 * n + 1, AfterWork(n), true);
    if (!reply || words == 0 || !HasEndCode(s, *reply, 2 * static_cast<std::size_t>(n)))
        return Report(s, Result::Ng, "ＯＳＣＣＡＬデータリード失敗。");
    const std::size_t last = 2 * static_cast<std::size_t>(n - 1);
    const std::uint8_t high = (*reply)[last], low = (*reply)[last + 1];
    TakeChipCalibration(s, high, low);
    // The boxes show the chip's value only when it is one.
    if (FamilyOf(s).flash && IsCalibrationInstruction(FamilyOf(s), s.ops.chipCalib.word())) {
        s.view.osccalHiText = std::to_string(high);
        s.view.osccalLoText = std::to_string(low);
        s.buffer.calibText = CalibrationText(FamilyOf(s), low);
    }
    s.view.note.clear();
    s.ui.viewChanged();
    return Result::Ok;
}

Result ReadBandGap(Session& s) {
    if (!FamilyOf(s).bandGap)
        return Result::None;
    ShowNote(s, "ＢＧデータリード中．．．．．");
    s.ui.processEvents();
    s.link.DiscardInput();
    SendLetters(s, Command::ReadConfigArea);
    s.link.SendCount(8);
    const auto reply = Receive(s, 17, kReply);
    if (!reply)
        return Report(s, Result::Ng, "ＢＧデータリード失敗。　　リードデータ不足。");
    if (!HasEndCode(s, *reply, 16))
        return Report(s, Result::Ng, "ＢＧデータリード失敗。　　終了コードを受信できませんでした。");
    TakeChipBandGap(s, WordAt(*reply, 14));
    if (s.ops.chipBandGap)
        s.view.bandGapText = std::to_string(*s.ops.chipBandGap);
    s.view.note.clear();
    s.ui.viewChanged();
    return Result::Ok;
}

namespace {

const char* const kProgramWriteFailed = "プログラムメモリのプログラミングに失敗しました。  ";
const char* const kProgramWriteDone = "プログラムメモリのプログラミングに成功しました。";

void AddWord(Bytes& image, int word) {
    image.push_back(static_cast<std::uint8_t>((word >> 8) & 0xFF));
    image.push_back(static_cast<std::uint8_t>(word & 0xFF));
}

// A calibration word the chip lost is restored from the calibration text.
void RestoreLostCalibration(Session& s) {
    const std::string& calib = s.buffer.calibText;
    if (calib.empty() || s.ops.chipCalib.word() != BlankWord(s))
        return;
    SetProgramWord(s, s.device.programWords - 1, CoreOf(s).calibOpcode, CalibrationTextValue(calib) & 0xFF);
}

// Configuration word first, left unprotected until the configuration pass,
// then the program words and the four ID words.
Result WriteTwelveBitProgram(Session& s) {
    const std::string failed = kProgramWriteFailed;
    const int words = s.device.programWords;
    const int n = words + 5;
    s.link.SendCount(n);
    Bytes image;
    AddWord(image, ConfigAreaWord(s, 7) | s.device.codeProtectMask);
    for (int w = 0; w < words; ++w)
        AddWord(image, ProgramWord(s, w));
    for (int id = 0; id < 4; ++id)
        AddWord(image, ConfigAreaWord(s, id));
    const Transfer t = SendAcknowledged(s, image, kReply, kAbortRule12, 2 * (n - 1), 0);
    if (t.kind == Transfer::Aborted)
        return Report(s, Result::Ng, failed + "(ABT)");
    if (t.kind == Transfer::Silent && t.index < n)
        return Report(s, Result::Ng, failed + "(TMO)",
                      std::string(kCrLf) + "コードプロテクトされた書込済みマイコンに再プログラミング行った可能性があります。");
    if (t.kind == Transfer::Silent)
        return Report(s, Result::Ng, failed + "(RXO)",
                      std::string(kCrLf) + "念のためデバイスと書き込みのオシレータ設定を確認してください。");
    if (!HasEndCode(s, t.reply, 0))
        return Report(s, Result::Ng, failed + "(EOF)");
    return Report(s, Result::Ok, kProgramWriteDone);
}

// 14-bit parts: only up to the last programmed word.
Result WriteFourteenBitProgram(Session& s) {
    const std::string failed = kProgramWriteFailed;
    const int used = UsedLength(s);
    s.link.SendCount(used);
    Bytes image;
    for (int w = 0; w < used; ++w)
        AddWord(image, ProgramWord(s, w));
    const Transfer t = SendAcknowledged(s, image, kReply, kAbortRule14, 2 * used - 1, 0);
    if (t.kind == Transfer::Aborted)
        return Report(s, Result::Ng, failed + "中断コードが返信されました。");
    if (t.kind == Transfer::Silent && t.index < used) {
        char address[16];
        std::snprintf(address, sizeof address, "%X", static_cast<unsigned>(t.index));
        return Report(s, Result::Ng, failed + "タイムアウトが発生しました。", address);
    }
    if (t.kind == Transfer::Silent)
        return Report(s, Result::Ng, failed + "受信タイムアウトが発生しました。");
    if (!HasEndCode(s, t.reply, 0))
        return Report(s, Result::Ng, failed + "終了コードを受信できませんでした。");
    return Report(s, Result::Ok, kProgramWriteDone);
}

}  // namespace

Result WriteProgramMemory(Session& s) {
    s.link.DiscardInput();
    SendLetters(s, Command::WriteProgram);
    RestoreLostCalibration(s);
    return TwelveBit(s) ? WriteTwelveBitProgram(s) : WriteFourteenBitProgram(s);
}

Result MergeConfigArea(Session& s) {
    // No discard here: it directly follows the verify replies.
    SendLetters(s, Command::ReadConfigArea);
    s.link.SendCount(8);
    const auto reply = Receive(s, 17, AfterWork(8));
    if (!reply || !HasEndCode(s, *reply, 16))
        return Report(s, Result::Ng, "コンフィギュレーションワード修正失敗。　　終了コードを受信できませんでした。");
    auto& image = s.ops.configImage;
    for (std::size_t i = 0; i < 16; ++i)
        image[i] = (i >= 8 && i < 14) ? (*reply)[i] : s.buffer.configArea[i];
    return Result::Ok;
}

Result WriteConfig(Session& s) {
    s.link.DiscardInput();
    SendLetters(s, Command::WriteConfig);
    if (TwelveBit(s)) {
        // The answer to the word is the end code, or the word the chip took
        // followed by the end code: wait for all of it, it is not a refusal.
        constexpr AbortRule kReadBack{protocol::kAbort12, SIZE_MAX, protocol::kEndCode, false};
        s.link.SendCount(1);
        const Bytes word{s.buffer.configArea[14], s.buffer.configArea[15]};
        const std::string written = Hex4(word[0] * 256 + word[1]);
        const Transfer t = SendAcknowledged(s, word, kIdle, kReadBack, 0, 0);
        if (t.kind != Transfer::Sent)
            return Report(s, Result::Ng, std::string(kConfigWriteFailed) + kCrLf,
                        "( Read = ????  Write = " + written + " )");
        const Bytes& reply = t.reply;
        if (At(reply, 0) == protocol::kEndCode)
            return Report(s, Result::Ok, kConfigWriteDone);
        ShowNote(s, std::string(kConfigWriteFailed) + kCrLf,
                 "( Read = " + Hex4(WordAt(reply, 0)) + "  Write = " + written + " )");
        // The chip's answer carries the oscillator bits it took: then the word is in.
        return At(reply, 1) == (s.buffer.configArea[15] & 0x0F) ? Result::Ok : Result::Ng;
    }
    s.link.SendCount(8);
    const Bytes image(s.ops.configImage.begin(), s.ops.configImage.end());
    // A refusal stops the transfer: no word of ours reaches a board that gave up.
    const Transfer t = SendAcknowledged(s, image, kIdle, kAbortRule14, 0, 0);
    if (t.kind == Transfer::Sent && HasEndCode(s, t.reply, 0))
        return Report(s, Result::Ok, kConfigWriteDone);
    return Report(s, Result::Ng, kConfigWriteFailed,
                std::string(kCrLf) + "( Address = " + "7" + "  Read = " + "????" +
                    "  Write = " + Hex4(image[14] * 256 + image[15]) + " )");
}

namespace {

Result WriteEepromCells(Session& s, int cells) {
    const char* const endNote = "ＥＥＰＲＯＭデータメモリのプログラミングに失敗しました。  終了コードを受信できませんでした。";
    s.link.DiscardInput();
    SendLetters(s, Command::WriteEeprom);
    s.link.SendCount(cells);
    Bytes image;
    for (int n = 0; n < cells; ++n) {
        const bool inBuffer = n < EepromCellsInBuffer(s);
        image.push_back(inBuffer ? s.buffer.eeprom[2 * n] : 0x3F);
        image.push_back(inBuffer ? s.buffer.eeprom[2 * n + 1] : 0xFF);
    }
    const Transfer t = SendAcknowledged(s, image, kIdle, kRefusalRule, 2 * cells + 1, 1);
    if (t.kind == Transfer::Silent)
        return Report(s, Result::Ng, endNote);
    if (t.kind == Transfer::Aborted) {
        // The refusal answers the cell sent last; at the header there is none.
        if (t.index == 0)
            return Report(s, Result::Ng, kEepromWriteFailed);
        const std::size_t f = 2 * static_cast<std::size_t>(t.index - 1);
        return Report(s, Result::Ng, kEepromWriteFailed,
                      "( Address = " + std::to_string(t.index - 1) + "  Write = " + Hex2(At(t.reply, 2)) +
                          Hex2(At(t.reply, 1)) + "  Read = " + Hex2(image[f + 1]) + Hex2(image[f]) + " )");
    }
    if (!HasEndCode(s, t.reply, 0))
        return Report(s, Result::Ng, endNote);
    return Report(s, Result::Ok, "ＥＥＰＲＯＭデータメモリのプログラミングに成功しました。");
}

}  // namespace

std::optional<Result> WriteEeprom(Session& s) { return EepromTransfer(s, kNoEepromNote, WriteEepromCells); }

namespace {

// Compares reply words first .. first + compared - 1 with the buffer
// (addresses from 0; past the program words come the IDs), listing each
// difference; `skipped` is an address left out (-1 none).
Result CompareProgramWords(Session& s, const Bytes& r, int first, int compared, int skipped) {
    const int words = s.device.programWords;
    Result result = Result::Ok;
    int differences = 0;
    s.ops.programCaret = 0;
    std::string& view = s.view.programMemory.text;
    for (int k = first; k < first + compared; ++k) {
        const int address = k - first;
        if (address == skipped)
            continue;
        const int expected = address < words ? ProgramWord(s, address) : ConfigAreaWord(s, address - words);
        const int found = WordAt(r, 2 * static_cast<std::size_t>(k));
        if (expected != found) {
            InsertDifference(view, s.ops.programCaret, address, Hex4(expected), Hex4(found));
            ++differences;
            result = Result::Ng;
        }
        s.ops.verifyPos = 2 * k;
        if (differences > 100) {
            const std::string remark = std::string("これ以降もエラーがある可能性があります。") + kCrLf + kCrLf;
            view.insert(s.ops.programCaret, remark);
            s.ops.programCaret += remark.size();
            ShowNote(s, "プログラムメモリ ベリファイエラー。");
            break;
        }
    }
    s.ui.viewChanged();
    return result;
}

}  // namespace

Result VerifyProgramMemory(Session& s, bool calibrationApart) {
    const int words = s.device.programWords;
    const bool twelveBit = TwelveBit(s);
    const bool calibrated = FamilyOf(s).calibrated && !s.buffer.calibText.empty() && words > 0;
    s.link.DiscardInput();
    SendLetters(s, Command::VerifyProgram);
    // 12-bit: configuration word, program words, IDs; 14-bit: the used words,
    // and on to the calibration word when it is to be shown apart.
    const int used = twelveBit ? words + 4 : UsedLength(s);
    const int n = twelveBit ? words + 5 : (calibrated && calibrationApart ? words : used);
    s.link.SendCount(n);
    const auto reply = Receive(s, 2 * n + 1, AfterWork(n), true);
    s.ops.verifyReply = reply ? *reply : Bytes{};
    s.ops.verifyPos = 0;
    s.ops.verifyCalibration.reset();
    if (!reply || (twelveBit && !HasEndCode(s, *reply, 2 * static_cast<std::size_t>(n))))
        return Report(s, Result::Ng, kProgramReadEndNote);
    const Bytes& r = *reply;
    const int first = twelveBit ? 1 : 0;  // the 12-bit configuration word is not compared here
    if (calibrated && first + words <= n)
        s.ops.verifyCalibration = WordAt(r, 2 * static_cast<std::size_t>(first + words - 1));
    const Result result = CompareProgramWords(s, r, first, used, calibrated && calibrationApart ? words - 1 : -1);
    if (!twelveBit && result == Result::Ok && !HasEndCode(s, r, 2 * static_cast<std::size_t>(n)))
        return Report(s, Result::Ng, kProgramReadEndNote);
    return result;
}

namespace {

Result VerifyEepromCells(Session& s, int cells) {
    const char* const endNote = "ＥＥＰＲＯＭデータメモリの ベリファイエラー。  終了コードを受信できませんでした。";
    s.link.DiscardInput();
    SendLetters(s, Command::VerifyEeprom);
    s.link.SendCount(cells);
    const auto reply = Receive(s, 2 * cells + 1, AfterWork(cells), true);
    if (!reply)
        return Report(s, Result::Ng, endNote);
    Result result = Result::Ok;
    s.ops.eepromCaret = 0;
    for (int n = 0; n < cells; ++n) {
        const int expected = n < EepromCellsInBuffer(s) ? s.buffer.eeprom[2 * n + 1] : 0xFF;
        const int found = (*reply)[2 * n + 1];
        if (expected != found) {
            InsertDifference(s.view.eeprom.text, s.ops.eepromCaret, n, Hex2(expected), Hex2(found));
            result = Result::Ng;
        }
    }
    s.ui.viewChanged();
    if (result != Result::Ng && !HasEndCode(s, *reply, 2 * static_cast<std::size_t>(cells)))
        return Report(s, Result::Ng, endNote);
    return result;
}

}  // namespace

std::optional<Result> VerifyEeprom(Session& s) { return EepromTransfer(s, kNoEepromNote, VerifyEepromCells); }

namespace {

// The configuration reply both verifies share; nullopt after its own note,
// with the verify texts empty: nothing was read from the chip.
std::optional<Bytes> ReadConfigForVerify(Session& s, Result& protect) {
    s.ops.verifyConfigText.clear();
    s.ops.verifyIdText.clear();
    s.ops.chipBandGap.reset();
    const char* const endNote = "コンフィギュレーションワードのベリファイに失敗しました。  終了コードを受信できませんでした。";
    const bool twelveBit = TwelveBit(s);
    s.link.DiscardInput();
    SendLetters(s, Command::VerifyConfig);
    const int words = twelveBit ? 1 : 8;
    s.link.SendCount(words);
    const std::size_t length = 2 * static_cast<std::size_t>(words) + 1;
    // Nothing is judged from a reply without its end code: a garbled reply
    // must not read as a protected chip.
    auto reply = Receive(s, static_cast<int>(length), AfterWork(words));
    if (!reply || !HasEndCode(s, *reply, length - 1)) {
        ShowNote(s, endNote);
        return std::nullopt;
    }
    protect = ProtectFrom(s, WordAt(*reply, length - 3));
    if (!twelveBit)
        TakeChipBandGap(s, WordAt(*reply, 14));
    return reply;
}

bool TwelveBitConfigMatches(Session& s, const Bytes& r) {
    const int word = WordAt(r, 0);
    s.ops.verifyConfigText = Hex4(word);
    if (word == ConfigAreaWord(s, 7))
        return true;
    ShowNote(s, std::string(kConfigVerifyError) + kCrLf + "デバイスにプログラミングされているデータ。ＣＯＮＦＩＧ：0x" +
                    s.ops.verifyConfigText);
    return false;
}

}  // namespace

Result VerifyConfig(Session& s, Result& protect) {
    const auto reply = ReadConfigForVerify(s, protect);
    if (!reply)
        return Result::Ng;
    const Bytes& r = *reply;
    if (TwelveBit(s))
        return TwelveBitConfigMatches(s, r) ? Result::Ok : Result::Ng;
    // The factory band-gap bits are the chip's own, whatever the file says.
    const std::uint8_t ignored = FamilyOf(s).bandGap ? kBandGapMask >> 8 : 0x00;
    bool same = true;
    for (std::size_t i : {0, 1, 2, 3, 4, 5, 6, 7, 14, 15}) {
        const std::uint8_t mask = i == 14 ? static_cast<std::uint8_t>(~ignored) : 0xFF;
        same = same && (r[i] & mask) == (s.buffer.configArea[i] & mask);
    }
    if (same) {
        s.ops.verifyConfigText = "OK";
        s.ops.verifyIdText = "OK";
        return Result::Ok;
    }
    s.ops.verifyConfigText = Hex2(r[14]) + Hex2(r[15]);
    s.ops.verifyIdText.clear();
    for (std::size_t i : {1, 3, 5, 7})
        s.ops.verifyIdText += HexDigitChar(r[i] & 0x0F);
    return Report(s, Result::Ng,
                std::string(kConfigVerifyError) + kCrLf + "デバイスにプログラミングされているデータ。ＣＯＮＦＩＧ：" +
                    s.ops.verifyConfigText + "ＩＤ：" + s.ops.verifyIdText);
}

Result VerifyConfigAfterWrite(Session& s, Result& protect) {
    const auto reply = ReadConfigForVerify(s, protect);
    if (!reply)
        return Result::Ng;
    const Bytes& r = *reply;
    if (TwelveBit(s))
        return TwelveBitConfigMatches(s, r) ? Result::Ok : Result::Ng;
    // Against what was just written: the ID digits and the whole configuration word.
    const auto& image = s.ops.configImage;
    bool same = r[14] == image[14] && r[15] == image[15];
    for (std::size_t i : {1, 3, 5, 7})
        same = same && (r[i] & 0x0F) == (image[i] & 0x0F);
    return same ? Result::Ok : Report(s, Result::Ng, kConfigVerifyError);
}

}  // namespace vx
