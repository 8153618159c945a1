#include "ops/opreport.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "base/convert.h"
#include "image/display.h"
#include "link/family.h"
#include "ops/detect.h"
#include "ops/verifyfindings.h"
#include "session/status.h"

namespace vx {

namespace {

const char* const kCrLf = "\r\n";
const char* const kProtectedNote = "このデバイスはコードプロテクトされています。";
const char* const kNoEepromNote = "このデバイスは、ＥＥＰＲＯＭデータメモリを内蔵していません。";
const char* const kProgramReadEndNote = "プログラムメモリ読み出し失敗。　　終了コードを受信できませんでした。";
const char* const kProgramWriteFailed = "プログラムメモリのプログラミングに失敗しました。  ";
const char* const kProgramWriteDone = "プログラムメモリのプログラミングに成功しました。";
const char* const kEepromWriteFailed = "ＥＥＰＲＯＭデータメモリのプログラミングに失敗しました。　　";
const char* const kConfigWriteFailed = "コンフィギュレーションワードのプログラミングに失敗しました。　　";
const char* const kConfigWriteDone = "コンフィギュレーションワードのプログラミングに成功しました。";
const char* const kConfigVerifyError = "コンフィギュレーションワードのベリファイエラー";
const char* const kConfigOnChip = "デバイスにプログラミングされているデータ。ＣＯＮＦＩＧ：";

std::string Hex2(int value) { return HexText(static_cast<std::uint32_t>(value & 0xFF), 2); }
std::string Hex4(int value) { return HexText(static_cast<std::uint32_t>(value & 0xFFFF), 4); }

bool TwelveBit(const Session& s) { return Traits(s.device.family).twelveBit(); }

// The note of a failure: `shortNote` for a reply that did not come whole,
// where the texts tell it apart, else `endNote`. Nothing when it did not fail.
void FailureNote(Session& s, const OpReport& r, const char* endNote, const char* shortNote = nullptr) {
    if (r.reason == Reason::None)
        return;
    ShowNote(s, r.reason == Reason::ShortReply && shortNote ? shortNote : endNote);
}

// A read of a box's value clears the note it ran under.
void ShowRead(Session& s) {
    s.view.note.clear();
    s.ui.viewChanged();
}

// The difference lines of a verify, at the top of the memory view, in
// address order; after more than a hundred, a remark where the list stops.
void ShowDifferences(Session& s, const OpReport& r) {
    const bool program = r.operation == Operation::VerifyProgram;
    if (!program && r.operation != Operation::VerifyEeprom)
        return;
    std::string& view = program ? s.view.programMemory.text : s.view.eeprom.text;
    auto hex = [program](int value) { return program ? Hex4(value) : Hex2(value); };
    std::size_t caret = 0;
    auto insert = [&view, &caret](const std::string& text) {
        caret = std::min(caret, view.size());
        view.insert(caret, text);
        caret += text.size();
    };
    for (std::size_t i = 0; i < std::min(r.listed, r.differences.size()); ++i) {
        const Difference& d = r.differences[i];
        insert(std::string("Error　") + " アドレス:0x" + Hex4(d.address) + " ," + " 正:0x" + hex(d.expected) + " ," +
               " 誤:0x" + hex(d.found) + kCrLf);
    }
    if (r.more) {
        insert(std::string("これ以降もエラーがある可能性があります。") + kCrLf + kCrLf);
        ShowNote(s, "プログラムメモリ ベリファイエラー。");
    }
    s.ui.viewChanged();
}

// A verify's differing words, counted for the verdict by area.
void CountVerifyDifferences(Session& s, const OpReport& r) {
    int area = 0;
    switch (r.operation) {
    case Operation::VerifyProgram:
        area = 0;
        break;
    case Operation::VerifyEeprom:
        area = 1;
        break;
    case Operation::VerifyConfig:
    case Operation::VerifyConfigAfterWrite:
        area = 2;
        break;
    default:
        return;
    }
    s.ops.verifyDifferences[static_cast<std::size_t>(area)] = CountDifferences(r.differences);
}

void TellErase(Session& s, const OpReport& r) {
    switch (r.reason) {
    case Reason::None:
        ShowNote(s, "プログラムメモリを消去ました。",
                 "（データメモリは消去しません。全て消去する場合は、'ＰＣバッファメモリクリア'後のデータを書き込みます。）");
        break;
    case Reason::NoCommand:
        ShowNote(s, Tone::Alert, "EPROM版での この操作は無効です。（紫外線イレーサで消去してください。）");
        break;
    default:
        FailureNote(s, r, "プログラムメモリの消去失敗。終了コードを受信できませんでした。",
                    "プログラムメモリの消去失敗。読み出しデータ不足。");
    }
}

void TellReadProgram(Session& s, const OpReport& r) {
    const bool twelveBit = TwelveBit(s);
    if (r.result != Result::Ok) {
        FailureNote(s, r,
                    twelveBit ? kProgramReadEndNote
                              : "プログラムメモリ読み出しブランクチェック失敗。　　終了コードを受信できませんでした。");
        return;
    }
    RefreshProgramMemoryText(s);
    if (twelveBit)
        RefreshIdConfigDisplay(s);
}

void TellReadEeprom(Session& s, const OpReport& r) {
    if (r.reason == Reason::NoCommand)
        ShowNote(s, "EPROM版は、ＥＥＰＲＯＭデータメモリを内蔵していません。");
    else if (r.result == Result::Ok)
        RefreshEepromText(s);
    else
        FailureNote(s, r, "ＥＥＰＲＯＭデータメモリ読み出し失敗。　　終了コードを受信できませんでした。",
                    "ＥＥＰＲＯＭデータメモリ読み出し失敗。　　読み出しデータ不足。");
}

void TellReadConfig(Session& s, const OpReport& r) {
    if (r.result == Result::Ok) {
        RefreshIdConfigDisplay(s);
        return;
    }
    // The 12-bit texts do not tell a short reply apart.
    FailureNote(s, r, "コンフィギュレーションワード読み出し失敗。　　終了コードを受信できませんでした。",
                TwelveBit(s) ? nullptr : "コンフィギュレーションワード読み出し失敗。　　読み出しデータ不足。");
}

// Flash parts show the chip's calibration word in the OSCCAL boxes, byte by byte.
void TellReadCalibration(Session& s, const OpReport& r) {
    if (r.result != Result::Ok) {
        FailureNote(s, r, "ＯＳＣＣＡＬデータリード失敗。");
        return;
    }
    if (r.value) {
        s.view.osccalHiText = std::to_string(*r.value >> 8);
        s.view.osccalLoText = std::to_string(*r.value & 0xFF);
    }
    ShowRead(s);
}

void TellReadBandGap(Session& s, const OpReport& r) {
    if (r.result != Result::Ok) {
        FailureNote(s, r, "ＢＧデータリード失敗。　　終了コードを受信できませんでした。",
                    "ＢＧデータリード失敗。　　リードデータ不足。");
        return;
    }
    if (r.value)
        s.view.bandGapText = std::to_string(*r.value);
    ShowRead(s);
}

// The 12-bit texts name the failure by a code; the 14-bit ones in words,
// with the address a time-out stopped at.
void TellWriteProgram(Session& s, const OpReport& r) {
    const std::string failed = kProgramWriteFailed;
    const bool twelveBit = TwelveBit(s);
    switch (r.reason) {
    case Reason::None:
        ShowNote(s, kProgramWriteDone);
        break;
    case Reason::Refused:
        ShowNote(s, failed + (twelveBit ? "(ABT)" : "中断コードが返信されました。"));
        break;
    case Reason::Silent:
        if (twelveBit) {
            ShowNote(s, failed + "(TMO)",
                     std::string(kCrLf) + "コードプロテクトされた書込済みマイコンに再プログラミング行った可能性があります。");
        } else {
            char address[16];
            std::snprintf(address, sizeof address, "%X", static_cast<unsigned>(r.stoppedAt));
            ShowNote(s, failed + "タイムアウトが発生しました。", address);
        }
        break;
    case Reason::NoLastAnswer:
        if (twelveBit)
            ShowNote(s, failed + "(RXO)", std::string(kCrLf) + "念のためデバイスと書き込みのオシレータ設定を確認してください。");
        else
            ShowNote(s, failed + "受信タイムアウトが発生しました。");
        break;
    default:
        ShowNote(s, failed + (twelveBit ? "(EOF)" : "終了コードを受信できませんでした。"));
    }
}

// A 12-bit part answers the word with what it took (shown as read); a
// 14-bit transfer of the eight words names the configuration word's address.
void TellWriteConfig(Session& s, const OpReport& r) {
    if (r.reason == Reason::None) {
        ShowNote(s, kConfigWriteDone);
        return;
    }
    const std::string read = r.answered >= 0 ? Hex4(r.answered) : "????";
    if (TwelveBit(s))
        ShowNote(s, std::string(kConfigWriteFailed) + kCrLf, "( Read = " + read + "  Write = " + Hex4(r.sent) + " )");
    else
        ShowNote(s, kConfigWriteFailed,
                 std::string(kCrLf) + "( Address = 7  Read = " + read + "  Write = " + Hex4(r.sent) + " )");
}

// A refused cell is named with the chip's answer as "Write" and the cell
// sent as "Read", low byte first.
void TellWriteEeprom(Session& s, const OpReport& r) {
    switch (r.reason) {
    case Reason::None:
        ShowNote(s, "ＥＥＰＲＯＭデータメモリのプログラミングに成功しました。");
        break;
    case Reason::NoCommand:
        ShowNote(s, kNoEepromNote);
        break;
    case Reason::Refused:
        if (r.stoppedAt == 0)
            ShowNote(s, kEepromWriteFailed);
        else
            ShowNote(s, kEepromWriteFailed,
                     "( Address = " + std::to_string(r.stoppedAt - 1) + "  Write = " + Hex4(r.answered) +
                         "  Read = " + Hex4(r.sent) + " )");
        break;
    default:
        ShowNote(s, "ＥＥＰＲＯＭデータメモリのプログラミングに失敗しました。  終了コードを受信できませんでした。");
    }
}

void TellVerifyEeprom(Session& s, const OpReport& r) {
    if (r.reason == Reason::NoCommand)
        ShowNote(s, kNoEepromNote);
    else if (r.reason != Reason::Differs)
        FailureNote(s, r, "ＥＥＰＲＯＭデータメモリの ベリファイエラー。  終了コードを受信できませんでした。");
}

// Both verifies of the configuration: the 12-bit word as the chip holds it;
// Verify names the 14-bit word and ID digits, the check after a write only
// that they differ.
void TellVerifyConfig(Session& s, const OpReport& r) {
    if (r.reason != Reason::Differs) {
        FailureNote(s, r, "コンフィギュレーションワードのベリファイに失敗しました。  終了コードを受信できませんでした。");
        return;
    }
    const std::string error = std::string(kConfigVerifyError) + kCrLf + kConfigOnChip;
    if (TwelveBit(s))
        ShowNote(s, error + "0x" + s.ops.verifyConfigText);
    else if (r.operation == Operation::VerifyConfig)
        ShowNote(s, error + s.ops.verifyConfigText + "ＩＤ：" + s.ops.verifyIdText);
    else
        ShowNote(s, kConfigVerifyError);
}

void TellResult(Session& s, const OpReport& r) {
    switch (r.operation) {
    case Operation::EraseProgram:
        return TellErase(s, r);
    case Operation::BlankCheckProgram:
        return FailureNote(s, r, "プログラムメモリブランクチェック失敗。　　終了コードを受信できませんでした。");
    case Operation::BlankCheckEeprom:
        return FailureNote(s, r, "ＥＥＰＲＯＭデータメモリブランクチェック失敗。　　終了コードを受信できませんでした。",
                           "ＥＥＰＲＯＭデータメモリブランクチェック失敗。　　読み出しデータ不足。");
    case Operation::BlankCheckConfig:
        return FailureNote(s, r, "コンフィギュレーションワードブランクチェック失敗。　　終了コードを受信できませんでした。");
    case Operation::ReadProgram:
        return TellReadProgram(s, r);
    case Operation::ReadEeprom:
        return TellReadEeprom(s, r);
    case Operation::ReadConfig:
        return TellReadConfig(s, r);
    case Operation::ReadCalibration:
        return TellReadCalibration(s, r);
    case Operation::ReadBandGap:
        return TellReadBandGap(s, r);
    case Operation::ReadDeviceId:
        return FailureNote(s, r, "デバイスID読み出し失敗。　　終了コードを受信できませんでした。");
    case Operation::WriteProgram:
        return TellWriteProgram(s, r);
    case Operation::MergeConfigArea:
        return FailureNote(s, r, "コンフィギュレーションワード修正失敗。　　終了コードを受信できませんでした。");
    case Operation::WriteConfig:
        return TellWriteConfig(s, r);
    case Operation::WriteEeprom:
        return TellWriteEeprom(s, r);
    case Operation::VerifyProgram:
        if (r.reason != Reason::Differs)
            FailureNote(s, r, kProgramReadEndNote);
        return;
    case Operation::VerifyEeprom:
        return TellVerifyEeprom(s, r);
    case Operation::VerifyConfig:
    case Operation::VerifyConfigAfterWrite:
        return TellVerifyConfig(s, r);
    }
}

}  // namespace

Result Tell(Session& s, const OpReport& report) {
    ShowDifferences(s, report);
    CountVerifyDifferences(s, report);
    // A port that is closed (released, or its far side gone) also means the
    // board is no longer known: the label says so, and the next command searches.
    if (report.linkFault) {
        s.ops.linkFault = true;
        if (!s.link.IsOpen())
            ShowBoardNotFound(s);
    }
    if (report.protect == Result::Cp)
        ShowNote(s, kProtectedNote);
    TellResult(s, report);
    return report.result;
}

std::optional<Result> Tell(Session& s, const std::optional<OpReport>& report) {
    if (!report)
        return std::nullopt;
    return Tell(s, *report);
}

std::string VerifyFindings(const Session& s, const std::string& separator) {
    const auto& areas = s.ops.verifyDifferences;
    const bool twelveBit = TwelveBit(s);
    // The 12-bit IDs are compared with the program memory, the 14-bit ones with the configuration.
    const char* const names[] = {twelveBit ? "プログラムメモリ・ＩＤ" : "プログラムメモリ", "ＥＥＰＲＯＭデータメモリ",
                                 twelveBit ? "ＣＯＮＦＩＧ" : "ＣＯＮＦＩＧ・ＩＤ"};
    std::string counts;
    for (std::size_t i = 0; i < areas.size(); ++i)
        if (areas[i].words > 0)
            counts += std::string("　") + names[i] + "：" + std::to_string(areas[i].words);
    if (counts.empty())
        return "";
    std::string text = "相違ワード数" + counts;
    switch (PatternOf(areas)) {
    case DifferencePattern::NotErased:
        return text + separator + "相違は１→０のビットだけです。消去されていないか、書込み済みのワンタイム品の可能性があります。";
    case DifferencePattern::NotTaken:
        return text + separator +
               "相違は書き込めないビットです。コードプロテクト、デバイスの品種違い、または接触不良の可能性があります。";
    case DifferencePattern::None:
        break;
    }
    return text;
}

void ProgressBar::moved(int max, int value) { ShowProgress(s_, true, 0, max, value); }
void ProgressBar::ended(int max) { ShowProgress(s_, false, 0, max, 0); }

}  // namespace vx
