#include <algorithm>

#include "base/convert.h"
#include "base/settings.h"
#include "base/textfile.h"
#include "image/display.h"
#include "image/grid.h"
#include "image/hexfile.h"
#include "image/hexrecords.h"
#include "image/history.h"
#include "image/pcbufferops.h"
#include "image/selection.h"
#include "link/family.h"
#include "session/shell.h"

namespace vx {

namespace {

// Where the two entry points differ.
struct LoadRules {
    bool fromFolder = false;
};

template <std::size_t N>
void put(std::array<std::uint8_t, N>& area, std::size_t index, int value) {
    // Data past the end of a buffer is dropped, like unmapped addresses.
    if (index < N)
        area[index] = static_cast<std::uint8_t>(value);
}

void putConfigWords(PcBuffer& b, std::size_t base, const HexRecord& r) {
    for (std::size_t k = 0; k < r.words.size(); ++k) {
        put(b.configArea, base + 2 * k, r.words[k].first);
        put(b.configArea, base + 2 * k + 1, r.words[k].second);
    }
}

void applyIdRecord(PcBuffer& b, std::string_view line) {
    b.idText.clear();
    for (int k = 0; k < 4; ++k) {
        const std::size_t pos = 10 + 4 * static_cast<std::size_t>(k);
        const std::string digit(pos < line.size() ? line.substr(pos, 1) : "");
        b.idText += digit;
        // A character that is not a hex digit counts as 0, as elsewhere in a record.
        b.configArea[2 * k] = 0;
        b.configArea[2 * k + 1] = static_cast<std::uint8_t>(std::max(0, ParseNumber("0x" + digit)));
    }
}

void applyPackedFuses(PcBuffer& b, const HexRecord& r, bool table12C5) {
    putConfigWords(b, 0, r);
    const auto& a = b.configArea;
    int c = 0;
    if (a[8] <= 3)
        c |= a[8];
    if (!table12C5 && a[10] == 0)
        c |= 8;
    if (a[11] == 1)
        c |= 4;
    if (a[12] == 0)
        c |= table12C5 ? 0xFE8 : 0x3FF0;
    if (table12C5 && a[13] == 0)
        c |= 0x10;
    const int id = a[14] * 256 + a[15];
    b.configArea.fill(0);
    for (int k = 0; k < 4; ++k)
        b.configArea[2 * k + 1] = static_cast<std::uint8_t>(0x70 | ((id >> (12 - 4 * k)) & 0x0F));
    b.configArea[14] = static_cast<std::uint8_t>(c >> 8);
    b.configArea[15] = static_cast<std::uint8_t>(c & 0xFF);
}

// Assemblers put the ID words of a 12-bit part right after its program
// memory. Older files use the family's own ID address, which lies past
// program memory on every part of it, so they are read as IDs too.
bool isTwelveBitIdAddress(const DeviceInfo& d, int address) {
    const int end = 2 * d.programWords;
    if (d.programWords > 0 && address == end)
        return true;
    const int oldAddress = Traits(d.family).oldIdHexAddress;
    return oldAddress >= 0 && address == oldAddress && address > end;
}

// The 12C5 code-protect rule fits the parts whose code protection is bit 3
// alone (12C50x); on other parts of the family, such as the 16C505, bit 3 is
// the watchdog. Decided from the entry's own "CP" rows, not from
// codeProtectMask, which an entry without them inherits from the previous device.
bool codeProtectIsBitThree(const DeviceInfo& d) {
    int mask = -1;
    for (const DeviceRow& row : d.rows)
        if (row[0] == "CP")
            mask = ParseNumber(row[2]);
    return mask == 0x0008;
}

void applyRecord(const DeviceInfo& device, PcBuffer& b, std::string_view line, const HexRecord& r,
                 bool fromFolder) {
    const int a = r.address;
    const std::size_t words = r.words.size();
    if (a < 0x4000) {
        for (std::size_t k = 0; k < words; ++k) {
            put(b.program, a + 2 * k, r.words[k].first);
            put(b.program, a + 2 * k + 1, r.words[k].second);
        }
        if (Traits(device.family).twelveBit()) {
            if (a == kTwelveBitCore.configHexAddress) {
                for (const auto& [high, low] : r.words) {
                    b.configArea[14] = static_cast<std::uint8_t>(high);
                    b.configArea[15] = static_cast<std::uint8_t>(low);
                }
            }
            if (!fromFolder && isTwelveBitIdAddress(device, a))
                applyIdRecord(b, line);
        }
    } else if (a == 0x4000) {
        if (fromFolder)
            putConfigWords(b, 0, r);
        else
            applyIdRecord(b, line);
    } else if (a <= 0x41FF) {
        putConfigWords(b, static_cast<std::size_t>(a - 0x4000), r);
        if (!fromFolder)
            b.configArea[14] &= 0x3F;
    } else if ((a >= 0x4200 && a <= 0x43FF) || (a >= 0x8000 && a <= 0x81FF)) {
        const std::size_t base = static_cast<std::size_t>(a - (a >= 0x8000 ? 0x8000 : 0x4200));
        for (std::size_t k = 0; k < words; ++k) {
            put(b.eeprom, base + 2 * k, 0x3F);
            put(b.eeprom, base + 2 * k + 1, r.words[k].second);
        }
    } else if (a == 0xFF00) {
        applyPackedFuses(b, r, !fromFolder && device.name.rfind("PIC12C5", 0) == 0);
    }
}

// The ";PIC" name of a compiler's output selects that device before loading.
void selectDeviceNamedInFile(Session& s, const std::string& content) {
    std::string name;
    for (const auto& line : SplitLines(content))
        if (const auto pos = line.find(";PIC"); pos != std::string::npos)
            name = line.substr(pos + 1);
    if (name.empty())
        return;
    auto& list = s.view.deviceList;
    s.loader.deviceChangeSuppressed = true;
    const int remembered = s.view.deviceIndex;
    for (int i = 0; i < static_cast<int>(list.size()); ++i) {
        s.view.deviceIndex = i;
        if (list[static_cast<std::size_t>(i)] == name) {
            s.loader.deviceChangeSuppressed = false;
            SelectDevice(s);
            return;
        }
    }
    s.loader.deviceChangeSuppressed = false;
    // Moving the list back runs its selection handler, as any index change does.
    const bool moved = s.view.deviceIndex != remembered;
    s.view.deviceIndex = remembered;
    if (moved)
        SelectDevice(s);
    const std::string ideographicSpace = "\u3000";
    std::string eight;
    for (int i = 0; i < 8; ++i)
        eight += ideographicSpace;
    s.ui.messageBox(MsgIcon::Information, "Vormex V3",
                    "HEXファイル内に、サポート外のデバイス名(" + ideographicSpace + name + "　)が設定されています。" +
                        eight + "\r\n現在のデバイス設定のままHEXファイルをロードします。");
}

// The file dialog, unless a reloader set skipHexDialog; false when cancelled.
bool chooseHexFile(Session& s, const LoadRules& rules, const std::string& folder) {
    FileDialogRequest request;
    if (rules.fromFolder) {
        request.startDir = folder;
        request.filter = "Hex File|*.HEX|All Files|*.*|";
    } else {
        request.startDir = SettingText(s.settings, "OPEN_DIR0");
        request.filter = "Hexファイル|*.HEX|全てのファイル|*.*|";
        request.defaultName = "*.HEX";
    }
    const auto chosen = s.ui.openFileDialog(request);
    if (!chosen)
        return false;
    s.loader.hexPath = *chosen;
    return true;
}

// The verdict on the status line: the lines that were not records, then a
// record shorter than its byte count.
void showLoadNotes(Session& s, const HexTextReport& report, bool fromFolder) {
    const auto& skipped = report.skippedLines;
    if (skipped.empty()) {
        ShowNote(s, fromFolder ? "ファイルオープン完了。" : "ファイルオープン完了", "");
    } else if (fromFolder) {
        ShowNote(s, std::to_string(skipped.size()) + "行分は無効データなので読み飛ばしました。", "");
    } else {
        std::string skipList;
        for (const int line : skipped)
            skipList += (skipList.empty() ? "" : "、") + std::to_string(line);
        ShowNote(s, skipList + "行目はＨＥＸデータでないので読み飛ばしました。", "");
    }
    // Not in the original texts: the missing digits were read as 0, so the
    // image is not what the file meant; said in red like a file without its end.
    if (report.firstShortLine > 0)
        ShowNote(s, "red" + std::to_string(report.firstShortLine) +
                        "行目のＨＥＸレコードはデータがバイト数より短いので、足りない分を0として読み込みました。");
}

// The file's folder and the device shown become the first history entry.
void rememberHexFolder(Session& s) {
    const auto& list = s.view.deviceList;
    const int index = s.view.deviceIndex;
    const std::string shown =
        index >= 0 && index < static_cast<int>(list.size()) ? list[static_cast<std::size_t>(index)] : "";
    // The folder keeps its case: folder names here are case-sensitive, and a
    // lower-cased one would send the history entry to a folder that does not exist.
    HistoryUpdate(s, HistoryCaption(FolderOf(s.loader.hexPath), shown));
}

// Records into the cleared buffer, then the dumps, the grid and the notes.
void decodeIntoImage(Session& s, const std::string& content, bool fromFolder) {
    s.run.attemptCount = 0;
    s.run.passCount = 0;
    s.ui.setBusy(true);
    auto& b = s.buffer;
    ShowNote(s, "ファイルをリードしています..........", "");

    const HexTextReport report = DecodeHexText(s.device, content, b, fromFolder);

    RefreshProgramMemoryText(s);
    RefreshIdConfigDisplay(s);
    RefreshEepromText(s);
    ShowNote(s, "ファイルオープン完了。", "");
    b.configWord = b.configArea[14] * 256 + b.configArea[15];
    RefreshGridFromConfig(s);
    showLoadNotes(s, report, fromFolder);
    s.ui.setBusy(false);
    if (fromFolder)
        RefreshIdConfigDisplay(s);
    else
        s.view.checksumLabel.caption = PcBufferChecksum(s);
    ++s.loader.loads;
    s.ui.viewChanged();
}

void loadHex(Session& s, const LoadRules& rules, const std::string& folder) {
    if (RefuseWhileBusy(s))
        return;
    HideGridEditors(s);
    if (CheckDeviceSelected(s) != "OK")
        return;
    const bool useDialog = rules.fromFolder || !s.loader.skipHexDialog;
    if (useDialog && !chooseHexFile(s, rules, folder))
        return;
    std::string content;
    if (!ReadWholeFile(s.loader.hexPath, content)) {
        ShowNote(s, "ファイルをオープンできませんでした。", "");
        return;
    }
    ClearPcBuffer(s);
    s.loader.loadedPath = s.loader.hexPath;
    if (!rules.fromFolder) {
        if (useDialog)
            s.settings.setValue("OPEN_DIR0", FolderOf(s.loader.hexPath));
        if (SettingInt(s.settings, "CCSC_option", 0).value_or(0) == 1)
            selectDeviceNamedInFile(s, content);
    }
    // After the device named in the file, whose selection clears the image.
    ShowImageFile(s, s.loader.hexPath);
    decodeIntoImage(s, content, rules.fromFolder);
    if (!rules.fromFolder && useDialog)
        rememberHexFolder(s);
}

}  // namespace

HexTextReport DecodeHexText(const DeviceInfo& device, std::string_view text, PcBuffer& b, bool fromFolder) {
    HexTextReport report;
    b.idText = "FFFF";
    ForEachHexLine(text, [&](int number, std::string_view line) {
        if (!IsHexRecordLine(line)) {
            report.skippedLines.push_back(number);
            return true;
        }
        const HexRecord r = ParseHexRecord(line);
        if (r.type != 0)
            return true;
        if (r.dataShort && report.firstShortLine == 0)
            report.firstShortLine = number;
        applyRecord(device, b, line, r, fromFolder);
        return true;
    });

    const FamilyTraits& family = Traits(device.family);
    for (int k = 0; k < 4; ++k) {
        if (family.fourteenBit()) {
            b.configArea[2 * k] = 0x3F;
            b.configArea[2 * k + 1] |= 0xF0;
        } else if (family.twelveBit()) {
            b.configArea[2 * k] = 0;
            b.configArea[2 * k + 1] &= 0x0F;
        }
    }
    const int w = ((b.configArea[14] * 256 + b.configArea[15]) & device.configAndMask) | device.configOrMask;
    b.configArea[14] = static_cast<std::uint8_t>((w >> 8) & 0xFF);
    b.configArea[15] = static_cast<std::uint8_t>(w & 0xFF);
    // Code protection on (bit 3 clear).
    if (!fromFolder && family.hexProtectRule && codeProtectIsBitThree(device) && (b.configArea[15] & 0x08) == 0) {
        b.configArea[14] = 0;
        b.configArea[15] &= 0x17;
    }
    return report;
}

void LoadHexFile(Session& s) { loadHex(s, LoadRules{false}, ""); }

void LoadHexFromFolder(Session& s, const std::string& folder) { loadHex(s, LoadRules{true}, folder); }

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

}  // namespace vx
