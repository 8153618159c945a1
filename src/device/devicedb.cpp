#include "device/devicedb.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <optional>

#include "base/convert.h"
#include "device/devicefile.h"

namespace vx {

namespace {

const char* const kMissingText = "デバイス情報設定ファイル 'device.ini'が、以下のフォルダーに有りませんでした。";
const char* const kMissingTitle = "設定ファイルを開けませんでした";
const char* const kEntryFailedText = "ｿｰｽﾌｧｲﾙの読み出しに失敗しました。";
const char* const kEntryFailedTitle = "ﾌｧｲﾙ 開く失敗";
const char* const kEofText = "EOF を検出しました。";
const char* const kNoEndText = "#End が見つかりませんでした。";
const char* const kIdeographicSpace = "\u3000";
// The optional row of a part's device ID; not a setting row.
const char* const kDeviceIdKey = "DEVICE_ID";

// A file beyond these limits is rejected whole, as if it could not be read,
// so no pass ever stores more than the record sizes of deviceinfo.h. The
// byte limits only keep a wrong file (a binary, a huge log) from being
// loaded at all; a real database is far smaller.
constexpr std::size_t kMaxFileBytes = 4 * 1024 * 1024;
constexpr std::size_t kMaxFieldBytes = 4096;

// What the PC buffer can hold; larger sizes would make every memory loop
// run past it.
constexpr int kMaxProgramWords = kProgramBytes / 2;
constexpr int kMaxEepromBytes = kEepromBytes / 2;

using Tokens = std::vector<std::string>;

const std::string& Token(const Tokens& tokens, std::size_t i) {
    static const std::string empty;
    return i < tokens.size() ? tokens[i] : empty;
}

// A DEVICE_ID row's value as written: every token after the key, so that
// anything after the number makes it no device ID.
template <typename Row>
std::string deviceIdValue(const Row& row) {
    std::string value;
    for (std::size_t i = 1; i < row.size(); ++i)
        if (!row[i].empty())
            value += (value.empty() ? "" : " ") + row[i];
    return value;
}

Tokens LineTokens(const std::string& field) { return SplitDeviceLine(ExpandTabs(field)); }

// Tokens the line would have without SplitDeviceLine's cap.
std::size_t CountTokens(const std::string& field) {
    std::string text = ExpandTabs(field);
    if (const auto eq = text.find('='); eq != std::string::npos)
        text.replace(eq, 1, " = ");
    std::size_t count = 0;
    bool inToken = false;
    for (char c : text) {
        if (c == ' ') {
            inToken = false;
        } else if (!inToken) {
            inToken = true;
            ++count;
        }
    }
    return count;
}

bool IsListedName(const std::string& name) {
    const std::string prefix = name.substr(0, 3);
    return prefix == "PIC" || prefix == "TV-";
}

// Text files hold no control characters but tab and the line ends; a DOS
// end-of-file mark at the very end is tolerated.
bool LooksLikeText(std::string& text) {
    if (!text.empty() && text.back() == '\x1A')
        text.pop_back();
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u < 0x20 && c != '\t' && c != '\r' && c != '\n') || u == 0x7F;
    });
}

// Walks the lines as the passes do: a "#BEGIN" line takes the next line as
// its name line, the rows of an entry run to "#END" or the next "#BEGIN".
bool WithinLimits(const DeviceText& lines) {
    int names = 0, helpLines = 0;
    int rows = -1;  // -1: outside an entry
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& key = lines[i].tokens[0];
        if (key == "CMT" && ++helpLines > kMaxHelpLines)
            return false;
        if (key == "#BEGIN") {
            if (++i == lines.size())  // the name line would be read past the end
                return false;
            if (IsListedName(lines[i].tokens[0]) && ++names > kMaxDeviceNames)
                return false;
            rows = 0;
        } else if (rows >= 0 && lines[i].text.rfind(';', 0) != 0) {
            if (key == "#END")
                rows = -1;
            else if (!key.empty() && ++rows > kMaxRows)
                return false;
        }
    }
    return true;
}

// One pass over the file: a fresh read of its lines from the first.
class DeviceFile {
public:
    explicit DeviceFile(const DeviceText& lines) : lines_(lines) {}
    bool atEnd() const { return pos_ >= lines_.size(); }
    const DeviceLine& next() { return lines_[pos_++]; }

private:
    const DeviceText& lines_;
    std::size_t pos_ = 0;
};

bool FailSection(Session& s, const char* text) {
    s.db.error = true;
    s.db.errorText = text;
    return false;
}

