#include "serialization/station.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "base/digest.h"
#include "base/textfile.h"
#include "image/pcbufferops.h"
#include "ops/boardops.h"
#include "serialization/recordfile.h"
#include "serialization/serialvalue.h"
#include "session/status.h"

namespace vx {

const char* const kSerialQuantityReached =
    "予定の書き込み数量に達しました。【設定を有効にする】のチェックをはずして、再設定を行って下さい。";

namespace {

const char* const kAllReserved = "残りのシリアル番号はすべて他の書込み中の IC に割り当てられています。";
const char* const kUnsettled =
    "残りのシリアル番号は確認待ちです。書込み済みか未使用かを確かめて、確認待ちの番号を片付けてください。";
const char* const kNotPlaced = "シリアル番号をイメージに置けません。";

// Why a chip failed when Program left no note.
const char* OutcomeText(Outcome outcome) {
    switch (outcome) {
    case Outcome::Passed: return "";
    case Outcome::Failed: return "不合格";
    case Outcome::Cancelled: return "キャンセル";
    case Outcome::LinkFailed: return "ボードが応答しません";
    case Outcome::NoDevice: return "デバイスが選ばれていません";
    case Outcome::NoBoard: return "ボードが見つかりません";
    case Outcome::Busy: return "ほかの操作の実行中";
    case Outcome::WrongChip: return "選択したデバイスではありません";
    case Outcome::NoChipValue: return "キャリブレーション値がありません";
    case Outcome::Refused: return "書き込みを中止しました";
    }
    return "";
}

std::string HexWord(int word) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(word));
    return text;
}

std::int64_t UtcMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A read-back shows no progress: it is the station's, not the user's.
struct Unshown : Progress {
    void moved(int, int) override {}
    void ended(int) override {}
};

// Where a failed chip's number went, by its serial words (or EEPROM cells)
// read back: the number on it (Spoil), or other words on a chip that is not
// protected (GiveBack). A link that does not answer, or a protected chip
// (it reads zeros), is no evidence (Unknown). The image and what the reads
// learn of the chip are kept as they were.
NumberStep ReadBackStep(Session& s, const PlacedBytes& placed) {
    const PcBuffer image = s.buffer;
    const OpsState ops = s.ops;
    Unshown quiet;
    const auto report = placed.eeprom ? ReadEeprom(s, quiet) : std::optional<OpReport>(ReadProgramMemory(s, quiet));
    const std::uint8_t* found = placed.eeprom ? s.buffer.eeprom.data() : s.buffer.program.data();
    const std::uint8_t* sent = placed.eeprom ? image.eeprom.data() : image.program.data();
    bool holds = true;
    for (std::size_t i = placed.offset; i < placed.offset + placed.before.size(); i += 2)
        holds = holds && found[i + 1] == sent[i + 1] && (placed.eeprom || found[i] == sent[i]);
    Result protect = Result::None;
    const bool read = report && report->result == Result::Ok && (holds || !BlankCheckConfig(s, protect).linkFault);
    s.buffer = image;
    s.ops = ops;
    if (!read)
        return NumberStep::Unknown;
    return holds ? NumberStep::Spoil : protect == Result::None ? NumberStep::GiveBack : NumberStep::Unknown;
}

}  // namespace

std::string StationUser() {
    passwd entry{}, *found = nullptr;
    char buffer[1024];
    if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found)
        return found->pw_name;
    const char* name = std::getenv("USER");
    return name ? name : std::to_string(::geteuid());
}

std::string ImageSha256(const Session& s) {
    const auto& b = s.buffer;
    const auto programBytes = std::clamp<std::size_t>(2 * static_cast<std::size_t>(std::max(0, s.device.programWords)),
                                                      0, b.program.size());
    const auto eepromBytes =
        std::clamp<std::size_t>(static_cast<std::size_t>(std::max(0, s.device.eepromBytes)), 0, b.eeprom.size());
    std::string image(b.program.begin(), b.program.begin() + static_cast<std::ptrdiff_t>(programBytes));
    image.append(b.configArea.begin(), b.configArea.end());
    image.append(b.eeprom.begin(), b.eeprom.begin() + static_cast<std::ptrdiff_t>(eepromBytes));
    return Sha256Hex(image);
}

