#include "session/status.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace vx {

namespace {
const char* const kSelectDevice = "MCUを選んでください。";
const char* const kBusyRefusal = "ライターと通信中です。終わってからもう一度操作してください。";

const char* const kRefusedWhileBusy[] = {
    // The board and the port.
    "Command_pogram", "Command_read", "Command_Vrify", "Command_blank", "mnuDevice_clear", "mnuDeviceId", "Command_com", "confirm",
    "Command_OPEN", "Label_FirmwareVersion",
    // The device and the image the command is writing or filling.
    "Combo_device", "mnuFileOpen", "Cmd_open", "nmuFile1", "nmuFile2", "nmuFile3", "nmuFile4", "nmuFile5",
    "mnuPcBufferMemoryClear", "mnuRELOAD", "mnuASMwithRELOAD", "mnuSourceOpen", "HFGrid1", "CmbInit", "TxtInit", "Text_ID",
    "Txt_12F_BG_data", "ChkSettingEnable",
    // Saving an image a Read is still filling.
    "mnuFileSave", "Cmd_save",
    // Ending the program under the command.
    "exit"};

const char* const kLockedRefusal = "生産モード中は変更できません。生産モードを終了してから操作してください。";

const char* const kRefusedWhileLocked[] = {
    // The device and the image (a Read makes the chip's the image).
    "Command_read", "Combo_device", "mnuFileOpen", "Cmd_open", "nmuFile1", "nmuFile2", "nmuFile3", "nmuFile4", "nmuFile5",
    "mnuPcBufferMemoryClear", "mnuRELOAD", "mnuASMwithRELOAD", "mnuSourceOpen", "mnuWatchHex", "mnuKeepEeprom",
    // The configuration word, the ID and the band-gap bits.
    "HFGrid1", "CmbInit", "TxtInit", "Text_ID", "Txt_12F_BG_data",
    // The serialization window: its settings, its run and closing it (which switches it off).
    "ChkSettingEnable", "TxtDataStart", "TxtDataIncrement", "TxtDataFinsh", "Option_Dec", "Option_Hex",
    "TxtStartAddress", "TxtWriteByteNumber", "CmbWriteMode", "CmdSqtpList", "CmdExportRun", "CmdImportRun",
    "TxtOperator", "Command1", "OKButton", "CmdProductionPin",
    "exit"};

template <std::size_t N>
bool listed(const char* const (&names)[N], const std::string& command) {
    return std::find(std::begin(names), std::end(names), command) != std::end(names);
}
}

bool CheckDeviceSelected(Session& s) {
    if (!s.device.name.empty())
        return true;
    ShowNote(s, kSelectDevice, "");
    s.ui.messageBox(MsgIcon::Warning, "ｲﾝﾌｫﾒｰｼｮﾝ", kSelectDevice);
    s.view.focusRequest = "Combo_device";
    s.ui.viewChanged();
    return false;
}

void ShowNote(Session& s, const std::string& message, const std::string& suffix) {
    ShowNote(s, Tone::Normal, message, suffix);
}

void ShowNote(Session& s, Tone tone, const std::string& message, const std::string& suffix) {
    const bool red = tone == Tone::Alert || message.rfind("<<注意>>", 0) == 0;
    s.view.note = message + " " + suffix;
    s.view.noteColour = red ? kColourRed : kColourBlack;
    s.ui.viewChanged();
}

void ShowProgress(Session& s, bool on, int min, int max, int value) {
    bool changed = false;
    if (!on || value == max) {
        changed = s.view.progressVisible;
        s.view.progressVisible = false;
    }
    const double step = max / 100.0;
    if (on && max / 100 != 0) {
        const long rounded = std::lrint(step);  // round half to even, as the original Mod did
        if (rounded != 0 && value % rounded == 0) {
            s.view.progressMin = min;
            s.view.progressMax = max;
            s.view.progressValue = value;
            s.view.percentText = std::to_string(static_cast<long long>(value) * 100 / max) + "%";
            s.view.progressVisible = true;
            changed = true;
        }
    }
    if (changed) {
        s.ui.viewChanged();
        s.ui.processEvents();
    }
}

void UpdateProgramButtonCaption(Session& s) {
    auto& skip = s.view.menus["mnuBlankSkip"];
    s.view.programButtonCaption = skip.checked ? "プログラム(&P) (ﾌﾞﾗﾝｸﾁｪｯｸｽｷｯﾌﾟﾓｰﾄﾞ)" : "プログラム(&P)";
    const std::string prefix = s.device.name.substr(0, 6);
    if (prefix == "PIC16F" || prefix == "PIC12F") {
        skip.enabled = true;
    } else {
        skip.enabled = false;
        s.view.programButtonCaption = "プログラム(&P)";
    }
    s.ui.viewChanged();
}

void ClearDeviceFields(Session& s) {
    s.view.programMemory.backColour = kColourWhite;
    s.view.programMemory.enabled = true;
    s.view.programMemory.text.clear();
    s.view.eeprom.backColour = kColourWhite;
    s.view.eeprom.text.clear();
    s.view.idText.clear();
    s.view.configText.clear();
    s.view.pmSizeLabel.caption.clear();
    s.view.edSizeLabel.caption.clear();
    s.ui.viewChanged();
}

bool IsRefusedWhileBusy(const MainView& view, const std::string& command) {
    return view.busy && listed(kRefusedWhileBusy, command);
}

bool IsRefusedWhileLocked(const MainView& view, const std::string& command) {
    return view.productionLocked && listed(kRefusedWhileLocked, command);
}

bool IsCommandRefused(const MainView& view, const std::string& command) {
    return IsRefusedWhileBusy(view, command) || IsRefusedWhileLocked(view, command);
}

bool RefuseWhileLocked(Session& s) {
    if (!s.view.productionLocked)
        return false;
    ShowNote(s, Tone::Alert, kLockedRefusal);
    return true;
}

bool RefuseWhileBusy(Session& s) {
    if (!s.view.busy)
        return false;
    ShowNote(s, Tone::Alert, s.view.busyNote.empty() ? kBusyRefusal : s.view.busyNote);
    return true;
}

void MarkRunning(Session& s, bool running, const std::string& note) {
    s.view.busy = running;
    s.view.busyNote = running ? note : "";
    s.ui.viewChanged();
}

void SetBusy(Session& s, bool busy) {
    s.view.busy = busy;
    s.ui.setBusy(busy);
    s.ui.viewChanged();
}

BusyMark::~BusyMark() {
    if (hourglass_) {
        SetBusy(s_, false);
    } else if (set_) {
        s_.view.busy = false;
        s_.ui.viewChanged();
    }
}

void BusyMark::set() {
    s_.view.busy = true;
    s_.ops.linkFault = false;
    s_.ui.viewChanged();
    set_ = true;
}

void BusyMark::hourglass() {
    SetBusy(s_, true);
    hourglass_ = true;
}

CommandStart StartDeviceCommand(Session& s, BusyMark* mark) {
    if (RefuseWhileBusy(s))
        return CommandStart::Busy;
    if (mark)
        mark->set();
    return CheckDeviceSelected(s) ? CommandStart::Go : CommandStart::NoDevice;
}

}  // namespace vx
