#include "serialization/station.h"

#include <cstdio>
#include <ctime>

#include "image/pcbufferops.h"
#include "serialization/serialvalue.h"
#include "session/shell.h"

namespace vx {

const char* const kSerialQuantityReached =
    "予定の書き込み数量に達しました。【設定を有効にする】のチェックをはずして、再設定を行って下さい。";

namespace {

const char* const kAllReserved = "残りのシリアル番号はすべて他の書込み中の IC に割り当てられています。";

std::string Now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &local);
    return text;
}

}  // namespace

std::string SerialBytesWritten(std::int64_t value, int bytes) { return SerialBytesText(value, bytes); }

std::string SerialRecordLine(const std::string& time, const std::string& device, std::int64_t value,
                             const std::string& bytes, const std::string& hexPath, const std::string& checksum,
                             const std::string& port) {
    const std::string sep = "  ";
    return time + sep + device + sep + std::to_string(value) + sep + bytes + sep + hexPath + sep + checksum + sep + port;
}

SerialStation::SerialStation(std::string runPath, std::string recordPath, std::string port)
    : file_(std::move(runPath)), recordPath_(std::move(recordPath)), port_(std::move(port)) {}

void SerialStation::refuse(Session& s, Stop why, const std::string& note) {
    stop = why;
    message = note;
    ShowNote(s, "red" + note);
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
    std::string error;
    state = file_.load(error);
    if (!state) {
        refuse(s, Stop::FileError, error);
        return false;
    }
    // The image must be the file's own where the number goes.
    if (const auto why = CheckPlacement(s.device, s.buffer, state->settings)) {
        refuse(s, Stop::Refused, *why);
        return false;
    }
    const auto taken = file_.reserve(ThisStation());
    switch (taken.result) {
    case SerialRunFile::Take::Reserved: break;
    case SerialRunFile::Take::Finished: refuse(s, Stop::Finished, kSerialQuantityReached); return false;
    case SerialRunFile::Take::AllReserved: refuse(s, Stop::Finished, kAllReserved); return false;
    case SerialRunFile::Take::Error: refuse(s, Stop::FileError, taken.error); return false;
    }
    state = taken.state;
    held_ = taken.reservation;
    value_ = taken.value;
    checksum_ = PcBufferChecksum(s);
    return true;
}

void SerialStation::place(Session& s) {
    if (!held_ || isPlaced_)
        return;
    placed_ = PlaceSerial(s.device, s.buffer, state->settings, value_);
    isPlaced_ = true;
}

void SerialStation::finish(Session& s, Outcome outcome) {
    if (!held_)
        return;
    // The image goes back to the file's contents; the chip keeps its number.
    if (isPlaced_)
        RestorePlacement(s.buffer, placed_);
    isPlaced_ = false;
    const SerialReservation held = *held_;
    held_.reset();
    std::string error;
    const int bytes = state->settings.bytes;
    if (outcome == Outcome::Passed) {
        const std::string written = SerialBytesWritten(value_, bytes);
        const std::string port = port_.empty() ? "COM" + std::to_string(s.link.portNumber) : port_;
        const std::string line =
            SerialRecordLine(Now(), s.device.name, value_, written, s.loader.loadedPath, checksum_, port);
        if (!file_.commit(held, recordPath_, line, error)) {
            refuse(s, Stop::FileError, error);
        } else {
            recorded = true;
            lastValue = value_;
            lastBytes = written;
        }
    } else if (!file_.giveBack(held, error)) {
        refuse(s, Stop::FileError, error);
    }
    if (auto now = file_.load(error))
        state = std::move(now);
}

}  // namespace vx
