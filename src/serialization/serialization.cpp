#include "serialization/serialization.h"

#include <cctype>
#include <cstdio>
#include <fstream>

#include "base/settings.h"
#include "image/hexfile.h"
#include "serialization/serialvalue.h"
#include "session/shell.h"

namespace vx {

namespace {

const char* const kStartHint = "【設定を有効にする】をチェックすると、シリアライゼーション・プログラミングを開始します。";
const char* const kCheckHint = "【設定を有効にする】をチェックすると、シリアライゼーションプログラミングを開始します。";
const char* const kSetQuantity = "書き込み数量を設定してください。";
const char* const kNoHexFile =
    "HEXファイルが開かれていません。メニューバの 【ファイル】【開く】から、HEXファイルを開いてください。";
const char* const kSwitchedOn = "シリアライゼーションが有効になりました。\r\n設定変更はできません。";
const char* const kSwitchedOff = "シリアライゼーションが無効になりました。\r\n設定変更できます。";
const char* const kQuantityReached = kSerialQuantityReached;
// Not in the original texts: the next serial value would leave the 64-bit range.
const char* const kSerialOverflow = "シリアルデータ値が範囲を超えるため、これ以上書き込めません。";
const char* const kBadIncrement = "増分データ値を正しく設定してください。";
// Write modes.
const char* const kWholeValues = "書込みモードでは、開始データ値・増分データ値・数量・書込みアドレスを整数にしてください。";
const char* const kRecordedByProgram = "書込みモードでは、【プログラム】が成功した IC が記録されます。";
const char* const kBusyRun = "プログラム中は変更できません。";
const char* const kRunRead = "シリアル番号の管理ファイルを読み込みました。【設定を有効にする】をチェックすると続きから書き込みます。";
const char* const kRunWritten = "シリアル番号の管理ファイルを書き出しました: ";
const char* const kHexModeKey = "SPSHexMode";

std::string HexAddress(std::int64_t address) {
    char text[24];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(address));
    return text;
}

// A run's whole number as the window shows it.
std::string NumberText(std::int64_t whole, bool hex) { return hex ? HexAddress(whole) : std::to_string(whole); }

bool HexShownLast(const Session& s) { return SettingBool(s.settings, kHexModeKey, false).value_or(false); }

constexpr char kBackspace = 8;
constexpr char kEnter = 13;

}  // namespace

std::optional<SerialRunState> SavedSerialRun(const Session& s) {
    std::string error;
    auto state = SerialRunFile(s.run.appDir + kSerialRunName).load(error);
    if (!state || (!state->nextFree() && state->reserved.empty()))
        return std::nullopt;
    return state;
}

std::string ResumeQuestion(const Session& s, const SerialRunState& saved) {
    const auto next = saved.nextFree();
    return "前回の生産シリアライゼーションが途中です (書込み済 " + std::to_string(saved.count) + " 個" +
           (next ? "、次の番号 " + NumberText(SerialValueAt(saved.settings, *next), HexShownLast(s)) : "") +
           ")。\r\n続けますか？";
}

SerialProgramming::SerialProgramming(Session& s) : s_(s), runPath_(s.run.appDir + kSerialRunName) {
    left = SettingReal(s.settings, "SPSLeft", 100).value_or(100);
    top = SettingReal(s.settings, "SPSTop", 100).value_or(100);
    positionSaved = s.settings.value("SPSLeft") || s.settings.value("SPSTop");
    serial = 0;
    selectByteCount(1);
    wroteHex = "00";
    showMessage(kStartHint);
}

SerialProgramming::~SerialProgramming() {
    if (s_.ops.programHook == this)
        s_.ops.programHook = nullptr;
}

void SerialProgramming::showMessage(const std::string& text) { message = text; }

void SerialProgramming::settingsEdited() {
    continueRun_ = false;
    runPath_ = s_.run.appDir + kSerialRunName;
}

bool SerialProgramming::running() const { return s_.view.busy && s_.ops.programHook == this; }

void SerialProgramming::setDataStart(const std::string& text) {
    dataStart = text;
    settingsEdited();
    if (text.empty())
        return;
    if (const auto value = ReadSerialText(text, hexMode))
        serial = *value;
    showMessage(SerialDecimalText(serial));
}

void SerialProgramming::setStartAddress(const std::string& text) {
    startAddress = text;
    settingsEdited();
    if (text.empty())
        return;
    if (const auto end = SerialEndAddressText(text, byteCount))
        endAddress = *end;
}

void SerialProgramming::selectByteCount(int n) {
    if (n < 1 || n > 4)
        return;
    byteCount = n;
    settingsEdited();
    wroteHex = SerialBytesText(0, n);
    setStartAddress(startAddress);
}

