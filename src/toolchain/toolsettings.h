// The assembler/compiler settings window (frmMPASMWIN): its fields, the
// change flag and what closing stores.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "session/session.h"

namespace vx {

class ToolSettings {
public:
    // Opening: the fields from the settings; remembers AsmToolPath.
    explicit ToolSettings(Session& s);

    static const char* const kInformation;  // the fixed text of the information frame

    // Edits and clicks; each sets the change flag.
    void setOption(const std::string& text);     // txtAsmOption
    void setAfterFile(const std::string& text);  // Text_After_File
    void chooseNotepad();                        // Option_Notopad
    void chooseAssociated();                     // Option_Editer
    void setCcscDeviceInfo(bool on);             // Check_ccsc_device_info

    void chooseTool();  // cmdOpenAsm
    // A path typed into txtAsmPath: taken, or refused, as if chosen with 開く.
    void typeTool(const std::string& path);
    void close();       // OKButton "閉じる"
    void cancel();      // CancelButton "ｷｬﾝｾﾙ"

    // True for a file name ending in ".exe" (any case) or a regular file the
    // user may execute.
    static bool isToolFile(const std::string& path);

    std::string asmPath;     // txtAsmPath
    std::string option;      // txtAsmOption
    std::string afterFile;   // Text_After_File
    bool notepad = false;    // Option_Notopad
    bool associated = false; // Option_Editer
    bool ccscDeviceInfo = false;
    bool changeFlag = false;  // Change_flag

private:
    void takeTool(const std::string& path);

    Session& s_;
    std::string savedToolPath_;  // TP_AsmFilePath
    std::string chosenTool_;     // an accepted choice of this opening, "" = none
};

// What gpasm and sdcc take where mpasmwin takes "/q", "" for other tools:
// their options when none are stored.
std::string ToolOwnOptions(const std::string& toolPath);

// The tool's arguments before the source file: the options split as a shell
// would, without one (nullopt when their quotes do not close). sdcc without a
// processor option gets the selected device's ("-p16f84a" for PIC16F84A) at
// each build, so that the options follow the device.
std::optional<std::vector<std::string>> ToolArguments(const std::string& toolPath, const std::string& options,
                                                      const std::string& deviceName);

}  // namespace vx
