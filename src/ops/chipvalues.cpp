#include "ops/chipvalues.h"

#include <cstdint>

#include "base/convert.h"
#include "device/devicedb.h"
#include "link/family.h"
#include "ops/boardops.h"
#include "ops/opreport.h"
#include "session/status.h"

namespace vx {

namespace {

const char* const kCrLf = "\r\n";

std::string Hex(int value, int digits) { return HexText(static_cast<std::uint32_t>(value & 0xFFFF), digits); }

bool SamePart(int a, int b) { return (a & kDeviceIdPartMask) == (b & kDeviceIdPartMask); }

}  // namespace

std::string PartsWithId(const Session& s, int id) {
    std::string names;
    for (const DeviceSummary& device : ReadDeviceIndex(s))
        if (device.deviceId >= 0 && SamePart(device.deviceId, id))
            names += (names.empty() ? "" : " / ") + device.name;
    return names;
}

std::string DeviceIdLine(const Session& s, int id) {
    const std::string hex = "0x" + Hex(id, 4);
    if (IsNoChipWord(id))
        return "チップが正しく応答しません（デバイスID " + hex + "）。チップが無いか、向きや位置が違うか、接触していません。";
    const std::string parts = PartsWithId(s, id);
    if (parts.empty())
        return "不明なID " + hex;
    return "デバイスID " + hex + "：" + parts + " リビジョン " + std::to_string(id & kDeviceIdRevisionMask);
}

bool IsSelectedDevice(const Session& s, int id) {
    return s.device.deviceId >= 0 && !IsNoChipWord(id) && SamePart(s.device.deviceId, id);
}

std::optional<Outcome> CheckChipIdentity(Session& s, IdCheck check) {
    if (s.device.deviceId < 0)
        return std::nullopt;
    const OpReport read = ReadDeviceId(s);
    if (Tell(s, read) != Result::Ok)
        return Outcome::LinkFailed;
    const int id = *read.value;
    s.ops.chipDeviceId = id;
    const bool selected = IsSelectedDevice(s, id);
    const std::string line = DeviceIdLine(s, id);
    ShowNote(s, selected ? Tone::Normal : Tone::Alert, line);
    if (selected || check == IdCheck::Show)
        return std::nullopt;
    const bool noChip = IsNoChipWord(id);
    const std::string text =
        (noChip ? line : "ソケットのチップは選択したデバイス（" + s.device.name + "）ではありません。" + kCrLf + line) +
        kCrLf + "このまま続けますか？";
    if (s.ui.askWrongChip(text))
        return std::nullopt;
    ShowNote(s, Tone::Alert, noChip ? "チップが応答しないため、中止しました。" : "ソケットのチップが選択したデバイスではないため、中止しました。");
    return Outcome::WrongChip;
}

namespace {

int DefaultCalibration(const Session& s, const FamilyTraits& family) {
    return CalibrationInstruction(family, CalibrationTextValue(s.device.calibInstruction));
}

int DefaultBandGap(const Session& s) { return (s.device.defaultConfig & kBandGapMask) >> kBandGapShift; }

std::string MissingNames(const ChipValueQuestion& q) {
    if (q.calibration && q.bandGap)
        return "キャリブレーション値とバンドギャップ値";
    return q.calibration ? "キャリブレーション値" : "バンドギャップ値";
}

// A flash part stops before its erase; an EPROM part is never erased.
std::string StopBefore(const FamilyTraits& family) { return family.flash ? "消去する前に中止しました。" : "中止しました。"; }

// What the user typed, checked: a value of the wrong form is refused whole.
std::optional<Outcome> TakeTypedValues(Session& s, const FamilyTraits& family, const ChipValueQuestion& q,
                                       const ChipValueAnswer& answer) {
    const auto calibration = q.calibration ? ParseCalibrationValue(family, answer.calibration) : std::nullopt;
    const auto bandGap = q.bandGap ? ParseBandGapValue(answer.bandGap) : std::nullopt;
    std::string refused;
    if (q.calibration && !calibration)
        refused = "キャリブレーション値 '" + answer.calibration + "' は " + family.drivenCore().calibMnemonic + " (0x" +
                  Hex(family.drivenCore().calibOpcode, 2) + "nn) の形ではありません。";
    if (q.bandGap && !bandGap)
        refused += (refused.empty() ? "" : kCrLf) + ("バンドギャップ値 '" + answer.bandGap + "' は 0 から 3 の数ではありません。");
    if (!refused.empty()) {
        s.ui.messageBox(MsgIcon::Critical, "プログラム", refused);
        ShowNote(s, Tone::Alert, MissingNames(q) + "が正しくないため、" + StopBefore(family));
        return Outcome::NoChipValue;
    }
    // Typed by the user: good for the session's later chips too.
    if (calibration)
        s.ops.writeCalibration = s.ops.keptCalibration = calibration;
    if (bandGap)
        s.ops.writeBandGap = s.ops.keptBandGap = bandGap;
    return std::nullopt;
}

std::optional<Outcome> AskChipValues(Session& s, const FamilyTraits& family, ChipValueQuestion& q) {
    q.text += "このセッションで読み出した値もありません。消去すると工場出荷時の値が失われます。";
    q.calibrationDefault = "0x" + Hex(DefaultCalibration(s, family), 4);
    q.bandGapDefault = std::to_string(DefaultBandGap(s));
    const ChipValueAnswer answer = s.ui.askChipValues(q);
    switch (answer.choice) {
    case ChipValueChoice::Cancel:
        ShowNote(s, Tone::Alert, MissingNames(q) + "がないため、" + StopBefore(family));
        return Outcome::NoChipValue;
    case ChipValueChoice::UseDefault:
        // Chosen for this chip only: a database default is no chip's value.
        if (q.calibration)
            s.ops.writeCalibration = DefaultCalibration(s, family);
        if (q.bandGap)
            s.ops.writeBandGap = DefaultBandGap(s);
        return std::nullopt;
    case ChipValueChoice::Entered:
        break;
    }
    return TakeTypedValues(s, family, q, answer);
}

// The values to write, where the calibration text and the band-gap box show them.
void ShowChipValues(Session& s, const FamilyTraits& family) {
    const auto& calibration = s.ops.writeCalibration;
    if (calibration && IsCalibrationInstruction(family, *calibration))
        s.buffer.calibText = CalibrationText(family, *calibration);
    if (s.ops.writeBandGap)
        s.view.bandGapText = std::to_string(*s.ops.writeBandGap);
    s.ui.viewChanged();
}

}  // namespace

bool ChipCalibrationKept(const Session& s, const FamilyTraits& family) {
    const int chip = s.ops.chipCalib.word();
    return IsCalibrationInstruction(family, chip) || (!family.flash && chip != family.drivenCore().blankWord);
}

namespace {

void SettleCalibration(Session& s, const FamilyTraits& family, ChipValueQuestion& q) {
    OpsState& o = s.ops;
    const int chip = o.chipCalib.word();
    if (ChipCalibrationKept(s, family)) {
        o.writeCalibration = chip;
        if (!IsCalibrationInstruction(family, chip))
            ShowNote(s, "チップのキャリブレーション値 0x" + Hex(chip, 4) +
                            " はキャリブレーション命令ではありませんが、このデバイスは消去できないので書き換えられません。");
    } else if (o.keptCalibration) {
        o.writeCalibration = o.keptCalibration;
        ShowNote(s, "チップのキャリブレーション値 0x" + Hex(chip, 4) + " の代わりに、このセッションの値 0x" +
                        Hex(*o.keptCalibration, 4) + " を書き込みます。");
    } else {
        q.calibration = true;
        q.text += "チップのキャリブレーション値 0x" + Hex(chip, 4) + " は有効な値ではなく、";
    }
}

void SettleBandGap(Session& s, ChipValueQuestion& q) {
    OpsState& o = s.ops;
    if (o.chipBandGap) {
        o.writeBandGap = o.chipBandGap;
    } else if (o.keptBandGap) {
        o.writeBandGap = o.keptBandGap;
        ShowNote(s, "チップのバンドギャップ値が読み出せないため、このセッションの値 " + std::to_string(*o.keptBandGap) +
                        " を書き込みます。");
    } else {
        q.bandGap = true;
        q.text += "チップのコンフィギュレーションワードにバンドギャップ値がなく、";
    }
}

}  // namespace

std::optional<Outcome> SettleChipValues(Session& s) {
    const FamilyTraits& family = Traits(s.device.family);
    s.ops.writeCalibration.reset();
    s.ops.writeBandGap.reset();
    ChipValueQuestion q;
    if (family.calibrated && !s.buffer.calibText.empty())
        SettleCalibration(s, family, q);
    if (family.bandGap)
        SettleBandGap(s, q);
    if (q.calibration || q.bandGap)
        if (const auto stop = AskChipValues(s, family, q))
            return stop;
    ShowChipValues(s, family);
    return std::nullopt;
}

std::string ChipValueLines(const Session& s) {
    const FamilyTraits& family = Traits(s.device.family);
    std::string lines;
    if (const auto& word = s.ops.verifyCalibration)
        lines = "キャリブレーション値 0x" + Hex(*word, 4) +
                (IsCalibrationInstruction(family, *word) ? "（チップの値を保持）" : "（キャリブレーション値ではありません）");
    if (family.bandGap && s.ops.chipBandGap)
        lines += (lines.empty() ? "" : kCrLf) + ("バンドギャップ値 " + std::to_string(*s.ops.chipBandGap) + "（チップの値を保持）");
    return lines;
}

}  // namespace vx