std::string SerialBytesWritten(std::int64_t value, int bytes) { return SerialBytesText(value, bytes); }

std::string SerialRecordLine(const std::string& time, const std::string& device, std::int64_t value,
                             const std::string& bytes, const std::string& hexPath, const std::string& checksum,
                             const std::string& port) {
    const std::string sep = "  ";
    return time + sep + device + sep + std::to_string(value) + sep + bytes + sep + hexPath + sep + checksum + sep + port;
}

std::string SerialSettledLine(const SerialRunSettings& settings, std::int64_t value) {
    return SerialRecordLine(SerialTimeText(), "-", value, SerialBytesWritten(value, settings.bytes), "-", "-", "確認により記録");
}

std::string SerialUnrecordedNote(std::int64_t value, const std::string& error) {
    return "シリアル番号 " + std::to_string(value) + " の IC は合格しましたが、管理ファイルに記録できませんでした (" +
           error + ")。記録できるまで、プログラムはできません。";
}

SerialStation::SerialStation(std::string runPath, std::string recordPath, std::string port, StoreFaults faults)
    : runPath_(std::move(runPath)), recordPath_(std::move(recordPath)), port_(std::move(port)), faults_(faults),
      me_(ThisStation()) {}

RunStore* SerialStation::store(std::string& error) {
    if (!store_)
        store_ = RunStore::open(runPath_, error, &note, faults_);
    return store_.get();
}

void SerialStation::refuse(Session& s, Stop why, const std::string& text) {
    stop = why;
    message = text;
    ShowNote(s, Tone::Alert, text);
}

// The passed chip's number first: nothing new is handed out before it is recorded.
bool SerialStation::commitPending(Session& s) {
    std::string error;
    bool appended = false;
    RunStore* run = store(error);
    // A line the record holds already is kept for the row, not written twice.
    const std::string path = pending_->appended ? std::string() : recordPath_;
    if (run && run->commit(pending_->reservation, path, pending_->line, error, &appended, &pending_->attempt)) {
        recorded = true;
        lastValue = pending_->reservation.value;
        lastBytes = pending_->bytes;
        pending_.reset();
        return true;
    }
    pending_->appended = pending_->appended || appended;
    store_.reset();              // opened again next time: the link may be what failed
    refuse(s, Stop::Unrecorded, SerialUnrecordedNote(pending_->reservation.value, error));
    return false;
}

bool SerialStation::reserve(Session& s) {
    stop = Stop::None;
    message.clear();
    recorded = false;
    isPlaced_ = false;
    held_.reset();
    if (!blocked.empty()) {
        refuse(s, Stop::Refused, blocked);
        return false;
    }
    if (pending_ && !commitPending(s))
        return false;
    std::string error;
    RunStore* run = store(error);
    if (!run) {
        refuse(s, Stop::FileError, error);
        return false;
    }
    if (const auto why = run->noRoom(recordPath_)) {
        refuse(s, Stop::FileError, *why);
        return false;
    }
    // The image must be the file's own where the number goes, checked with
    // the settings of the very transaction that hands the number out.
    const auto taken = run->reserve(me_, [&s](const SerialRunSettings& settings) {
        return CheckPlacement(s.device, s.buffer, settings);
    });
    switch (taken.result) {
    case RunStore::Take::Reserved: break;
    case RunStore::Take::Finished: refuse(s, Stop::Finished, kSerialQuantityReached); return false;
    case RunStore::Take::AllOut: refuse(s, Stop::Finished, kAllReserved); return false;
    case RunStore::Take::Unsettled: refuse(s, Stop::Finished, kUnsettled); return false;
    case RunStore::Take::Refused: refuse(s, Stop::Refused, taken.error); return false;
    case RunStore::Take::Error:
        store_.reset();
        refuse(s, Stop::FileError, taken.error);
        return false;
    }
    held_ = taken.reservation;
    checksum_ = PcBufferChecksum(s);
    startMs_ = s.clock.nowMs();
    s.ops.chipDeviceId.reset();
    std::string hexText;
    ChipRecord& chip = attempt_.chip;
    attempt_.atMs = UtcMs();
    chip = ChipRecord{};
    chip.at = attempt_.atMs / 1000;
    chip.host = me_.host;
    chip.user = StationUser();
    chip.operatorName = operatorName;
    chip.device = s.device.name;
    chip.programChecksum = checksum_;
    chip.hexSha256 = ReadWholeFile(s.loader.loadedPath, hexText) ? Sha256Hex(hexText) : "";
    return true;
}