// Reads the rows of one entry up to its "#END" into `rows`.
bool ReadDeviceSection(Session& s, DeviceFile& file, std::vector<DeviceRow>& rows) {
    rows.clear();
    for (;;) {
        if (file.atEnd())
            return FailSection(s, kEofText);
        const DeviceLine* line = &file.next();
        while (line->text.rfind(';', 0) == 0) {
            if (file.atEnd())
                return FailSection(s, kEofText);
            line = &file.next();
        }
        const Tokens& tokens = line->tokens;
        if (tokens[0] == "#END")
            return true;
        if (tokens[0] == "#BEGIN")
            return FailSection(s, kNoEndText);
        if (tokens[0].empty() || rows.size() >= std::size_t{kMaxRows})
            continue;
        DeviceRow row;
        std::copy_n(tokens.begin(), std::min<std::size_t>(tokens.size(), kRowColumns), row.begin());
        rows.push_back(std::move(row));
    }
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// The leading decimal number of the text; 0 when there is none.
double DecimalReal(const std::string& text) {
    double value = 0;
    const char* first = text.data();
    if (!text.empty() && text[0] == '+')
        ++first;
    std::from_chars(first, text.data() + text.size(), value, std::chars_format::fixed);
    return value;
}

// Shows or hides the board window as its menu entry's check mark says.
void ShowBoardWindowAsChecked(Session& s) {
    const auto it = s.view.menus.find("mnuBoardInfomation");
    s.view.board.visible = it != s.view.menus.end() && it->second.checked;
}

template <std::size_t N>
std::string OneOf(const std::string& value, const char* const (&choices)[N]) {
    return std::find(std::begin(choices), std::end(choices), value) != std::end(choices) ? value : "";
}

void ApplyEeprom(Session& s, int n) {
    DeviceInfo& d = s.device;
    MainView& v = s.view;
    if (n != 0) {
        d.eepromBytes = std::clamp(n, -1, kMaxEepromBytes - 1) + 1;
        SplitWord(d.eepromBytes, d.eepromSizeHigh, d.eepromSizeLow);
        v.programMemory.heightTwips = 2820;
        v.eepromHeadingVisible = true;
        v.edSizeLabel.visible = true;
        v.eeprom.visible = true;
        v.edSizeLabel.caption = "= " + std::to_string(d.eepromBytes) + " byte";
    } else {
        v.eeprom.visible = false;
        v.eeprom.text.clear();
        v.eeprom.backColour = kColourDisabled;
        v.eepromHeadingVisible = false;
        v.edSizeLabel.visible = false;
        v.programMemory.heightTwips = 4440;
        d.eepromBytes = d.eepromSizeHigh = d.eepromSizeLow = 0;
    }
}

// A DEVICE_ID row that names no device ID fails the entry as a broken one:
// a check against a wrong ID would refuse every good chip.
bool CheckDeviceIdRows(Session& s, const std::vector<DeviceRow>& rows) {
    for (const DeviceRow& row : rows)
        if (Upper(row[0]) == kDeviceIdKey && !ParseDeviceId(deviceIdValue(row)))
            return FailSection(s, ("DEVICE_ID の値 '" + deviceIdValue(row) + "' はデバイスIDではありません。").c_str());
    return true;
}

// PACKAGE and JP2: the socket and jumper picture of the board window.
void ApplyBoardRow(Session& s, const std::string& KEY, const std::string& t1) {
    DeviceInfo& d = s.device;
    if (KEY == "PACKAGE") {
        static const char* const sockets[] = {"8", "18", "28", "28A", "40"};
        d.package = t1;
        s.view.board.package = OneOf(t1, sockets);
    } else {
        static const char* const jumpers[] = {"1-2", "2-3", "NON"};
        d.jumperJp2 = t1;
        s.view.board.jumper = OneOf(t1, jumpers);
    }
    ShowBoardWindowAsChecked(s);
}

void ApplyDefaultConfig(Session& s, const std::string& t1) {
    DeviceInfo& d = s.device;
    d.defaultConfig = ParseNumber(t1);
    int high = 0, low = 0;
    SplitWord(d.defaultConfig, high, low);
    s.buffer.configArea[14] = static_cast<std::uint8_t>(high);
    s.buffer.configArea[15] = static_cast<std::uint8_t>(low);
    s.buffer.configWord = d.defaultConfig;
    s.view.configText = HexText(static_cast<std::uint32_t>(d.defaultConfig), 4);
}

void ApplyProgramWords(Session& s, const std::string& t1) {
    DeviceInfo& d = s.device;
    d.programWords = std::clamp(ParseNumber(t1), -1, kMaxProgramWords - 1) + 1;
    SplitWord(d.programWords, d.programSizeHigh, d.programSizeLow);
    s.view.pmSizeLabel.caption = "= " + std::to_string(d.programWords) + " word";
}

// A setting row: consecutive rows of one key are the options of one grid row.
void ApplySettingRow(Session& s, const DeviceRow& row, std::string& previousKey, std::size_t& nextGridRow) {
    DeviceInfo& d = s.device;
    const std::string& key = row[0];
    const std::string& t1 = row[1];
    if (key == "CP")
        d.codeProtectMask = ParseNumber(row[2]);
    else if (key == "CALIB(movlw)")
        d.calibInstruction = s.buffer.calibText = "movlw 0x" + t1;
    else if (key == "CALIB(retlw)")
        d.calibInstruction = s.buffer.calibText = "retlw 0x" + t1;
    if (key != previousKey) {
        s.grid.cells.resize(nextGridRow + 1);
        s.grid.cells[nextGridRow][0] = key;
        previousKey = key;
        ++nextGridRow;
    }
}

void ApplyRows(Session& s) {
    DeviceInfo& d = s.device;
    d.deviceId = -1;
    ConfigGrid& grid = s.grid;
    std::size_t nextGridRow = 1;
    std::string previousKey;
    for (const DeviceRow& row : d.rows) {
        const std::string& key = row[0];
        if (key.empty())
            break;
        const std::string KEY = Upper(key);
        const std::string& t1 = row[1];
        if (KEY == "PACKAGE" || KEY == "JP2") {
            ApplyBoardRow(s, KEY, t1);
        } else if (KEY == "FIRM") {
            d.minFirmware = DecimalReal(t1);
        } else if (KEY == "PGM_TYPE") {
            d.family = ParseFamily(t1);
            d.familyName = FamilyNameOf(t1);
        } else if (KEY == "COMMENT") {
            d.comment.clear();
            for (int c = 1; c <= 5; ++c)
                d.comment += " " + row[c];
        } else if (KEY == "OTHER0") {
            d.configAndMask = ParseNumber(t1);
        } else if (KEY == "OTHER1") {
            d.configOrMask = ParseNumber(t1);
        } else if (KEY == "CONFIG") {
            ApplyDefaultConfig(s, t1);
        } else if (KEY == "PGM") {
            ApplyProgramWords(s, t1);
        } else if (KEY == "EEPROM") {
            ApplyEeprom(s, ParseNumber(t1));
        } else if (KEY == kDeviceIdKey) {
            d.deviceId = ParseDeviceId(deviceIdValue(row)).value_or(-1);
        } else {
            ApplySettingRow(s, row, previousKey, nextGridRow);
        }
    }
    // An entry without settings leaves an empty grid, not the previous device's keys.
    if (nextGridRow == 1) {
        grid.cells.resize(2);
        grid.cells[1] = {};
    }
}

}  // namespace

