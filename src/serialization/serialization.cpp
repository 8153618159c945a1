#include "serialization/serialization.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <filesystem>

#include "base/settings.h"
#include "base/textfile.h"
#include "image/hexfile.h"
#include "serialization/serialvalue.h"
#include "serialization/sqlitefile.h"
#include "session/status.h"

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
const char* const kRunKept = "途中の生産があります。【設定を有効にする】をチェックすると続きから書き込みます。";
const char* const kRunWritten = "シリアル番号の管理ファイルを書き出しました: ";
const char* const kTitle = "シリアルデータプログラミング";
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

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The window's own store, the earlier text run converted into it once.
std::unique_ptr<RunStore> OpenAppDirRun(const std::string& appDir, std::string& error, std::string* note) {
    const std::string path = appDir + kSerialRunName, text = appDir + kSerialTextRunName;
    std::string done;
    if (!Exists(path) && Exists(text) && !ConvertTextRun(text, path, done, error))
        return nullptr;
    if (!Exists(path))
        return nullptr;
    auto store = RunStore::open(path, error, note);
    if (note && !done.empty())
        *note = done;
    return store;
}

// The run in a few words, its next number in the radix shown.
std::string RunSummary(const SerialRunState& run, bool hex) {
    const auto next = run.nextValue();
    const auto settle = run.count(NumberState::Settle);
    return "書込み済 " + std::to_string(run.recorded()) + " 個" + (next ? "、次の番号 " + NumberText(*next, hex) : "") +
           (settle > 0 ? "、確認待ち " + std::to_string(settle) + " 個" : "");
}

}  // namespace

std::optional<SerialRunState> SavedSerialRun(const Session& s, std::string* note) {
    std::string error;
    const auto store = OpenAppDirRun(s.run.appDir, error, note);
    auto state = store ? store->load(error, true) : std::nullopt;
    if (!state || !state->inProgress())
        return std::nullopt;
    return state;
}

std::optional<std::string> SavedSerialRunQuestion(const Session& s) {
    std::string note;
    const auto saved = SavedSerialRun(s, &note);
    if (!saved)
        return std::nullopt;
    return (note.empty() ? "" : note + "\r\n") + "前回の生産シリアライゼーションが途中です (" +
           RunSummary(*saved, HexShownLast(s)) +
           ")。\r\n続けますか？";
}