bool SerialStation::place(Session& s) {
    if (!held_ || isPlaced_)
        return true;
    auto placed = PlaceSerial(s.device, s.buffer, held_->settings, held_->value);
    if (!placed) {
        refuse(s, Stop::Refused, kNotPlaced);
        return false;
    }
    // Durably "writing" before the first word goes out: from here on the
    // chip may hold the number, and it is never handed out again unsettled.
    std::string error;
    if (!store_ || !store_->markWriting(*held_, error)) {
        RestorePlacement(s.buffer, *placed);
        refuse(s, Stop::FileError, error.empty() ? "シリアル番号の管理ファイルを開けません。" : error);
        return false;
    }
    placed_ = std::move(*placed);
    isPlaced_ = true;
    ChipRecord& chip = attempt_.chip;
    chip.imageSha256 = ImageSha256(s);
    chip.calibration = s.ops.writeCalibration ? HexWord(*s.ops.writeCalibration) : "";
    chip.bandGap = s.ops.writeBandGap ? std::to_string(*s.ops.writeBandGap) : "";
    return true;
}

void SerialStation::endAttempt(Session& s, Outcome outcome) {
    ChipRecord& chip = attempt_.chip;
    chip.deviceId = s.ops.chipDeviceId.value_or(-1);
    chip.passed = outcome == Outcome::Passed;
    chip.seconds = static_cast<double>(std::max<std::int64_t>(0, s.clock.nowMs() - startMs_)) / 1000;
    chip.failure = chip.passed ? "" : s.view.note.empty() ? OutcomeText(outcome) : s.view.note;
}

std::vector<std::size_t> SerialStation::placedEepromBytes() const {
    std::vector<std::size_t> bytes;
    if (isPlaced_ && placed_.eeprom)
        for (std::size_t i = 0; i < placed_.before.size(); ++i)
            bytes.push_back(placed_.offset + i);
    return bytes;
}

std::string SerialStation::placedNumber() const {
    return isPlaced_ && held_ ? SerialBytesWritten(held_->value, held_->settings.bytes) : "";
}

void SerialStation::finish(Session& s, Outcome outcome) {
    if (!held_)
        return;
    endAttempt(s, outcome);
    // From the first word sent the chip may hold the number: a failed chip
    // gives it back only when read back without it.
    const bool readBack = outcome != Outcome::Passed && isPlaced_;
    const NumberStep failed = readBack ? ReadBackStep(s, placed_) : NumberStep::GiveBack;
    if (readBack && store_)
        store_->faultPoint();
    // The image goes back to the file's contents; the chip keeps its number.
    if (isPlaced_)
        RestorePlacement(s.buffer, placed_);
    isPlaced_ = false;
    const SerialReservation held = *held_;
    held_.reset();
    std::string error;
    if (outcome == Outcome::Passed) {
        const std::string port = port_.empty() ? "COM" + std::to_string(s.link.portNumber) : port_;
        const std::string written = SerialBytesWritten(held.value, held.settings.bytes);
        pending_ = Pending{held, SerialRecordLine(SerialTimeText(), s.device.name, held.value, written, s.loader.loadedPath,
                                                  checksum_, port),
                           written, attempt_};
        commitPending(s);
    } else if (RunStore* run = store(error); !run || !run->giveBack(held, error, failed, &attempt_)) {
        store_.reset();
        refuse(s, Stop::FileError, error);
    }
    if (RunStore* run = store(error))
        if (auto now = run->load(error))
            state = std::move(now);
}

}  // namespace vx
