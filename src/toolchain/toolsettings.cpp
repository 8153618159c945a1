#include "toolchain/toolsettings.h"

#include <algorithm>
#include <filesystem>

#include "base/convert.h"
#include "base/settings.h"

namespace vx {

const char* const ToolSettings::kInformation =
    "メニューバー【HEXファイルの再生成とロード】をクリックしたとき・・・・・\r\n"
    "HEXファイルが、すでにロードされているときは、HEXファイルと同じファイル名で拡張子がASM/Cのファイルをアセンブル・コンパイルします。"
    "HEXファイルがロードされていないときは、ダイアログが現れるのでソースファイルを指定します。\r\n"
    "\r\n"
    "サポートプログラム\r\n"
    "アセンブラ　：　gpasm (gputils) , その他\r\n"
    "コンパイラ　：　sdcc\r\n"
    "エラー時のファイル　：　デスクトップのテキストエディタ、または拡張子に関連付けられたアプリケーション\r\n"
    "\r\n";

namespace {

const char* const kNotATool = "アセンブラ、または、コンパイラを指定してください。";

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return "";
    return slash == 0 ? "/" : path.substr(0, slash);
}

const char* boolText(bool value) { return value ? "True" : "False"; }

// The options box's default, mpasmwin's quiet mode.
const char* const kWindowsDefaultOption = "/q";

// The tool's file name in lower case, without ".exe".
std::string toolName(const std::string& toolPath) {
    std::string name = LowerCase(toolPath.substr(toolPath.rfind('/') + 1));
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0)
        name.resize(name.size() - 4);
    return name;
}

}  // namespace

// gpasm: the HEX format mpasmwin writes, and every message kept (its own
// "-q" would silence what the build's error file keeps). sdcc: the 14-bit
// back end; the part is added at each build (ToolArguments).
std::string ToolOwnOptions(const std::string& toolPath) {
    const std::string name = toolName(toolPath);
    if (name == "gpasm")
        return "-a inhx8m";
    return name == "sdcc" ? "-mpic14" : "";
}

ToolSettings::ToolSettings(Session& s) : s_(s), savedToolPath_(s.run.asmToolPath) {
    asmPath = s.run.asmToolPath;
    notepad = SettingBool(s.settings, "EditerA", true).value_or(true);
    if (SettingBool(s.settings, "EditerB", false).value_or(false)) {
        associated = true;
        notepad = false;
    }
    ccscDeviceInfo = SettingInt(s.settings, "CCSC_option", 0).value_or(0) != 0;
    // Filling the two boxes counts as an edit, so closing at once stores them.
    // Nothing stored: the options the build gives the tool, so the box
    // shows what is used.
    const std::string own = ToolOwnOptions(asmPath);
    setOption(SettingText(s.settings, "AsmOption", own.empty() ? kWindowsDefaultOption : own));
    setAfterFile(SettingText(s.settings, "AsmAfter", "lst"));
    changeFlag = !option.empty() || !afterFile.empty();
}

void ToolSettings::setOption(const std::string& text) {
    option = text;
    changeFlag = true;
}

void ToolSettings::setAfterFile(const std::string& text) {
    afterFile = text;
    changeFlag = true;
}

void ToolSettings::chooseNotepad() {
    notepad = true;
    associated = false;
    changeFlag = true;
}

void ToolSettings::chooseAssociated() {
    associated = true;
    notepad = false;
    changeFlag = true;
}

void ToolSettings::setCcscDeviceInfo(bool on) {
    ccscDeviceInfo = on;
    changeFlag = true;
}

bool ToolSettings::isToolFile(const std::string& path) {
    const std::string name = LowerCase(path);
    if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".exe") == 0)
        return true;
    namespace fs = std::filesystem;
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (ec || !fs::is_regular_file(status))
        return false;
    const auto exec = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
    return (status.permissions() & exec) != fs::perms::none;
}

void ToolSettings::chooseTool() {
    FileDialogRequest request;
    request.title = "アセンブラ・コンパイラの場所を指定してください。";
    request.startDir = SettingText(s_.settings, "AsmFilePath");
#ifdef _WIN32
    request.filter = "EXEファイル|*.EXE|全てのファイル|*.*";
#else
    // Executables have no extension here: every file is shown first.
    request.filter = "全てのファイル|*|EXEファイル|*.EXE";
#endif
    if (const auto chosen = s_.ui.openFileDialog(request))
        takeTool(*chosen);
}

void ToolSettings::typeTool(const std::string& path) {
    const std::string typed = TrimBlanks(path);
    if (typed != asmPath)
        takeTool(typed);
}

void ToolSettings::takeTool(const std::string& path) {
    if (!isToolFile(path)) {
        // The refused file is neither kept nor stored by a later close.
        s_.run.asmToolPath = chosenTool_.empty() ? savedToolPath_ : chosenTool_;
        s_.ui.messageBox(MsgIcon::None, "", kNotATool);
        changeFlag = false;
        return;
    }
    if (TrimBlanks(option) == kWindowsDefaultOption) {
        if (const std::string own = ToolOwnOptions(path); !own.empty())
            setOption(own);
    }
    s_.run.asmToolPath = path;
    chosenTool_ = path;
    asmPath = path;
    changeFlag = true;
}

void ToolSettings::close() {
    if (!changeFlag) {
        s_.run.asmToolPath = savedToolPath_;
        return;
    }
    if (!chosenTool_.empty()) {
        s_.settings.setValue("AsmFilePathWithFileName", chosenTool_);
        s_.settings.setValue("AsmFilePath", folderOf(chosenTool_));
    }
    s_.settings.setValue("AsmOption", option);
    s_.settings.setValue("AsmAfter", afterFile);
    s_.settings.setValue("EditerA", boolText(notepad));
    s_.settings.setValue("EditerB", boolText(associated));
    s_.settings.setValue("CCSC_option", ccscDeviceInfo ? "1" : "0");
    changeFlag = false;
}

void ToolSettings::cancel() { s_.run.asmToolPath = savedToolPath_; }

std::optional<std::vector<std::string>> ToolArguments(const std::string& toolPath, const std::string& options,
                                                      const std::string& deviceName) {
    auto args = SplitShellWords(options);
    if (!args || toolName(toolPath) != "sdcc")
        return args;
    const auto processor = [](const std::string& arg) { return arg.size() > 2 && arg.rfind("-p", 0) == 0; };
    const std::string part = LowerCase(deviceName);
    if (part.rfind("pic", 0) == 0 && part.size() > 3 && std::none_of(args->begin(), args->end(), processor))
        args->push_back("-p" + part.substr(3));
    return args;
}

}  // namespace vx