void SerialProgramming::setHexMode(bool hex) {
    if (hex == hexMode)
        return;
    hexMode = hex;
    s_.settings.setValue(kHexModeKey, hex ? "True" : "False");
    showNext();
    // The converted texts denote the values they did before, so S stays where
    // the recorded devices left it: a radix switch must never issue a number again.
    for (std::string* box : {&dataFinish, &dataIncrement, &dataStart}) {
        const auto value = ReadSerialText(*box, !hex);
        if (!value)
            continue;
        const auto converted = hex ? SerialHexText(*value) : std::optional<std::string>(SerialDecimalText(*value));
        if (converted)
            *box = *converted;
    }
}

void SerialProgramming::selectWriteMode(SerialMode mode) {
    if (running()) {
        showMessage(kBusyRun);
        return;
    }
    writeMode = mode;
    nextData.clear();
    settingsEdited();
}

void SerialProgramming::setEnabled(bool on) {
    if (running()) {
        showMessage(kBusyRun);
        return;
    }
    // Switching on reloads the HEX file: not under a running board command.
    if (on && RefuseWhileBusy(s_))
        return;
    enabled = on;
    waitingForHex_ = false;
    if (s_.ops.programHook == this)
        s_.ops.programHook = nullptr;
    station_.reset();
    if (!on) {
        fieldsEnabled = true;
        // Switching on again without new settings goes on with the same run.
        continueRun_ = writeMode != SerialMode::Display && std::ifstream(runPath_).good();
        showMessage(kSwitchedOff);
        return;
    }
    if (writeMode != SerialMode::Display) {
        // Until the run stands, Program is refused rather than run without a number.
        station_ = std::make_unique<SerialStation>(runPath_, s_.run.appDir + kSerialRecordName, "");
        s_.ops.programHook = this;
    }
    auto refuse = [this](const std::string& why) {
        showMessage(why);
        if (station_)
            station_->blocked = why;
    };
    fieldsEnabled = false;
    if (ReadSerialText(dataFinish, hexMode).value_or(0) == 0) {
        refuse(kSetQuantity);
        return;
    }
    if (s_.loader.hexPath.empty()) {
        refuse(kNoHexFile);
        waitingForHex_ = true;
        loadsAtSwitch_ = s_.loader.loads;
        return;
    }
    s_.loader.skipHexDialog = true;
    LoadHexFile(s_);
    s_.loader.skipHexDialog = false;
    completeSwitchOn();
}

void SerialProgramming::completeSwitchOn() {
    count = 0;
    finishCount = "0";
    showMessage(kSwitchedOn);
    if (writeMode != SerialMode::Display)
        startWriteRun();
}

void SerialProgramming::followLoads() {
    if (!waitingForHex_ || s_.loader.loads == loadsAtSwitch_)
        return;
    // The file just loaded is the image switching on would have loaded.
    waitingForHex_ = false;
    if (station_)
        station_->blocked.clear();
    completeSwitchOn();
}

std::optional<SerialRunSettings> SerialProgramming::runSettings() {
    const auto increment = ReadSerialText(dataIncrement, hexMode);
    const auto quantity = ReadSerialText(dataFinish, hexMode);
    const auto address = ReadSerialAddress(startAddress);
    auto whole = [](const std::optional<std::int64_t>& v) { return v && *v % kSerialScale == 0; };
    if (serial % kSerialScale != 0 || !whole(increment) || !whole(quantity)) {
        showMessage(kWholeValues);
        return std::nullopt;
    }
    SerialRunSettings run;
    run.mode = writeMode;
    run.start = serial / kSerialScale;
    run.increment = *increment / kSerialScale;
    run.quantity = *quantity / kSerialScale;
    // An address past the signed range is refused as no address at all.
    run.address = address && *address <= static_cast<std::uint64_t>(INT64_MAX) ? static_cast<std::int64_t>(*address) : -1;
    run.bytes = byteCount;
    if (const auto why = CheckRunSettings(run)) {
        showMessage(*why);
        return std::nullopt;
    }
    return run;
}

std::optional<SerialRunState> SerialProgramming::runInHand(std::string& error) {
    if (continueRun_)
        return SerialRunFile(runPath_).load(error);
    const auto run = runSettings();
    if (!run)
        return std::nullopt;
    SerialRunState state;
    state.settings = *run;
    return state;
}

void SerialProgramming::startWriteRun() {
    std::string error;
    auto state = runInHand(error);
    if (!state && error.empty()) {
        station_->blocked = message;
        return;
    }
    if (state && !continueRun_ && !SerialRunFile(runPath_).store(*state, error))
        state.reset();
    if (state) {
        if (const auto why = CheckPlacement(s_.device, s_.buffer, state->settings))
            error = *why;
    }
    if (!error.empty()) {
        showMessage(error);
        station_->blocked = error;
        return;
    }
    continueRun_ = true;
    showRun(*state);
}

void SerialProgramming::showRun(const SerialRunState& state) {
    count = static_cast<int>(state.count);
    finishCount = std::to_string(count);
    const auto next = state.nextFree();
    next_.reset();
    if (next)
        next_ = SerialValueAt(state.settings, *next);
    if (next_)
        serial = *next_ * kSerialScale;
    showNext();
}