SerialProgramming::SerialProgramming(Session& s) : s_(s), runPath_(s.run.appDir + kSerialRunName) {
    left = SettingReal(s.settings, "SPSLeft", 100).value_or(100);
    top = SettingReal(s.settings, "SPSTop", 100).value_or(100);
    positionSaved = s.settings.value("SPSLeft") || s.settings.value("SPSTop");
    serial = 0;
    selectByteCount(1);
    wroteHex = "00";
    showNext();
    showMessage(kStartHint);
    // The window never starts afresh over a run in progress: it shows that run.
    std::string note;
    if (const auto saved = SavedSerialRun(s, &note)) {
        hexMode = HexShownLast(s);
        showSettings(*saved);
        showMessage(note.empty() ? kRunKept : note + "\r\n" + kRunKept);
    }
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
    list_.reset();
    listPath.clear();
    dataStart = text;
    settingsEdited();
    if (text.empty())
        return;
    if (const auto value = ReadSerialText(text, hexMode))
        serial = *value;
    showNext();
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
    if (mode == writeMode)
        return;
    writeMode = mode;
    next_.reset();
    showNext();
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
    if (!on) {
        fieldsEnabled = true;
        showMessage(kSwitchedOff);
        return;
    }
    if (writeMode != SerialMode::Display) {
        // A station holding a passed chip's unrecorded number is kept: it records it first.
        if (!station_ || !station_->unrecorded())
            station_ = newStation();
        station_->blocked.clear();
        // Until the run stands, Program is refused rather than run without a number.
        s_.ops.programHook = this;
    }
    fieldsEnabled = false;
    if (ReadSerialText(dataFinish, hexMode).value_or(0) == 0) {
        block(kSetQuantity);
        return;
    }
    if (s_.loader.hexPath.empty()) {
        block(kNoHexFile);
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
    if (writeMode == SerialMode::Display)
        clearLastNumber();  // every switch-on counts afresh
    else
        startWriteRun();
}

void SerialProgramming::block(const std::string& why) {
    showMessage(why);
    if (station_)
        station_->blocked = why;
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
    if (list_) {
        run.mode = list_->mode;
        run.address = list_->address;
        run.bytes = list_->bytes;
        run.quantity = static_cast<std::int64_t>(list_->values.size());
        run.source = SerialSource::List;
        return run;
    }
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

std::unique_ptr<RunStore> SerialProgramming::openStore(std::string& error, std::string* note) {
    if (runPath_ == s_.run.appDir + kSerialRunName)
        return OpenAppDirRun(s_.run.appDir, error, note);
    return RunStore::open(runPath_, error, note);
}

bool SerialProgramming::mayStartOver(const SerialRunState& saved) {
    const bool used = saved.recorded() > 0 || saved.count(NumberState::Reserved) > 0 ||
                      saved.count(NumberState::Writing) > 0 || saved.count(NumberState::Settle) > 0 ||
                      saved.count(NumberState::Failed) > 0;
    if (!used || !saved.movedTo.empty())
        return true;
    const std::string text = "管理ファイルに前の生産があります (" + RunSummary(saved, hexMode) +
                             ")。\r\n新しい設定で生産を始めますか？\r\n(前の生産は管理ファイルの履歴に残ります。"
                             "「いいえ」で前の生産を続けます。)";
    return s_.ui.messageBox(MsgIcon::Question, kTitle, text, MsgButtons::NoYes) == MsgAnswer::Yes;
}

// Continue the store's run when the boxes show it or the user keeps it;
// else a new run from the boxes. The placement is checked before anything
// is stored.
void SerialProgramming::startWriteRun() {
    std::string error;
    auto store = openStore(error);
    auto saved = store ? store->load(error, true) : std::nullopt;
    if (!error.empty()) {
        block(error);
        return;
    }
    bool keep = continueRun_ && saved && saved->movedTo.empty();
    std::optional<SerialRunSettings> fresh;
    if (!keep) {
        if (!(fresh = runSettings())) {
            block(message);
            return;
        }
        if (const auto why = CheckPlacement(s_.device, s_.buffer, *fresh)) {
            block(*why);
            return;
        }
        keep = saved && !mayStartOver(*saved);
    }
    if (keep) {
        showSettings(*saved);
        if (const auto why = CheckPlacement(s_.device, s_.buffer, saved->settings)) {
            block(*why);
            return;
        }
    } else if (const auto planned = list_ ? list_->values : std::vector<std::int64_t>{};
               !(store ? store->startRun(*fresh, error, planned) : RunStore::create(runPath_, *fresh, error, planned)) ||
               !(store = openStore(error)) || !(saved = store->load(error))) {
        block(error);
        return;
    }
    if (!keep)
        clearLastNumber();
    continueRun_ = true;
    showRun(*saved);
}

void SerialProgramming::showSettings(const SerialRunState& state) {
    const std::string path = runPath_;  // the boxes' handlers would take the window back to its own store
    const SerialRunSettings& run = state.settings;
    writeMode = run.mode;
    selectByteCount(run.bytes);
    setStartAddress(HexAddress(run.address));
    showRun(state);
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
}

void SerialProgramming::showRun(const SerialRunState& state) {
    count = static_cast<int>(state.recorded());
    finishCount = std::to_string(count);
    next_ = state.nextValue();
    if (next_)
        serial = *next_ * kSerialScale;
    showNext();
    settleValues = state.values(NumberState::Settle);
}

void SerialProgramming::showNext() {
    // Display only: the number the next "chk" records, as the boxes show it.
    if (writeMode == SerialMode::Display)
        nextData = hexMode ? SerialHexText(serial).value_or(SerialDecimalText(serial)) : SerialDecimalText(serial);
    else
        nextData = next_ ? NumberText(*next_, hexMode) : "";
}

void SerialProgramming::clearLastNumber() {
    wroteHex = SerialBytesText(0, byteCount);
    wroteDec = "0";
}

std::string SerialProgramming::numberText(std::int64_t whole) const { return NumberText(whole, hexMode); }

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

bool SerialProgramming::place(Session& s) { return !station_ || station_->place(s); }

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
    auto store = continueRun_ ? openStore(error) : nullptr;
    if (store) {
        if (!store->moveRun(path, error)) {
            showMessage(error);
            return false;
        }
    } else if (!error.empty()) {
        showMessage(error);
        return false;
    } else {
        const auto run = runSettings();
        if (!run)
            return false;
        if (!RunStore::create(path, *run, error)) {
            showMessage(error);
            return false;
        }
    }
    runPath_ = path;
    continueRun_ = true;
    if (station_ && !station_->unrecorded())
        station_ = newStation();
    showMessage(kRunWritten + path);
    return true;
}

bool SerialProgramming::importRun(const std::string& path) {
    if (running() || enabled) {
        showMessage(running() ? kBusyRun : "【設定を有効にする】のチェックをはずしてから読み込んでください。");
        return false;
    }
    std::string error, note;
    const auto store = RunStore::open(path, error, &note);
    const auto state = store ? store->load(error, true) : std::nullopt;
    if (!state) {
        showMessage(error);
        return false;
    }
    runPath_ = path;
    showSettings(*state);
    showMessage(note.empty() ? kRunRead : note + "\r\n" + kRunRead);
    return true;
}

bool SerialProgramming::settle(std::int64_t value, bool used) {
    if (running()) {
        showMessage(kBusyRun);
        return false;
    }
    // Either answer is final: the number is never handed out again, or it is
    // handed to the next chip. Asked once, "いいえ" the default.
    const std::string number = "シリアル番号 " + numberText(value);
    const std::string question =
        used ? number + " を書込み済みとして記録しますか？\r\n\r\n「はい」：この番号の IC は合格品です。番号は使用済みになり、"
                        "二度と割り当てません。\r\n「いいえ」：何もしません。"
             : number + " を未使用に戻しますか？\r\n\r\n「はい」：この番号は IC に入っていないか、その IC は廃棄しました。"
                        "番号は次の IC に割り当てます。\r\n「いいえ」：何もしません。";
    if (s_.ui.messageBox(MsgIcon::Question, kTitle, question, MsgButtons::NoYes) != MsgAnswer::Yes)
        return false;
    std::string error;
    const auto store = openStore(error);
    const auto state = store ? store->load(error) : std::nullopt;
    if (!state || !store->settle(value, used, s_.run.appDir + kSerialRecordName,
                                 SerialSettledLine(state->settings, value), error)) {
        showMessage(error);
        return false;
    }
    if (const auto now = store->load(error))
        showRun(*now);
    showMessage("シリアル番号 " + numberText(value) + (used ? " を書込み済みとして記録しました。" : " を未使用に戻しました。"));
    return true;
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
    showNext();
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

std::unique_ptr<SerialStation> SerialProgramming::newStation() const {
    auto station = std::make_unique<SerialStation>(runPath_, s_.run.appDir + kSerialRecordName, "");
    station->operatorName = operatorName;
    return station;
}

bool SerialProgramming::chooseList(const std::string& path) {
    std::string text, error;
    auto list = ReadWholeFile(path, text) ? ParseSqtp(text, s_.device, error) : std::nullopt;
    if (!list) {
        showMessage(path + ": " + (error.empty() ? "読み込めません。" : error));
        return false;
    }
    list_ = std::move(list);
    listPath = path;
    writeMode = list_->mode;
    byteCount = list_->bytes;
    startAddress = HexAddress(list_->address);
    dataFinish = std::to_string(list_->values.size());
    settingsEdited();
    showMessage("リスト " + path + " の " + std::to_string(list_->values.size()) + " 個の値で生産します。");
    return true;
}

void SerialProgramming::setOperatorName(const std::string& name) {
    operatorName = name;
    if (station_)
        station_->operatorName = name;
}

std::string SerialProgramming::writeReport() {
    std::string error;
    auto store = openStore(error);
    const auto report = store ? store->report(error) : std::nullopt;
    const std::string folder =
        RunStore::isServer(runPath_) ? std::filesystem::temp_directory_path().string() : FolderOf(runPath_);
    const std::string path = (folder.empty() ? "" : folder + "/") + kSerialReportName;
    if (!report || !WriteFileAtomically(path, ReportText(*report, ReportFormat::Html), error)) {
        showMessage(error.empty() ? "シリアル番号の管理ファイルがありません。" : error);
        return "";
    }
    s_.processes.openWithAssociated(path);
    return path;
}

}  // namespace vx