std::optional<DeviceText> ParseDeviceText(std::string bytes) {
    if (bytes.size() > kMaxFileBytes)
        return std::nullopt;
    std::optional<std::string> text = DecodeDatabaseText(bytes);
    if (!text || !LooksLikeText(*text))
        return std::nullopt;
    DeviceText lines;
    for (std::string& field : SplitFields(*text)) {
        if (field.size() > kMaxFieldBytes)
            return std::nullopt;
        Tokens tokens = LineTokens(field);
        if (tokens.size() == std::size_t{kMaxTokens} && CountTokens(field) > std::size_t{kMaxTokens})
            return std::nullopt;
        lines.push_back({std::move(field), std::move(tokens)});
    }
    if (!WithinLimits(lines))
        return std::nullopt;
    return lines;
}

std::optional<DeviceText> ReadDeviceText(const Session& s) {
    std::ifstream in(DeviceIniPath(s), std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes(kMaxFileBytes + 1, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad())
        return std::nullopt;
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return ParseDeviceText(std::move(bytes));
}

bool LoadDeviceList(Session& s) { return LoadDeviceListFrom(s, ReadDeviceText(s)); }

bool LoadDeviceListFrom(Session& s, const std::optional<DeviceText>& text) {
    s.db.deviceNames.clear();
    if (!text) {
        s.ui.messageBox(MsgIcon::Critical, kMissingTitle, kMissingText + s.run.appDir);
        s.db.error = true;
        return false;
    }
    DeviceFile file(*text);
    while (!file.atEnd()) {
        const Tokens& tokens = file.next().tokens;
        if (tokens[0] == "VERSION") {
            s.db.deviceIniVersion = Token(tokens, 1) + Token(tokens, 2) + Token(tokens, 3) + Token(tokens, 4);
        } else if (tokens[0] == "#BEGIN") {
            const std::string name = file.atEnd() ? "" : file.next().tokens[0];
            if (IsListedName(name))
                s.db.deviceNames.push_back(name);
        }
    }

    s.view.deviceList.clear();
    s.view.deviceIndex = -1;
    for (const std::string& name : s.db.deviceNames) {
        if (name.empty() || s.view.deviceList.size() >= 512)
            break;
        s.view.deviceList.push_back(name);
    }
    s.ui.viewChanged();
    return true;
}

void LoadDeviceEntry(Session& s, const std::string& name) { LoadDeviceEntryFrom(s, name, ReadDeviceText(s)); }

void LoadDeviceEntryFrom(Session& s, const std::string& name, const std::optional<DeviceText>& text) {
    s.db.settingHelp.clear();
    s.buffer.calibText.clear();
    s.grid.visible = false;
    // A failure of an earlier selection must not be reported again for this one.
    s.db.error = false;

    std::vector<DeviceRow> rows;
    bool loaded = false;
    if (!text) {
        s.db.error = true;
        s.db.errorText = kMissingText + s.run.appDir;
    } else {
        DeviceFile file(*text);
        while (!file.atEnd()) {
            const Tokens& tokens = file.next().tokens;
            if (tokens[0] == "CMT" && s.db.settingHelp.size() < std::size_t{kMaxHelpLines}) {
                s.db.settingHelp.push_back({Token(tokens, 1), Token(tokens, 2), Token(tokens, 3)});
            } else if (tokens[0] == "#BEGIN" && !file.atEnd() && file.next().tokens[0] == name) {
                loaded = ReadDeviceSection(s, file, rows) && CheckDeviceIdRows(s, rows);
                break;
            }
        }
    }

    if (!loaded) {
        s.grid.visible = true;
        if (s.db.error)
            s.ui.messageBox(MsgIcon::Critical, kEntryFailedTitle,
                            std::string(kEntryFailedText) + "\r" + kIdeographicSpace + s.db.errorText);
        s.ui.viewChanged();
        return;
    }

    // The rows are replaced only now, so a broken entry leaves the previous device whole.
    s.device.rows = std::move(rows);
    s.grid.armed = false;
    s.buffer.calibText.clear();
    ApplyRows(s);
    s.grid.currentRow = 1;
    s.grid.currentCol = 0;
    s.ui.viewChanged();
}

std::vector<std::string> SplitDeviceLine(const std::string& line) { return SplitWords(line); }

std::vector<DeviceSummary> ReadDeviceIndex(const Session& s) {
    const std::optional<DeviceText> text = ReadDeviceText(s);
    return text ? DeviceIndexOf(*text) : std::vector<DeviceSummary>{};
}

std::vector<DeviceSummary> DeviceIndexOf(const DeviceText& text) {
    std::vector<DeviceSummary> index;
    DeviceFile file(text);
    DeviceSummary* entry = nullptr;  // the listed entry being read
    while (!file.atEnd()) {
        const Tokens& tokens = file.next().tokens;
        const std::string key = Upper(tokens[0]);
        if (tokens[0] == "#BEGIN") {
            const std::string name = file.atEnd() ? "" : file.next().tokens[0];
            entry = IsListedName(name) ? &index.emplace_back(DeviceSummary{name, "", 0, 0}) : nullptr;
        } else if (tokens[0] == "#END") {
            entry = nullptr;
        } else if (entry && key == "PGM_TYPE") {
            entry->family = FamilyNameOf(Token(tokens, 1));
        } else if (entry && key == "PGM") {
            entry->programWords = std::clamp(ParseNumber(Token(tokens, 1)), -1, kMaxProgramWords - 1) + 1;
        } else if (entry && key == "EEPROM") {
            const int n = ParseNumber(Token(tokens, 1));
            entry->eepromBytes = n == 0 ? 0 : std::clamp(n, -1, kMaxEepromBytes - 1) + 1;
        } else if (entry && key == kDeviceIdKey) {
            entry->deviceId = ParseDeviceId(deviceIdValue(tokens)).value_or(-1);
        }
    }
    return index;
}

std::optional<int> ParseDeviceId(const std::string& text) {
    const int id = ParseNumber(text);
    if (id < 0 || id > 0x3FFF || IsNoChipWord(id))
        return std::nullopt;
    return id;
}

}  // namespace vx
