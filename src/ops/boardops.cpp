#include "ops/boardops.h"

#include <algorithm>
#include <cstdint>

#include "base/convert.h"
#include "image/pcbufferops.h"
#include "link/family.h"

namespace vx {

namespace {

const FamilyTraits& FamilyOf(const Session& s) { return Traits(s.device.family); }
const BoardLetters& LettersOf(const Session& s) { return FamilyOf(s).letters; }
// The core the board is driven as (an unknown family as a 14-bit one).
const Core& CoreOf(const Session& s) { return FamilyOf(s).drivenCore(); }
bool TwelveBit(const Session& s) { return FamilyOf(s).twelveBit(); }
int BlankWord(const Session& s) { return CoreOf(s).blankWord; }

std::string Hex2(int value) { return HexText(static_cast<std::uint32_t>(value & 0xFF), 2); }
std::string Hex4(int value) { return HexText(static_cast<std::uint32_t>(value & 0xFFFF), 4); }

OpReport Done(Operation operation, Result result = Result::Ok) { return {.operation = operation, .result = result}; }
OpReport Failed(Operation operation, Result result, Reason reason) {
    return {.operation = operation, .result = result, .reason = reason};
}
// No reply, or one without its end code: the link's failure.
OpReport LinkFailed(Operation operation, Result result, Reason reason = Reason::NoEndCode) {
    return {.operation = operation, .result = result, .reason = reason, .linkFault = true};
}

// What a handshake came to: taken whole and ended by the end code, refused
// by the board at an answer, or the link's failure.
OpReport Judged(Operation operation, const Transfer& t, int words) {
    OpReport report = Done(operation);
    if (t.kind == Transfer::Aborted)
        report = Failed(operation, Result::Ng, Reason::Refused);
    else if (t.kind == Transfer::Silent)
        report = LinkFailed(operation, Result::Ng, t.index < words ? Reason::Silent : Reason::NoLastAnswer);
    else if (!HasEndCode(t.reply, 0))
        report = LinkFailed(operation, Result::Ng);
    report.stoppedAt = t.index;
    return report;
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
Result ProtectFrom(const Session& s, int configWord) {
    const int mask = s.device.codeProtectMask;
    return (configWord & mask) != mask ? Result::Cp : Result::None;
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

// Letters, then the count of words the command covers.
void SendCommand(Session& s, const char* letters, int count) {
    SendLetters(s.link, letters);
    s.link.SendCount(count);
}

}  // namespace

OpReport ReadDeviceId(Session& s) {
    s.link.DiscardInput();
    SendCommand(s, LettersOf(s).readConfigArea, 8);
    const auto reply = Receive(s.link, 17, AfterWork(8));
    if (!reply || !HasEndCode(*reply, 16))
        return LinkFailed(Operation::ReadDeviceId, Result::Ng);
    OpReport report = Done(Operation::ReadDeviceId);
    report.value = WordAt(*reply, 2 * kDeviceIdWord);
    return report;
}

OpReport EraseProgramMemory(Session& s) {
    constexpr Operation op = Operation::EraseProgram;
    if (!FamilyOf(s).flash)
        return Failed(op, Result::None, Reason::NoCommand);
    s.link.DiscardInput();
    SendLetters(s.link, LettersOf(s).eraseProgram);
    const auto reply = Receive(s.link, 1, kReply);
    // A port that is closed (released, or gone) is a link failure, not a short reply.
    if (!reply && !s.link.IsOpen())
        return LinkFailed(op, Result::Er, Reason::PortClosed);
    if (!reply)
        return LinkFailed(op, Result::Er, Reason::ShortReply);
    if (!HasEndCode(*reply, 0))
        return LinkFailed(op, Result::Ng);
    return Done(op);
}

namespace {

// One summary of the blank check over `count` words: the AND of them all.
std::optional<Bytes> BlankSummary(Session& s, int count, std::size_t replyLength) {
    s.link.SendCount(count);
    auto reply = Receive(s.link, static_cast<int>(replyLength), AfterWork(count));
    if (!reply || !HasEndCode(*reply, replyLength - 1))
        return std::nullopt;
    return reply;
}

// A follow-up request after a blank summary. Its end code is checked too:
// the calibration word it carries is written back to the chip later.
std::optional<Bytes> BlankFollowUp(Session& s, int count) {
    SendLetters(s.link, LettersOf(s).blankCheckProgram);
    return BlankSummary(s, count, 3);
}

OpReport BlankVerdict(bool blank) { return Done(Operation::BlankCheckProgram, blank ? Result::Ok : Result::Ng); }
OpReport BlankFailed() { return LinkFailed(Operation::BlankCheckProgram, Result::Er); }

OpReport BlankWholeArea(Session& s, int words) {
    const auto reply = BlankSummary(s, words + 5, 5);
    if (!reply)
        return BlankFailed();
    return BlankVerdict(WordAt(*reply, 2) == BlankWord(s));
}

// The last program word holds the calibration value: summed apart, then the
// IDs must not clear any of its bits.
OpReport BlankCalibrationThenIds(Session& s, int words) {
    const auto reply = BlankSummary(s, words, 3);
    if (!reply)
        return BlankFailed();
    if (WordAt(*reply, 0) != BlankWord(s))
        return BlankVerdict(false);
    const auto calib = BlankFollowUp(s, words + 1);
    if (!calib)
        return BlankFailed();
    TakeChipCalibration(s, (*calib)[0], (*calib)[1]);
    const auto withIds = BlankFollowUp(s, words + 5);
    if (!withIds)
        return BlankFailed();
    return BlankVerdict(WordAt(*withIds, 0) == s.ops.chipCalib.word());
}

OpReport BlankCalibrationLast(Session& s, int words) {
    const auto reply = BlankSummary(s, words - 1, 3);
    if (!reply)
        return BlankFailed();
    if (WordAt(*reply, 0) != BlankWord(s))
        return BlankVerdict(false);
    const auto calib = BlankFollowUp(s, words);
    if (!calib)
        return BlankFailed();
    TakeChipCalibration(s, (*calib)[0], (*calib)[1]);
    return BlankVerdict(true);
}

OpReport BlankProgramWords(Session& s, int words) {
    const auto reply = BlankSummary(s, words, 3);
    if (!reply)
        return BlankFailed();
    return BlankVerdict(WordAt(*reply, 0) == BlankWord(s));
}

}  // namespace

OpReport BlankCheckProgramMemory(Session& s) {
    const int words = s.device.programWords;
    s.link.DiscardInput();
    SendLetters(s.link, LettersOf(s).blankCheckProgram);
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

OpReport BlankCheckEeprom(Session& s) {
    constexpr Operation op = Operation::BlankCheckEeprom;
    const int cells = s.device.eepromBytes;
    if (cells == 0 || !FamilyOf(s).eeprom)
        return Done(op, Result::None);
    s.link.DiscardInput();
    SendCommand(s, LettersOf(s).blankCheckEeprom, cells);
    const auto reply = Receive(s.link, 2 * cells + 1, kEepromTransfer);
    if (!reply)
        return LinkFailed(op, Result::Er, Reason::ShortReply);
    if (!HasEndCode(*reply, 2 * static_cast<std::size_t>(cells)))
        return LinkFailed(op, Result::Er);
    std::uint8_t data = 0xFF;
    for (int n = 0; n < cells; ++n)
        data &= (*reply)[2 * n + 1];
    return Done(op, data == 0xFF ? Result::Ok : Result::Ng);
}

OpReport BlankCheckConfig(Session& s, Result& protect) {
    constexpr Operation op = Operation::BlankCheckConfig;
    const FamilyTraits& family = FamilyOf(s);
    const int words = CoreOf(s).configWords;
    const std::size_t end = 2 * static_cast<std::size_t>(words);
    s.link.DiscardInput();
    SendCommand(s, family.letters.blankCheckConfig, words);
    auto reply = Receive(s.link, static_cast<int>(end) + 1, AfterWork(words));
    if (!reply || !HasEndCode(*reply, end))
        return LinkFailed(op, Result::Er);
    Bytes& r = *reply;
    OpReport report = Done(op);
    if (family.twelveBit()) {
        int word = WordAt(r, 0);
        protect = report.protect = ProtectFrom(s, word);
        s.ops.configAcc = {r[0], r[1]};
        // The oscillator bits of these parts are not part of blankness.
        int expected = 0x0FFF;
        if (IsOldOscillatorPart(family, s.device.name)) {
            expected = 0x0FFC;
            word &= 0xFFFC;
        }
        report.result = word == expected ? Result::Ok : Result::Ng;
        return report;
    }
    TakeChipBandGap(s, WordAt(r, 14));
    if (family.bandGap)
        r[14] |= 0x30;  // factory band-gap bits
    protect = report.protect = ProtectFrom(s, WordAt(r, 14));
    BytePair acc;
    for (std::size_t i : {0, 2, 4, 6, 14}) {
        acc.high &= r[i];
        acc.low &= r[i + 1];
    }
    s.ops.configAcc = acc;
    report.result = acc.word() == 0x3FFF || acc.word() == s.device.configAndMask ? Result::Ok : Result::Ng;
    return report;
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

// The ID words end a 12-bit reply of n words; the configuration word, read
// ahead of the program words, is its first. The rest of the configuration
// area reads blank.
void TakeConfigAndIds(Session& s, const Bytes& r, int n) {
    for (int i = 0; i < 16; i += 2) {
        s.buffer.configArea[i] = 0x0F;
        s.buffer.configArea[i + 1] = 0xFF;
    }
    s.ops.idAcc = {};
    std::string idText;
    for (int id = 0; id < CoreOf(s).idWordsAfterProgram; ++id) {
        const std::size_t at = 2 * static_cast<std::size_t>(n - CoreOf(s).idWordsAfterProgram + id);
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

OpReport ReadProgramMemory(Session& s, Progress& progress) {
    const Core& core = CoreOf(s);
    const int words = s.device.programWords;
    const bool calibrated = !s.buffer.calibText.empty();
    s.link.DiscardInput();
    const int n = core.wordsBeforeProgram + words + core.idWordsAfterProgram;
    SendCommand(s, LettersOf(s).readProgram, n);
    const auto reply = Receive(s.link, 2 * n + 1, AfterWork(n), &progress);
    if (!reply || !HasEndCode(*reply, 2 * static_cast<std::size_t>(n)))
        return LinkFailed(Operation::ReadProgram, Result::Ng);
    TakeProgramWords(s, *reply, core.wordsBeforeProgram, calibrated);
    if (core.idWordsAfterProgram > 0)
        TakeConfigAndIds(s, *reply, n);
    return Done(Operation::ReadProgram);
}

namespace {

// Every EEPROM transfer starts alike: a device without EEPROM bytes has
// nothing to transfer (nullopt), a family without the EEPROM commands has
// none (None); otherwise the transfer runs over the device's cells.
using EepromCells = OpReport (*)(Session& s, int cells, Progress& progress);
std::optional<OpReport> EepromTransfer(Session& s, Operation op, EepromCells transfer, Progress& progress) {
    const int cells = s.device.eepromBytes;
    if (cells == 0)
        return std::nullopt;
    if (!FamilyOf(s).eeprom)
        return Failed(op, Result::None, Reason::NoCommand);
    return transfer(s, cells, progress);
}

OpReport ReadEepromCells(Session& s, int cells, Progress& progress) {
    constexpr Operation op = Operation::ReadEeprom;
    s.link.DiscardInput();
    SendCommand(s, LettersOf(s).readEeprom, cells);
    const auto reply = Receive(s.link, 2 * cells + 1, kEepromTransfer, &progress);
    if (!reply)
        return LinkFailed(op, Result::Ng, Reason::ShortReply);
    if (!HasEndCode(*reply, 2 * static_cast<std::size_t>(cells)))
        return LinkFailed(op, Result::Ng);
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
    return Done(op);
}

}  // namespace

std::optional<OpReport> ReadEeprom(Session& s, Progress& progress) {
    // Reset first, so a device without EEPROM never inherits another chip's data.
    s.ops.eepromAcc = {0x3F, 0xFF};
    return EepromTransfer(s, Operation::ReadEeprom, ReadEepromCells, progress);
}

OpReport ReadConfig(Session& s) {
    constexpr Operation op = Operation::ReadConfig;
    const bool twelveBit = TwelveBit(s);
    const int words = CoreOf(s).configWords;
    const std::size_t end = 2 * static_cast<std::size_t>(words);
    s.link.DiscardInput();
    SendCommand(s, LettersOf(s).readConfig, words);
    const auto reply = Receive(s.link, static_cast<int>(end) + 1, twelveBit ? AfterWork(words) : kReply);
    if (!reply)
        return LinkFailed(op, Result::Ng, Reason::ShortReply);
    if (!HasEndCode(*reply, end))
        return LinkFailed(op, Result::Ng);
    const Bytes& r = *reply;
    if (twelveBit) {
        s.buffer.configArea[14] = r[0];
        s.buffer.configArea[15] = r[1];
        return Done(op);
    }
    BytePair acc;
    for (std::size_t i = 0; i < 16; ++i)
        s.buffer.configArea[i] = r[i];
    // As in the blank check, the factory band-gap bits of a 12F6 part do not
    // make it programmed; the image keeps them as read.
    const std::uint8_t bandGap = FamilyOf(s).bandGap ? 0x30 : 0x00;
    for (std::size_t i : {0, 2, 4, 6, 14}) {
        acc.high &= r[i] | (i == 14 ? bandGap : 0x00);
        acc.low &= r[i + 1];
    }
    s.ops.configAcc = acc;
    TakeChipBandGap(s, WordAt(r, 14));
    return Done(op);
}

OpReport ReadCalibration(Session& s, Progress& progress) {
    constexpr Operation op = Operation::ReadCalibration;
    const FamilyTraits& family = FamilyOf(s);
    if (!family.calibrated)
        return Done(op, Result::None);
    const int words = s.device.programWords;
    s.link.DiscardInput();
    // Up to the last program word, which holds the calibration value; a
    // 12-bit transfer starts at the configuration word.
    const int n = CoreOf(s).wordsBeforeProgram + words;
    SendCommand(s, family.letters.readProgram, n);
    const auto reply = Receive(s.link, 2 * n + 1, AfterWork(n), &progress);
    if (!reply)
        return LinkFailed(op, Result::Ng);
    if (words == 0)
        return Failed(op, Result::Ng, Reason::NoWords);
    if (!HasEndCode(*reply, 2 * static_cast<std::size_t>(n)))
        return LinkFailed(op, Result::Ng);
    const std::size_t last = 2 * static_cast<std::size_t>(n - 1);
    const std::uint8_t high = (*reply)[last], low = (*reply)[last + 1];
    TakeChipCalibration(s, high, low);
    OpReport report = Done(op);
    // The chip's value is shown only when it is one.
    if (family.flash && IsCalibrationInstruction(family, s.ops.chipCalib.word())) {
        report.value = s.ops.chipCalib.word();
        s.buffer.calibText = CalibrationText(family, low);
    }
    return report;
}

OpReport ReadBandGap(Session& s) {
    constexpr Operation op = Operation::ReadBandGap;
    if (!FamilyOf(s).bandGap)
        return Done(op, Result::None);
    s.link.DiscardInput();
    SendCommand(s, LettersOf(s).readConfigArea, 8);
    const auto reply = Receive(s.link, 17, kReply);
    if (!reply)
        return LinkFailed(op, Result::Ng, Reason::ShortReply);
    if (!HasEndCode(*reply, 16))
        return LinkFailed(op, Result::Ng);
    TakeChipBandGap(s, WordAt(*reply, 14));
    OpReport report = Done(op);
    report.value = s.ops.chipBandGap;
    return report;
}

namespace {

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
OpReport WriteTwelveBitProgram(Session& s, Progress& progress) {
    const Core& core = CoreOf(s);
    const int words = s.device.programWords;
    const int n = core.wordsBeforeProgram + words + core.idWordsAfterProgram;
    s.link.SendCount(n);
    Bytes image;
    AddWord(image, ConfigAreaWord(s, 7) | s.device.codeProtectMask);
    for (int w = 0; w < words; ++w)
        AddWord(image, ProgramWord(s, w));
    for (int id = 0; id < core.idWordsAfterProgram; ++id)
        AddWord(image, ConfigAreaWord(s, id));
    const Transfer t = SendAcknowledged(s.link, image, kReply, core.programAbort, &progress, 2 * (n - 1), 0);
    return Judged(Operation::WriteProgram, t, n);
}

// 14-bit parts: only up to the last programmed word.
OpReport WriteFourteenBitProgram(Session& s, Progress& progress) {
    const int used = UsedLength(s);
    s.link.SendCount(used);
    Bytes image;
    for (int w = 0; w < used; ++w)
        AddWord(image, ProgramWord(s, w));
    const Transfer t = SendAcknowledged(s.link, image, kReply, CoreOf(s).programAbort, &progress, 2 * used - 1, 0);
    return Judged(Operation::WriteProgram, t, used);
}

}  // namespace

OpReport WriteProgramMemory(Session& s, Progress& progress) {
    s.link.DiscardInput();
    SendLetters(s.link, LettersOf(s).writeProgram);
    RestoreLostCalibration(s);
    return TwelveBit(s) ? WriteTwelveBitProgram(s, progress) : WriteFourteenBitProgram(s, progress);
}

OpReport MergeConfigArea(Session& s) {
    // No discard here: it directly follows the verify replies.
    SendCommand(s, LettersOf(s).readConfigArea, 8);
    const auto reply = Receive(s.link, 17, AfterWork(8));
    if (!reply || !HasEndCode(*reply, 16))
        return LinkFailed(Operation::MergeConfigArea, Result::Ng);
    auto& image = s.ops.configImage;
    for (std::size_t i = 0; i < 16; ++i)
        image[i] = (i >= 8 && i < 14) ? (*reply)[i] : s.buffer.configArea[i];
    return Done(Operation::MergeConfigArea);
}

OpReport WriteConfig(Session& s) {
    constexpr Operation op = Operation::WriteConfig;
    s.link.DiscardInput();
    SendLetters(s.link, LettersOf(s).writeConfig);
    if (TwelveBit(s)) {
        // The answer to the word is the end code, or the word the chip took
        // followed by the end code: wait for all of it, it is not a refusal.
        constexpr protocol::AbortRule kReadBack{protocol::kAbort12, SIZE_MAX, protocol::kEndCode, false};
        s.link.SendCount(1);
        const Bytes word{s.buffer.configArea[14], s.buffer.configArea[15]};
        const Transfer t = SendAcknowledged(s.link, word, kIdle, kReadBack, nullptr, 0, 0);
        OpReport report = t.kind == Transfer::Sent ? Done(op) : Judged(op, t, 1);
        report.sent = word[0] * 256 + word[1];
        if (t.kind != Transfer::Sent || At(t.reply, 0) == protocol::kEndCode)
            return report;
        // The chip's answer carries the oscillator bits it took: then the word is in.
        report.result = At(t.reply, 1) == (s.buffer.configArea[15] & 0x0F) ? Result::Ok : Result::Ng;
        report.reason = Reason::ReadBack;
        report.answered = WordAt(t.reply, 0);
        return report;
    }
    s.link.SendCount(8);
    const Bytes image(s.ops.configImage.begin(), s.ops.configImage.end());
    // A refusal stops the transfer: no word of ours reaches a board that gave up.
    OpReport report = Judged(op, SendAcknowledged(s.link, image, kIdle, protocol::kAbortRule14, nullptr, 0, 0), 8);
    report.sent = image[14] * 256 + image[15];
    return report;
}

namespace {

OpReport WriteEepromCells(Session& s, int cells, Progress& progress) {
    s.link.DiscardInput();
    SendCommand(s, LettersOf(s).writeEeprom, cells);
    Bytes image;
    for (int n = 0; n < cells; ++n) {
        const bool inBuffer = n < EepromCellsInBuffer(s);
        image.push_back(inBuffer ? s.buffer.eeprom[2 * n] : 0x3F);
        image.push_back(inBuffer ? s.buffer.eeprom[2 * n + 1] : 0xFF);
    }
    const Transfer t = SendAcknowledged(s.link, image, kIdle, protocol::kRefusalRule, &progress, 2 * cells + 1, 1);
    OpReport report = Judged(Operation::WriteEeprom, t, cells);
    // The refusal ("*", the cell read back, a pad) answers the cell sent
    // last; at the header there is none.
    if (t.kind == Transfer::Aborted && t.index > 0) {
        const std::size_t f = 2 * static_cast<std::size_t>(t.index - 1);
        report.answered = (At(t.reply, 2) & 0xFF) * 256 + (At(t.reply, 1) & 0xFF);
        report.sent = image[f + 1] * 256 + image[f];
    }
    return report;
}

}  // namespace

std::optional<OpReport> WriteEeprom(Session& s, Progress& progress) {
    return EepromTransfer(s, Operation::WriteEeprom, WriteEepromCells, progress);
}

namespace {

// More than this many differences are not listed; they are still counted.
constexpr std::size_t kListedDifferences = 100;

// A word the chip holds otherwise than the image: the verify fails.
void Compare(OpReport& report, int address, int expected, int found) {
    if (expected == found)
        return;
    report.differences.push_back({address, expected, found});
    report.result = Result::Ng;
    report.reason = Reason::Differs;
}

// Compares reply words first .. first + compared - 1 with the buffer
// (addresses from 0; past the program words come the IDs); `skipped` is an
// address left out (-1 none).
OpReport CompareProgramWords(Session& s, const Bytes& r, int first, int compared, int skipped) {
    const int words = s.device.programWords;
    OpReport report = Done(Operation::VerifyProgram);
    for (int k = first; k < first + compared; ++k) {
        const int address = k - first;
        if (address == skipped)
            continue;
        const int expected = address < words ? ProgramWord(s, address) : ConfigAreaWord(s, address - words);
        Compare(report, address, expected, WordAt(r, 2 * static_cast<std::size_t>(k)));
        if (report.more)
            continue;
        // The last word compared is the last one the list takes in.
        s.ops.verifyPos = 2 * k;
        report.listed = report.differences.size();
        report.more = report.listed > kListedDifferences;
    }
    return report;
}

}  // namespace

OpReport VerifyProgramMemory(Session& s, Progress& progress, bool calibrationApart) {
    const Core& core = CoreOf(s);
    const int words = s.device.programWords;
    const bool twelveBit = TwelveBit(s);
    const bool calibrated = FamilyOf(s).calibrated && !s.buffer.calibText.empty() && words > 0;
    s.link.DiscardInput();
    // 12-bit: configuration word, program words, IDs; 14-bit: the used words,
    // and on to the calibration word when it is to be shown apart.
    const int used = twelveBit ? words + core.idWordsAfterProgram : UsedLength(s);
    const int n = twelveBit ? core.wordsBeforeProgram + used : (calibrated && calibrationApart ? words : used);
    SendCommand(s, LettersOf(s).verifyProgram, n);
    const auto reply = Receive(s.link, 2 * n + 1, AfterWork(n), &progress);
    s.ops.verifyReply = reply ? *reply : Bytes{};
    s.ops.verifyPos = 0;
    s.ops.verifyCalibration.reset();
    const std::size_t end = 2 * static_cast<std::size_t>(n);
    if (!reply || (twelveBit && !HasEndCode(*reply, end)))
        return LinkFailed(Operation::VerifyProgram, Result::Ng);
    const Bytes& r = *reply;
    const int first = core.wordsBeforeProgram;  // the 12-bit configuration word is not compared here
    if (calibrated && first + words <= n)
        s.ops.verifyCalibration = WordAt(r, 2 * static_cast<std::size_t>(first + words - 1));
    OpReport report = CompareProgramWords(s, r, first, used, calibrated && calibrationApart ? words - 1 : -1);
    if (!twelveBit && report.result == Result::Ok && !HasEndCode(r, end))
        report = LinkFailed(Operation::VerifyProgram, Result::Ng);
    return report;
}

namespace {

OpReport VerifyEepromCells(Session& s, int cells, Progress& progress) {
    constexpr Operation op = Operation::VerifyEeprom;
    s.link.DiscardInput();
    SendCommand(s, LettersOf(s).verifyEeprom, cells);
    const auto reply = Receive(s.link, 2 * cells + 1, AfterWork(cells), &progress);
    if (!reply)
        return LinkFailed(op, Result::Ng);
    OpReport report = Done(op);
    for (int n = 0; n < cells; ++n) {
        const int expected = n < EepromCellsInBuffer(s) ? s.buffer.eeprom[2 * n + 1] : 0xFF;
        Compare(report, n, expected, (*reply)[2 * n + 1]);
    }
    report.listed = report.differences.size();
    if (report.result != Result::Ng && !HasEndCode(*reply, 2 * static_cast<std::size_t>(cells)))
        return LinkFailed(op, Result::Ng);
    return report;
}

}  // namespace

std::optional<OpReport> VerifyEeprom(Session& s, Progress& progress) {
    return EepromTransfer(s, Operation::VerifyEeprom, VerifyEepromCells, progress);
}

namespace {

// The configuration reply both verifies share; nullopt (the report says
// why) with the verify texts empty: nothing was read from the chip.
std::optional<Bytes> ReadConfigForVerify(Session& s, Result& protect, OpReport& report) {
    s.ops.verifyConfigText.clear();
    s.ops.verifyIdText.clear();
    s.ops.chipBandGap.reset();
    const int words = CoreOf(s).configWords;
    s.link.DiscardInput();
    SendCommand(s, LettersOf(s).verifyConfig, words);
    const std::size_t length = 2 * static_cast<std::size_t>(words) + 1;
    // Nothing is judged from a reply without its end code: a garbled reply
    // must not read as a protected chip.
    auto reply = Receive(s.link, static_cast<int>(length), AfterWork(words));
    if (!reply || !HasEndCode(*reply, length - 1)) {
        report = LinkFailed(report.operation, Result::Ng);
        return std::nullopt;
    }
    protect = report.protect = ProtectFrom(s, WordAt(*reply, length - 3));
    if (!TwelveBit(s))
        TakeChipBandGap(s, WordAt(*reply, 14));
    return reply;
}

// The 12-bit configuration word against the image's; both verifies judge it so.
OpReport CompareTwelveBitConfig(Session& s, const Bytes& r, OpReport report) {
    const int word = WordAt(r, 0);
    s.ops.verifyConfigText = Hex4(word);
    Compare(report, 7, ConfigAreaWord(s, 7), word);
    return report;
}

// The 14-bit ID words 0..3 and configuration word 7 against `expected`,
// each through its mask.
template <typename Expected>
OpReport CompareFourteenBitConfig(const Bytes& r, OpReport report, Expected expected, int idMask, int configMask) {
    for (int word : {0, 1, 2, 3, 7}) {
        const int mask = word == 7 ? configMask : idMask;
        Compare(report, word, expected(word) & mask, WordAt(r, 2 * static_cast<std::size_t>(word)) & mask);
    }
    return report;
}

}  // namespace

OpReport VerifyConfig(Session& s, Result& protect) {
    OpReport report = Done(Operation::VerifyConfig);
    const auto reply = ReadConfigForVerify(s, protect, report);
    if (!reply)
        return report;
    const Bytes& r = *reply;
    if (TwelveBit(s))
        return CompareTwelveBitConfig(s, r, report);
    // The factory band-gap bits are the chip's own, whatever the file says.
    const int ignored = FamilyOf(s).bandGap ? kBandGapMask & 0xFF00 : 0;
    report = CompareFourteenBitConfig(
        r, report, [&s](int word) { return ConfigAreaWord(s, word); }, 0xFFFF, 0xFFFF & ~ignored);
    if (report.differences.empty()) {
        s.ops.verifyConfigText = "OK";
        s.ops.verifyIdText = "OK";
        return report;
    }
    s.ops.verifyConfigText = Hex2(r[14]) + Hex2(r[15]);
    s.ops.verifyIdText.clear();
    for (std::size_t i : {1, 3, 5, 7})
        s.ops.verifyIdText += HexDigitChar(r[i] & 0x0F);
    return report;
}

OpReport VerifyConfigAfterWrite(Session& s, Result& protect) {
    OpReport report = Done(Operation::VerifyConfigAfterWrite);
    const auto reply = ReadConfigForVerify(s, protect, report);
    if (!reply)
        return report;
    if (TwelveBit(s))
        return CompareTwelveBitConfig(s, *reply, report);
    // Against what was just written: the ID digits and the whole configuration word.
    const auto& image = s.ops.configImage;
    return CompareFourteenBitConfig(
        *reply, report, [&image](int word) { return image[2 * word] * 256 + image[2 * word + 1]; }, 0x000F, 0xFFFF);
}

}  // namespace vx
