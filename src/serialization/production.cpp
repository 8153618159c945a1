#include "serialization/production.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "link/family.h"

namespace vx {

namespace {

std::string Hex(std::int64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

std::optional<std::int64_t> ParseSerialInteger(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* begin = text.c_str() + (hex ? 2 : 0);
    if (*begin == '+' || *begin == ' ' || (hex && *begin == '-'))
        return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(begin, &end, hex ? 16 : 10);
    if (errno != 0 || end == begin || *end != '\0')
        return std::nullopt;
    return value;
}

std::int64_t SerialValueAt(const SerialRunSettings& settings, std::int64_t index) {
    std::int64_t span = 0, value = 0;
    if (index < 0 || index >= settings.quantity || __builtin_mul_overflow(index, settings.increment, &span) ||
        __builtin_add_overflow(settings.start, span, &value) || value < 0)
        return -1;
    return value;
}

std::optional<std::int64_t> SerialIndexOf(const SerialRunSettings& settings, std::int64_t value) {
    std::int64_t offset = 0;
    if (settings.increment == 0 || __builtin_sub_overflow(value, settings.start, &offset) ||
        offset % settings.increment != 0)
        return std::nullopt;
    const std::int64_t index = offset / settings.increment;  // increment -1 with INT64_MIN cannot occur: offset >= -2^63+1
    if (index < 0 || index >= settings.quantity)
        return std::nullopt;
    return index;
}

std::optional<std::string> CheckRunSettings(const SerialRunSettings& s) {
    if (s.mode == SerialMode::Display)
        return "書込み方法を選んでください。";
    if (s.quantity < 1)
        return "書き込み数量を設定してください。";
    if (s.increment == 0)
        return "増分データ値が 0 では、すべての IC が同じ番号になります。";
    if (s.bytes < 1 || s.bytes > 4)
        return "書込みバイト数は 1 から 4 です。";
    const std::int64_t top = (std::int64_t{1} << (8 * s.bytes)) - 1;
    std::int64_t span = 0, last = 0;
    const bool fits = !__builtin_mul_overflow(s.quantity - 1, s.increment, &span) &&
                      !__builtin_add_overflow(s.start, span, &last) && s.start >= 0 && s.start <= top &&
                      last >= 0 && last <= top;
    if (!fits)
        return "シリアル値 (開始データ値から数量分) が書込みバイト数 " + std::to_string(s.bytes) +
               " バイト (0〜" + Hex(top) + ") に収まりません。";
    if (s.address < 0 || s.address > 0xFFFFFFFF)
        return "書込みアドレスが正しくありません。";
    return std::nullopt;
}

const char* SerialSourceName(SerialSource source) {
    switch (source) {
    case SerialSource::Arithmetic: return "arithmetic";
    case SerialSource::List: return "list";
    case SerialSource::Random: return "random";
    }
    return "";
}

std::optional<SerialSource> SerialSourceFromName(const std::string& name) {
    for (const auto source : {SerialSource::Arithmetic, SerialSource::List, SerialSource::Random})
        if (name == SerialSourceName(source))
            return source;
    return std::nullopt;
}

std::vector<std::uint8_t> SerialValueBytes(std::int64_t value, int bytes) {
    std::vector<std::uint8_t> out;
    for (int b = bytes - 1; b >= 0; --b)
        out.push_back(static_cast<std::uint8_t>((static_cast<std::uint64_t>(value) >> (8 * b)) & 0xFF));
    return out;
}

const char* SerialModeName(SerialMode mode) {
    switch (mode) {
    case SerialMode::Display: return "display";
    case SerialMode::Retlw: return "retlw";
    case SerialMode::Eeprom: return "eeprom";
    }
    return "";
}

std::optional<SerialMode> SerialModeFromName(const std::string& name) {
    for (SerialMode mode : {SerialMode::Display, SerialMode::Retlw, SerialMode::Eeprom})
        if (name == SerialModeName(mode))
            return mode;
    return std::nullopt;
}

const char* const kTextRunHeader = "vormex serial run 1";

namespace {

// Largest process id a station can have (the kernel's limit is 2^22).
constexpr std::int64_t kMaxPid = 0x7FFFFFFF;

struct TextRunReader {
    TextRun run;
    std::map<std::string, std::int64_t> values;
    bool ended = false, returnedSeen = false;

    // One line; "" when it was taken, else what is wrong with it.
    std::string take(const std::string& line) {
        if (ended)
            return "end の後に行があります";
        std::istringstream fields(line);
        std::string key, word;
        fields >> key;
        std::vector<std::string> words;
        while (fields >> word)
            words.push_back(word);
        if (key == "end" && words.empty()) {
            ended = true;
        } else if (key == "mode" && words.size() == 1 && !values.count(key)) {
            const auto mode = SerialModeFromName(words[0]);
            if (!mode || *mode == SerialMode::Display)
                return "mode " + words[0];
            run.settings.mode = *mode;
            values[key] = 0;
        } else if (key == "returned" && !returnedSeen) {
            returnedSeen = true;
            for (const auto& w : words) {
                const auto v = ParseSerialInteger(w);
                if (!v)
                    return "returned " + w;
                run.returned.push_back(*v);
            }
        } else if (key == "reserved" && words.size() == 3) {
            const auto index = ParseSerialInteger(words[0]), pid = ParseSerialInteger(words[1]),
                       started = ParseSerialInteger(words[2]);
            if (!index || !pid || !started || *started < 0 || *pid < 1 || *pid > kMaxPid)
                return line;
            run.reserved.push_back({*index, *pid, *started});
        } else if (words.size() == 1 && !values.count(key) &&
                   (key == "start" || key == "increment" || key == "quantity" || key == "address" ||
                    key == "bytes" || key == "next" || key == "count")) {
            const auto v = ParseSerialInteger(words[0]);
            if (!v)
                return line;
            values[key] = *v;
        } else {
            return line.empty() ? "空の行" : line;
        }
        return "";
    }

    // After the last line: every field there, and every index handed out
    // recorded, returned or reserved exactly once.
    std::string finish() {
        if (!ended)
            return "途中で切れています";
        for (const char* key : {"mode", "start", "increment", "quantity", "address", "bytes", "next", "count"})
            if (!values.count(key))
                return std::string(key) + " がありません";
        if (!returnedSeen)
            return "returned がありません";
        SerialRunSettings& s = run.settings;
        s.start = values["start"];
        s.increment = values["increment"];
        s.quantity = values["quantity"];
        s.address = values["address"];
        if (values["bytes"] < 1 || values["bytes"] > 4)
            return "bytes";
        s.bytes = static_cast<int>(values["bytes"]);
        if (const auto why = CheckRunSettings(s))
            return *why;
        run.nextIndex = values["next"];
        run.count = values["count"];
        if (run.nextIndex < 0 || run.nextIndex > s.quantity || run.count < 0)
            return "next / count";
        std::vector<std::int64_t> handed = run.returned;
        for (const auto& r : run.reserved)
            handed.push_back(r.index);
        std::sort(handed.begin(), handed.end());
        const bool inRange = handed.empty() || (handed.front() >= 0 && handed.back() < run.nextIndex);
        std::int64_t total = 0;
        if (!inRange || std::adjacent_find(handed.begin(), handed.end()) != handed.end() ||
            __builtin_add_overflow(run.count, static_cast<std::int64_t>(handed.size()), &total) ||
            total != run.nextIndex)
            return "番号の数が合いません";
        std::sort(run.returned.begin(), run.returned.end());
        return "";
    }
};

}  // namespace

std::optional<TextRun> ParseTextRun(const std::string& text, std::string& error) {
    std::istringstream in(text);
    std::string line;
    auto next = [&] {
        if (!std::getline(in, line))
            return false;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return true;
    };
    if (!next() || line != kTextRunHeader) {
        error = "シリアル番号の管理ファイルではありません。";
        return std::nullopt;
    }
    TextRunReader reader;
    std::string why;
    while (why.empty() && next())
        why = reader.take(line);
    if (why.empty())
        why = reader.finish();
    if (!why.empty()) {
        error = "シリアル番号の管理ファイルが壊れています: " + why;
        return std::nullopt;
    }
    return std::move(reader.run);
}

std::optional<std::string> CheckPlacement(const DeviceInfo& device, const PcBuffer& image,
                                          const SerialRunSettings& s) {
    // Far beyond any memory: said so before the end of the range is computed.
    const std::int64_t first = s.address, last = first >= 0 && first < (std::int64_t{1} << 32) ? first + s.bytes - 1 : -1;
    const std::string range =
        "シリアル番号の書込み範囲 " + Hex(first) + (last >= 0 ? "〜" + Hex(last) : std::string("〜"));
    // After a Read the image is the chip's, with its number in place: that
    // is what is in the way, not the file.
    const std::string whose = image.readFromChip ? "チップから読み出した" : "HEXファイルの";
    const std::string reload =
        image.readFromChip ? "PC バッファはチップから読み出したデータです。HEXファイルをもう一度ロードしてください。" : "";
    if (s.mode == SerialMode::Eeprom) {
        if (device.eepromBytes <= 0)
            return "このデバイスにはＥＥＰＲＯＭがないため、シリアル番号を書き込めません。";
        const std::int64_t size = std::min<std::int64_t>(device.eepromBytes, kEepromBytes / 2);
        if (last < 0 || last >= size)
            return range + " がＥＥＰＲＯＭ (" + Hex(size) + " バイト) を超えています。";
        for (std::int64_t a = first; a <= last; ++a)
            if (image.eeprom[static_cast<std::size_t>(2 * a + 1)] != 0xFF)
                return range + " が" + whose + "ＥＥＰＲＯＭデータ (" + Hex(a) + ") と重なっています。" + reload;
        return std::nullopt;
    }
    const Core* core = Traits(device.family).core;
    if (!core)
        return "デバイスのファミリー " + device.familyName + " にはシリアル番号を書き込めません。";
    const std::int64_t size = std::min<std::int64_t>(device.programWords, kProgramBytes / 2);
    if (last < 0 || last >= size)
        return range + " がプログラムメモリ (" + Hex(size) + " ワード) を超えています。";
    // Program keeps the chip's calibration word in the last word: a part of
    // a calibrated family has one, whether or not its device entry says so.
    if ((!image.calibText.empty() || Traits(device.family).calibrated) && last == size - 1)
        return range + " がキャリブレーションワード (" + Hex(size - 1) + ") と重なっています。";
    const int blank = core->blankWord;
    for (std::int64_t a = first; a <= last; ++a) {
        const auto at = static_cast<std::size_t>(2 * a);
        if (image.program[at] * 256 + image.program[at + 1] != blank)
            return range + " が" + whose + "データ (" + Hex(a) + ") と重なっています。" + reload;
    }
    return std::nullopt;
}

std::optional<PlacedBytes> PlaceSerial(const DeviceInfo& device, PcBuffer& image, const SerialRunSettings& s,
                                       std::int64_t value) {
    const bool eeprom = s.mode == SerialMode::Eeprom;
    // Both images keep one word per unit, high byte first: EEPROM 0x3F and the data.
    const std::int64_t units = (eeprom ? kEepromBytes : kProgramBytes) / 2;
    if (s.mode == SerialMode::Display || s.bytes < 1 || s.bytes > 4 || s.address < 0 || s.address > units - s.bytes)
        return std::nullopt;
    PlacedBytes placed;
    placed.eeprom = eeprom;
    const auto bytes = SerialValueBytes(value, s.bytes);
    placed.offset = static_cast<std::size_t>(2 * s.address);
    std::uint8_t* base = (eeprom ? image.eeprom.data() : image.program.data()) + placed.offset;
    placed.before.assign(base, base + 2 * bytes.size());
    const std::uint8_t opcode = eeprom ? 0x3F : Traits(device.family).drivenCore().retlwOpcode;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        base[2 * i] = opcode;
        base[2 * i + 1] = bytes[i];
    }
    return placed;
}

void RestorePlacement(PcBuffer& image, const PlacedBytes& placed) {
    std::uint8_t* base = (placed.eeprom ? image.eeprom.data() : image.program.data()) + placed.offset;
    std::copy(placed.before.begin(), placed.before.end(), base);
}

}  // namespace vx
