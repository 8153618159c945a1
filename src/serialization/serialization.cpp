#include "serialization/serialization.h"

#include <cctype>

#include "app/settings.h"
#include "image/hexfile.h"
#include "serialization/serialvalue.h"

namespace vx {

namespace {

const char* const kStartHint = "【設定を有効にする】をチェックすると、シリアライゼーション・プログラミングを開始します。";
const char* const kCheckHint = "【設定を有効にする】をチェックすると、シリアライゼーションプログラミングを開始します。";
const char* const kSetQuantity = "書き込み数量を設定してください。";
const char* const kNoHexFile =
    "HEXファイルが開かれていません。メニューバの 【ファイル】【開く】から、HEXファイルを開いてください。";
const char* const kSwitchedOn = "シリアライゼーションが有効になりました。\r\n設定変更はできません。";
const char* const kSwitchedOff = "シリアライゼーションが無効になりました。\r\n設定変更できます。";
const char* const kQuantityReached =
    "予定の書き込み数量に達しました。【設定を有効にする】のチェックをはずして、再設定を行って下さい。";
// Not in the original texts: the next serial value would leave the 64-bit range.
const char* const kSerialOverflow = "シリアルデータ値が範囲を超えるため、これ以上書き込めません。";
const char* const kBadIncrement = "増分データ値を正しく設定してください。";

constexpr char kBackspace = 8;
constexpr char kEnter = 13;

}  // namespace

SerialProgramming::SerialProgramming(Session& s) : s_(s) {
    left = SettingReal(s.settings, "SPSLeft", 100).value_or(100);
    top = SettingReal(s.settings, "SPSTop", 100).value_or(100);
    serial = 0;
    selectByteCount(1);
    wroteHex = "00";
    showMessage(kStartHint);
}

void SerialProgramming::showMessage(const std::string& text) { message = text; }

void SerialProgramming::setDataStart(const std::string& text) {
    dataStart = text;
    if (text.empty())
        return;
    if (const auto value = ReadSerialText(text, hexMode))
        serial = *value;
    showMessage(SerialDecimalText(serial));
}

void SerialProgramming::setStartAddress(const std::string& text) {
    startAddress = text;
    if (text.empty())
        return;
    if (const auto end = SerialEndAddressText(text, byteCount))
        endAddress = *end;
}

void SerialProgramming::selectByteCount(int n) {
    if (n < 1 || n > 4)
        return;
    byteCount = n;
    wroteHex = SerialBytesText(0, n);
    setStartAddress(startAddress);
}

void SerialProgramming::setHexMode(bool hex) {
    if (hex == hexMode)
        return;
    hexMode = hex;
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

void SerialProgramming::setEnabled(bool on) {
    enabled = on;
    if (!on) {
        fieldsEnabled = true;
        showMessage(kSwitchedOff);
        return;
    }
    fieldsEnabled = false;
    if (ReadSerialText(dataFinish, hexMode).value_or(0) == 0) {
        showMessage(kSetQuantity);
        return;
    }
    if (s_.loader.hexPath.empty()) {
        showMessage(kNoHexFile);
        return;
    }
    s_.loader.skipHexDialog = true;
    LoadHexFile(s_);
    s_.loader.skipHexDialog = false;
    count = 0;
    finishCount = "0";
    showMessage(kSwitchedOn);
}

void SerialProgramming::recordDevice() {
    if (!enabled) {
        showMessage(kCheckHint);
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

void SerialProgramming::unload(const WindowPlacement& placement) {
    setEnabled(false);
    SaveWindowPosition(s_.settings, "SPSLeft", "SPSTop", placement);
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
