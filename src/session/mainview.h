// The main window's visible state. The core owns and changes it, then calls
// Ui::viewChanged(); the Qt window only draws it. Tests assert on it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vx {

// Colours are 0xRRGGBB. The system's button face has no fixed value.
constexpr std::uint32_t kColourBlack = 0x000000;
constexpr std::uint32_t kColourRed = 0xFF0000;
constexpr std::uint32_t kColourWhite = 0xFFFFFF;
constexpr std::uint32_t kColourYellow = 0xFFFF00;
constexpr std::uint32_t kColourDisabled = 0xC0C0C0;
constexpr std::uint32_t kColourButtonFace = 0xFF000000;  // sentinel: palette's button colour

struct LabelView {
    std::string caption;
    std::uint32_t backColour = kColourButtonFace;
    bool visible = true;
};

struct MenuEntryView {
    std::string caption;  // only for entries whose caption changes (history)
    bool checked = false;
    bool enabled = true;
    bool visible = true;
};

struct TextBoxView {
    std::string text;
    std::uint32_t backColour = kColourWhite;
    bool enabled = true;
    bool visible = true;
    int heightTwips = 0;  // 0 = as laid out
};

// The socket and jumper picture of the board information window.
struct BoardWindowView {
    bool visible = false;
    std::string package;  // "8", "18", "28", "28A", "40" or "" (no outline)
    std::string jumper;   // "1-2", "2-3", "NON" or ""
};

struct MainView {
    std::string title;

    std::string note;  // LabelCmt caption
    std::uint32_t noteColour = kColourBlack;
    // What the file loaded last holds, one line under the note ("" = none).
    std::string hexSummary;  // Label_hexSummary
    std::uint32_t hexSummaryColour = kColourBlack;

    bool progressVisible = false;  // P_Bar and Lbl_Persent
    int progressMin = 0;
    int progressMax = 100;
    int progressValue = 0;
    std::string percentText;

    LabelView firmwareLabel;  // Label_FirmwareVersion
    LabelView verLabel;       // Label_Ver
    LabelView checksumLabel;  // LblCheckSUM
    LabelView calibLabel{"", kColourButtonFace, false};  // Label_calib_check
    LabelView pmSizeLabel;    // Label_pm_size
    LabelView edSizeLabel;    // Label_ed_size
    bool eepromHeadingVisible = true;  // Label4

    TextBoxView programMemory;  // RichTxtPgmMem
    TextBoxView eeprom;         // rText_EepromMem
    std::string idText;         // Text_ID
    std::string configText;     // Text_Config caption
    std::string bandGapText = "3";  // Txt_12F_BG_data
    std::string osccalHiText;   // Txt_12F_OSCCAL_data_HI
    std::string osccalLoText;   // Txt_12F_OSCCAL_data_LO
    // The two lines (Label1) of the overwrite question frmHint.
    std::string hintLine0;
    std::string hintLine1;

    std::vector<std::string> deviceList;  // Combo_device, file order
    int deviceIndex = -1;

    std::string programButtonCaption = "プログラム(&P)";  // Command_pogram
    bool busy = false;  // a board command runs: the others are refused
    std::string busyNote;  // the refusal's note while busy; "" = the board's
    bool productionLocked = false;  // the operator's screen is open: what Program writes stays put

    // Menu entries by object name (mnuBlankSkip, nmuFile1, ...).
    std::map<std::string, MenuEntryView> menus;

    BoardWindowView board;

    // Object name of the widget that should take the input focus; the window
    // moves the focus there once and empties it.
    std::string focusRequest;
};

}  // namespace vx
