// The small main-menu commands and status-label notes: the three check-mark
// options, the information box, help and the device index.
#pragma once

#include <string>
#include <vector>

#include "session/session.h"

namespace vx {

void ToggleBlankSkip(Session& s);         // mnuBlankSkip
void ToggleCommMode1(Session& s);         // mnuComMode1
void ToggleBoardInformation(Session& s);  // mnuBoardInfomation
// Program leaves the chip's EEPROM as it is; setting "KeepEeprom".
void ToggleKeepEeprom(Session& s);        // mnuKeepEeprom
// A check mark kept in the settings under key as "-1" or "0".
void ToggleStoredMark(Session& s, const char* entry, const char* key);

std::string InformationText();
void ShowInformation(Session& s);  // info

// Notes shown when a status label is clicked.
void ExplainFirmwareLabel(Session& s);  // Label_FirmwareVersion
void ExplainVersionLabel(Session& s);   // Label_Ver
void ExplainChecksumLabel(Session& s);  // LblCheckSUM
// Label_FirmwareVersion double-clicked: the board search.
void SearchBoardFromLabel(Session& s);
// exit: closes the port; true when the main window may close.
bool ExitRequested(Session& s);

// The About window's texts.
struct AboutText {
    std::string caption;      // the title + "のﾊﾞｰｼﾞｮﾝ情報"
    std::string title;        // lblTitle
    std::string description;  // lblDescription
    std::string version;      // lblVersion, "Ver " + major.minor.revision
    std::string disclaimer;   // lblDisclaimer, the support page
};
AboutText AboutWindowText();

// The About window's icon: shows mnuSerialPgmSetting and the separator nmuI.
void RevealSerialProgramming(Session& s);

// The manual at its contents page in the help window, or a note when missing.
void OpenHelp(Session& s);  // mnuHelp

}  // namespace vx