void SerialProgramming::showNext() { nextData = next_ ? NumberText(*next_, hexMode) : ""; }

bool SerialProgramming::reserve(Session& s) {
    followLoads();
    if (!station_)
        return true;
    const bool ok = station_->reserve(s);
    if (!ok) {
        showMessage(station_->message);
        if (changed)
            changed();
    }
    return ok;
}

void SerialProgramming::place(Session& s) {
    if (station_)
        station_->place(s);
}

void SerialProgramming::finish(Session& s, Outcome outcome) {
    if (!station_)
        return;
    station_->finish(s, outcome);
    if (station_->recorded) {
        wroteHex = station_->lastBytes;
        wroteDec = std::to_string(station_->lastValue);
    }
    if (station_->stop != SerialStation::Stop::None)
        showMessage(station_->message);
    if (station_->state)
        showRun(*station_->state);
    if (changed)
        changed();
}

bool SerialProgramming::exportRun(const std::string& path) {
    if (running()) {
        showMessage(kBusyRun);
        return false;
    }
    std::string error;
    auto state = runInHand(error);
    if (!state && error.empty())
        return false;
    if (!state || !SerialRunFile(path).store(*state, error)) {
        showMessage(error);
        return false;
    }
    runPath_ = path;
    continueRun_ = true;
    if (station_) {
        station_ = std::make_unique<SerialStation>(runPath_, s_.run.appDir + kSerialRecordName, "");
    }
    showMessage(kRunWritten + path);
    return true;
}

bool SerialProgramming::importRun(const std::string& path) {
    if (running() || enabled) {
        showMessage(running() ? kBusyRun : "【設定を有効にする】のチェックをはずしてから読み込んでください。");
        return false;
    }
    std::string error;
    const auto state = SerialRunFile(path).load(error);
    if (!state) {
        showMessage(error);
        return false;
    }
    const SerialRunSettings& run = state->settings;
    writeMode = run.mode;
    selectByteCount(run.bytes);
    setStartAddress(HexAddress(run.address));
    showRun(*state);
    // The boxes in the window's radix; one the hexadecimal form cannot hold
    // (past 32 bits) turns the window decimal.
    auto box = [this](std::int64_t units) {
        return hexMode ? SerialHexText(units) : std::optional(SerialDecimalText(units));
    };
    const std::int64_t increment = run.increment * kSerialScale, quantity = run.quantity * kSerialScale;
    if (!box(increment) || !box(quantity) || !box(serial)) {
        hexMode = false;
        showNext();
    }
    dataIncrement = *box(increment);
    dataFinish = *box(quantity);
    dataStart = *box(serial);
    runPath_ = path;
    continueRun_ = true;
    showMessage(kRunRead);
    return true;
}

bool SerialProgramming::resumeSavedRun() {
    hexMode = HexShownLast(s_);
    return importRun(s_.run.appDir + kSerialRunName);
}

void SerialProgramming::recordDevice() {
    followLoads();
    if (!enabled) {
        showMessage(kCheckHint);
        return;
    }
    if (writeMode != SerialMode::Display) {
        showMessage(kRecordedByProgram);
        return;
    }
    const std::int64_t quantity = ReadSerialText(dataFinish, hexMode).value_or(0);
    if (quantity <= static_cast<std::int64_t>(count) * kSerialScale) {
        showMessage(kQuantityReached);
        return;
    }
    const auto increment = ReadSerialText(dataIncrement, hexMode);
    if (!increment) {
        showMessage(kBadIncrement);
        return;
    }
    // A serial number must never repeat: refuse rather than wrap or saturate.
    const auto next = AddSerial(serial, *increment);
    if (!next) {
        showMessage(kSerialOverflow);
        return;
    }
    const std::int64_t written = serial;
    serial = *next;
    wroteHex = SerialBytesText(SerialWholeValue(written), byteCount);
    wroteDec = SerialDecimalText(written);
    ++count;
    finishCount = std::to_string(count);
}

bool SerialProgramming::unload(const WindowPlacement& placement) {
    if (running()) {
        showMessage(kBusyRun);
        return false;
    }
    setEnabled(false);
    SaveWindowPosition(s_.settings, "SPSLeft", "SPSTop", placement);
    return true;
}

char SerialProgramming::filterKey(Field field, char key) const {
    if (key == kBackspace || key == kEnter || key == '.' || (key >= '0' && key <= '9'))
        return key;
    const bool hexDigits = field == Field::StartAddress ||
                           (hexMode && (field == Field::DataStart || field == Field::DataIncrement ||
                                        field == Field::DataFinish));
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(key)));
    if (hexDigits && upper >= 'A' && upper <= 'F')
        return upper;
    return '\0';
}

}  // namespace vx
