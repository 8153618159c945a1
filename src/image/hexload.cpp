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
#include "image/pcbufferquery.h"
#include "image/selection.h"
#include "link/family.h"
#include "session/status.h"

namespace vx {

namespace {

constexpr int kExtendedLinearAddressRecord = 0x04;

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

// Which words of the device the records set, and which records reach past it.
class ContentTracker {
public:
    explicit ContentTracker(const DeviceInfo& d)
        : program_(static_cast<std::size_t>(std::max(0, d.programWords))),
          eeprom_(static_cast<std::size_t>(std::max(0, d.eepromBytes))) {}
    // Each is false for a word outside the device.
    bool program(int word) { return mark(program_, word, contents.programWordsUsed); }
    bool eeprom(int cell) { return mark(eeprom_, cell, contents.eepromCells); }
    // The eight words of the configuration area: IDs 0..3, the configuration word 7.
    bool configArea(int word) {
        if (word < 4)
            mark(ids_, word, contents.idWords);
        if (word == 7)
            contents.configWordSet = true;
        return word < 8;
    }
    void allIds() {
        for (int k = 0; k < 4; ++k)
            configArea(k);
    }
    void record(bool inside) {
        ++contents.dataRecords;
        contents.outsideRecords += inside ? 0 : 1;
    }
    HexContents contents;

private:
    static bool mark(std::vector<bool>& seen, int index, int& count) {
        if (index < 0 || index >= static_cast<int>(seen.size()))
            return false;
        if (!seen[static_cast<std::size_t>(index)])
            ++count;
        seen[static_cast<std::size_t>(index)] = true;
        return true;
    }
    std::vector<bool> program_, eeprom_;
    std::vector<bool> ids_ = std::vector<bool>(4);
};

// Marks every word the record's bytes touch, from byte firstByte on: a
// record at an odd byte address reaches half into one word more. False when
// one of them lies outside the device.
template <typename Mark>
bool markTouchedWords(int firstByte, const HexRecord& r, Mark mark) {
    bool inside = true;
    const int lastByte = firstByte + 2 * static_cast<int>(r.words.size()) - 1;
    for (int word = firstByte / 2; word <= lastByte / 2; ++word)
        inside = mark(word) && inside;
    return inside;
}

// Records below the configuration area: program memory, and on 12-bit parts
// the configuration word and ID words past it. False: data past the device.
bool applyProgramRecord(const DeviceInfo& device, PcBuffer& b, std::string_view line, const HexRecord& r,
                        bool fromFolder, ContentTracker& t) {
    const int a = r.address;
    for (std::size_t k = 0; k < r.words.size(); ++k) {
        put(b.program, a + 2 * k, r.words[k].first);
        put(b.program, a + 2 * k + 1, r.words[k].second);
    }
    bool inside = markTouchedWords(a, r, [&t](int word) { return t.program(word); });
    if (!Traits(device.family).twelveBit())
        return inside;
    // The configuration word is one word; whatever follows it in the record
    // has no place in the chip.
    if (a == kTwelveBitCore.configHexAddress && !r.words.empty()) {
        b.configArea[14] = static_cast<std::uint8_t>(r.words[0].first);
        b.configArea[15] = static_cast<std::uint8_t>(r.words[0].second);
        t.configArea(7);
        inside = r.words.size() == 1;
    }
    if (!fromFolder && isTwelveBitIdAddress(device, a)) {
        applyIdRecord(b, line);
        t.allIds();
        inside = r.words.size() <= 4;
    }
    return inside;
}

// False: the record's data lies (partly) outside the device.
bool applyConfigWords(PcBuffer& b, int base, const HexRecord& r, ContentTracker& t) {
    putConfigWords(b, static_cast<std::size_t>(base), r);
    return markTouchedWords(base, r, [&t](int word) { return t.configArea(word); });
}

void applyRecord(const DeviceInfo& device, PcBuffer& b, std::string_view line, const HexRecord& r,
                 bool fromFolder, ContentTracker& t) {
    const int a = r.address;
    bool inside = true;
    if (a < 0x4000) {
        inside = applyProgramRecord(device, b, line, r, fromFolder, t);
    } else if (a == 0x4000) {
        if (fromFolder) {
            inside = applyConfigWords(b, 0, r, t);
        } else {
            applyIdRecord(b, line);
            t.allIds();
        }
    } else if (a <= 0x41FF) {
        inside = applyConfigWords(b, a - 0x4000, r, t);
        if (!fromFolder)
            b.configArea[14] &= 0x3F;
    } else if ((a >= 0x4200 && a <= 0x43FF) || (a >= 0x8000 && a <= 0x81FF)) {
        const std::size_t base = static_cast<std::size_t>(a - (a >= 0x8000 ? 0x8000 : 0x4200));
        for (std::size_t k = 0; k < r.words.size(); ++k) {
            put(b.eeprom, base + 2 * k, 0x3F);
            put(b.eeprom, base + 2 * k + 1, r.words[k].second);
            inside = t.eeprom(static_cast<int>(base / 2 + k)) && inside;
        }
    } else if (a == 0xFF00) {
        applyPackedFuses(b, r, !fromFolder && device.name.rfind("PIC12C5", 0) == 0);
        t.allIds();
        t.configArea(7);
    } else {
        inside = false;
    }
    t.record(inside);
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
        request.defaultName = "*.hex";
    }
    const auto chosen = s.ui.openFileDialog(request);
    if (!chosen)
        return false;
    s.loader.hexPath = *chosen;
    return true;
}

// The verdict on the status line: done, or the lines that were not records;
// a record shorter than its byte count is added in red on a line of its own.
void showLoadNotes(Session& s, const HexTextReport& report, bool fromFolder) {
    const auto& skipped = report.skippedLines;
    std::string note;
    if (skipped.empty()) {
        note = fromFolder ? "ファイルオープン完了。" : "ファイルオープン完了";
    } else if (fromFolder) {
        note = std::to_string(skipped.size()) + "行分は無効データなので読み飛ばしました。";
    } else {
        for (const int line : skipped)
            note += (note.empty() ? "" : "、") + std::to_string(line);
        note += "行目はＨＥＸデータでないので読み飛ばしました。";
    }
    if (report.firstShortLine == 0) {
        ShowNote(s, note, "");
        return;
    }
    // Not in the original texts: the missing digits were read as 0, so the
    // image is not what the file meant; said in red like a file without its end.
    const std::string shortNote = std::to_string(report.firstShortLine) +
                                  "行目のＨＥＸレコードはデータがバイト数より短いので、足りない分を0として読み込みました。";
    ShowNote(s, Tone::Alert, skipped.empty() ? shortNote : note + "\r\n" + shortNote);
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
    s.loader.contents = report.contents;

    RefreshProgramMemoryText(s);
    RefreshIdConfigDisplay(s);
    RefreshEepromText(s);
    ShowNote(s, "ファイルオープン完了。", "");
    b.configWord = b.configArea[14] * 256 + b.configArea[15];
    // The band-gap box shows the bits the file gives the chip.
    if (const auto bits = report.contents.configWordSet ? BandGapOf(Traits(s.device.family), b.configWord) : std::nullopt)
        s.view.bandGapText = std::to_string(*bits);
    RefreshGridFromConfig(s);
    showLoadNotes(s, report, fromFolder);
    s.ui.setBusy(false);
    ShowHexContents(s, report.contents);
    if (fromFolder)
        RefreshIdConfigDisplay(s);
    else
        s.view.checksumLabel.caption = PcBufferChecksum(s);
    ++s.loader.loads;
    s.ui.viewChanged();
}

void loadHex(Session& s, const LoadRules& rules, const std::string& folder) {
    if (RefuseWhileLocked(s) || StartDeviceCommand(s) != CommandStart::Go)
        return;
    HideGridEditors(s);
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
    ContentTracker tracker(device);
    bool beyond64K = false;
    b.idText = "FFFF";
    ForEachHexLine(text, [&](int number, std::string_view line) {
        if (!IsHexRecordLine(line)) {
            report.skippedLines.push_back(number);
            return true;
        }
        const HexRecord r = ParseHexRecord(line);
        // Data after an extended linear address other than 0 lies beyond
        // 64 KiB, where no part of this programmer has memory: it is counted
        // outside the device, never laid over the low addresses.
        if (r.type == kExtendedLinearAddressRecord) {
            beyond64K = !r.words.empty() && (r.words[0].first != 0 || r.words[0].second != 0);
            return true;
        }
        if (r.type != 0)
            return true;
        if (beyond64K) {
            tracker.record(false);
            return true;
        }
        if (r.dataShort && report.firstShortLine == 0)
            report.firstShortLine = number;
        applyRecord(device, b, line, r, fromFolder, tracker);
        return true;
    });
    report.contents = tracker.contents;

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

std::vector<std::string> HexContentItems(const HexContents& c, const DeviceInfo& device, int configWord) {
    const std::string config = HexText(static_cast<std::uint32_t>(configWord & 0xFFFF), 4);
    std::vector<std::string> items;
    items.push_back("プログラム " + std::to_string(c.programWordsUsed) + " / " + std::to_string(device.programWords) +
                    " ワード");
    items.push_back(c.configWordSet ? "コンフィギュレーションワード 0x" + config
                                    : "コンフィギュレーションワードの指定なし（グリッドの値 0x" + config + " を書込みます）");
    items.push_back("ID " + std::to_string(c.idWords) + " ワード");
    items.push_back(device.eepromBytes > 0 ? "ＥＥＰＲＯＭ " + std::to_string(c.eepromCells) + " / " +
                                                 std::to_string(device.eepromBytes) + " バイト"
                                           : "ＥＥＰＲＯＭ なし");
    items.push_back("デバイス外 " + std::to_string(c.outsideRecords) + " レコード（読み飛ばし）");
    return items;
}

void ShowHexContents(Session& s, const HexContents& contents) {
    std::string line;
    for (const auto& item : HexContentItems(contents, s.device, s.buffer.configWord))
        line += (line.empty() ? "" : "　") + item;
    s.view.hexSummary = line;
    s.view.hexSummaryColour = contents.suspect() ? kColourRed : kColourBlack;
    s.ui.viewChanged();
}

void LoadHexFile(Session& s) { loadHex(s, LoadRules{false}, ""); }

void LoadHexFromFolder(Session& s, const std::string& folder) { loadHex(s, LoadRules{true}, folder); }

}  // namespace vx
