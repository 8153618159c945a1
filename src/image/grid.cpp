#include "image/grid.h"

#include <algorithm>

#include "base/convert.h"
#include "image/display.h"
#include "link/family.h"
#include "session/status.h"

namespace vx {

namespace {

constexpr int kGridRowsAtStart = 16;

// Column c of setting row j; rows past the entry read as empty.
const std::string& rowCell(const DeviceInfo& device, int j, int c) {
    static const std::string empty;
    if (j < 0 || j >= static_cast<int>(device.rows.size()))
        return empty;
    return device.rows[static_cast<std::size_t>(j)][static_cast<std::size_t>(c)];
}

int lastGridRow(const ConfigGrid& g) { return static_cast<int>(g.cells.size()) - 1; }

bool validDataRow(const ConfigGrid& g, int row) { return row >= 1 && row <= lastGridRow(g); }

std::string cellText(const ConfigGrid& g, int row, int col) {
    if (row < 0 || row > lastGridRow(g) || col < 0 || col > 1)
        return "";
    return g.cells[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
}

// "" -> "00", one digit -> leading "0".
std::string padCalibration(const std::string& text) {
    if (text.empty())
        return "00";
    if (text.size() == 1)
        return "0" + text;
    return text;
}

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

}  // namespace

bool IsCalibrationKey(const std::string& key) { return key == "CALIB(movlw)" || key == "CALIB(retlw)"; }

void InitSettingGrid(Session& s) {
    auto& g = s.grid;
    g.cells.assign(kGridRowsAtStart, {"", ""});
    g.cells[0] = {"Config. Word", "設 定"};
    g.currentRow = 1;
    g.currentCol = 0;
    g.comboItems.clear();
    g.comboText.clear();
    g.comboVisible = false;
    g.editorText.clear();
    g.textVisible = false;
    s.ui.viewChanged();
}

void HideGridEditors(Session& s) {
    s.grid.comboVisible = false;
    s.grid.textVisible = false;
    s.ui.viewChanged();
}

void RefreshGridFromConfig(Session& s) {
    auto& g = s.grid;
    auto& b = s.buffer;
    b.codeProtectSuspected = false;
    bool cpOptionFound = false;
    g.visible = false;
    for (int i = 1; i <= lastGridRow(g); ++i) {
        auto& row = g.cells[static_cast<std::size_t>(i)];
        int col = 0;
        // Once an option is written into column 1, later setting rows are
        // compared with that text, so the first option in force wins.
        for (int j = 0; j < kMaxRows && !row[static_cast<std::size_t>(col)].empty(); ++j) {
            const std::string& key = rowCell(s.device, j, 0);
            if (key != row[static_cast<std::size_t>(col)])
                continue;
            if (IsCalibrationKey(key)) {
                col = 1;
                row[1] = b.calibText.size() > 2 ? b.calibText.substr(b.calibText.size() - 2) : b.calibText;
            }
            const int mask = ParseNumber(rowCell(s.device, j, 2));
            const int value = ParseNumber(rowCell(s.device, j, 3));
            if ((b.configWord & mask) == value) {
                col = 1;
                row[1] = rowCell(s.device, j, 1);
                if (key == "CP")
                    cpOptionFound = true;
            }
            if (key == "CP" && !cpOptionFound && (b.configWord & mask) != mask)
                b.codeProtectSuspected = true;
        }
    }
    g.currentRow = 0;
    g.currentCol = 1;
    g.visible = true;
    s.ui.viewChanged();
}

void ConfigFromGrid(Session& s) {
    auto& g = s.grid;
    g.visible = false;
    int c = 0x3FFF;
    int start = 0;
    for (int i = 1; i <= lastGridRow(g); ++i) {
        const auto& row = g.cells[static_cast<std::size_t>(i)];
        if (IsCalibrationKey(row[0]))
            continue;
        // Each grid row's search starts where the previous row's option was
        // found, so a key that appears twice maps to its second block.
        for (int j = start; j < kMaxRows; ++j) {
            if (rowCell(s.device, j, 0) != row[0] || rowCell(s.device, j, 1) != row[1])
                continue;
            const int mask = ParseNumber(rowCell(s.device, j, 2));
            const int value = ParseNumber(rowCell(s.device, j, 3));
            c &= ~mask | value;
            start = j;
            break;
        }
    }
    c = s.device.configOrMask | (s.device.configAndMask & c);
    s.buffer.configWord = c;
    g.visible = true;
    int high = 0, low = 0;
    SplitWord(c, high, low);
    s.buffer.configArea[14] = static_cast<std::uint8_t>(high);
    s.buffer.configArea[15] = static_cast<std::uint8_t>(low);
    RefreshIdConfigDisplay(s);
}

void OpenCellEditor(Session& s, bool cellVisible) {
    auto& g = s.grid;
    HideGridEditors(s);
    if (!cellVisible || s.device.name.empty() || !validDataRow(g, g.currentRow))
        return;
    const std::string key = cellText(g, g.currentRow, 0);
    const bool calibration = IsCalibrationKey(key);
    if (calibration) {
        g.editorText = cellText(g, g.currentRow, 1);
    } else {
        g.comboItems.clear();
        for (const auto& row : s.device.rows)
            if (row[0] == key)
                g.comboItems.push_back(row[1]);
        g.comboText = cellText(g, g.currentRow, 1);
    }
    g.currentCol = 1;
    g.textVisible = calibration;
    g.comboVisible = !calibration;
    s.ui.viewChanged();
    ShowSettingHelp(s);
}

void CommitCellEditor(Session& s) {
    auto& g = s.grid;
    if (!g.armed) {
        g.armed = true;
        return;
    }
    // The header row is never an editor's cell.
    if (!validDataRow(g, g.currentRow))
        return;
    auto& row = g.cells[static_cast<std::size_t>(g.currentRow)];
    if (IsCalibrationKey(row[0])) {
        g.editorText = padCalibration(g.editorText);
        row[1] = g.editorText;
        g.currentCol = 0;
    } else if (!g.comboText.empty()) {
        row[1] = g.comboText;
    }
    s.ui.viewChanged();
}

void ShowSettingHelp(Session& s) {
    const std::string key = cellText(s.grid, s.grid.currentRow, 0);
    for (const auto& help : s.db.settingHelp)
        if (help.key == key)
            ShowNote(s, help.text1, help.text2);
}

void GridCellChanged(Session& s, int row, int col, bool cellVisible) {
    if (RefuseWhileBusy(s) || RefuseWhileLocked(s))
        return;
    CommitCellEditor(s);
    s.grid.currentRow = row;
    s.grid.currentCol = col;
    OpenCellEditor(s, cellVisible);
}

void ComboOptionChosen(Session& s, const std::string& option) {
    if (RefuseWhileBusy(s) || RefuseWhileLocked(s))
        return;
    s.grid.comboText = option;
    CommitCellEditor(s);
    ConfigFromGrid(s);
}

void CommitCalibration(Session& s) {
    if (RefuseWhileBusy(s) || RefuseWhileLocked(s))
        return;
    auto& g = s.grid;
    g.editorText = padCalibration(g.editorText);
    if (validDataRow(g, g.currentRow))
        g.cells[static_cast<std::size_t>(g.currentRow)][1] = g.editorText;
    // A value the user changed stands in for chips whose own is lost; the
    // box left as it was keeps the database's default, which does not.
    const std::string& calib = s.buffer.calibText;
    const int value = ParseNumber("0x" + g.editorText);
    if (g.editorText != calib.substr(calib.size() >= 2 ? calib.size() - 2 : 0) && value >= 0 && value <= 0xFF)
        s.ops.keptCalibration = CalibrationInstruction(Traits(s.device.family), value);
    s.buffer.calibText = calib.substr(0, 8) + g.editorText;
    s.ui.viewChanged();
}

void BandGapTyped(Session& s, const std::string& text) {
    if (RefuseWhileLocked(s))
        return;
    s.view.bandGapText = text;
    if (const auto bandGap = ParseBandGapValue(text))
        s.ops.keptBandGap = bandGap;
}

void CommitIdText(Session& s, const std::string& typed) {
    if (RefuseWhileBusy(s) || RefuseWhileLocked(s))
        return;
    std::string text = typed;
    if (text.size() < 4)
        text.insert(0, 4 - text.size(), '0');
    s.view.idText = text;
    if (text != "FFFF") {
        const FamilyTraits& family = Traits(s.device.family);
        for (int k = 0; k < 4; ++k) {
            // The key filter admits hex digits only; anything else reads as 0.
            const int digit = std::max(0, ParseNumber(std::string("0x") + text[static_cast<std::size_t>(k)])) & 0x0F;
            if (family.fourteenBit()) {
                s.buffer.configArea[2 * k] = 0x3F;
                s.buffer.configArea[2 * k + 1] = static_cast<std::uint8_t>(0xF0 | digit);
            } else if (family.twelveBit()) {
                s.buffer.configArea[2 * k] = 0;
                s.buffer.configArea[2 * k + 1] = static_cast<std::uint8_t>(digit);
            }
        }
    }
    s.ui.viewChanged();
}

void ShowIdNote(Session& s) { ShowNote(s, "ＩＤ番号の表示。変更するときは４桁の16進数を入力します。", ""); }

bool HexKeyFilter(std::string& text, int& selStart, int& selLength, char key, int maxLength) {
    const int size = static_cast<int>(text.size());
    selStart = std::clamp(selStart, 0, size);
    selLength = std::clamp(selLength, 0, size - selStart);
    if (key == 8) {
        if (selStart == 0)
            return false;
        text.erase(static_cast<std::size_t>(selStart - 1), 1);
        --selStart;
        return true;
    }
    if (key >= 'a' && key <= 'f')
        key = static_cast<char>(key - 'a' + 'A');
    if (!isHexDigit(key) || size - selLength + 1 > maxLength)
        return false;
    text.replace(static_cast<std::size_t>(selStart), static_cast<std::size_t>(selLength), 1, key);
    ++selStart;
    selLength = 0;
    return true;
}

std::string HexFieldText(const std::string& text, int maxLength) {
    std::string admitted;
    int start = 0;
    int length = 0;
    for (const char c : text) {
        if (c != 8)  // a Backspace character is no key here
            HexKeyFilter(admitted, start, length, c, maxLength);
    }
    return admitted;
}

}  // namespace vx
