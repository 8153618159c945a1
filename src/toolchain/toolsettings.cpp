#include "toolchain/toolsettings.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "app/settings.h"

namespace vx {

const char* const ToolSettings::kInformation =
    "メニューバー【HEXファイルの再生成とロード】をクリックしたとき・・・・・\r\n"
    "HEXファイルが、すでにロードされているときは、HEXファイルと同じファイル名で拡張子がASM/Cのファイルをアセンブル・コンパイルします。"
    "HEXファイルがロードされていないときは、ダイアログが現れるのでソースファイルを指定します。\r\n"
    "\r\n"
    "サポートプログラム\r\n"
    "アセンブラ　：　mpasmwin.exe , その他\r\n"
    "コンパイラ　：　picc.exe , ccsc.exe\r\n"
    "\r\n"
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

}  // namespace

ToolSettings::ToolSettings(Session& s) : s_(s), savedToolPath_(s.run.asmToolPath) {
    asmPath = s.run.asmToolPath;
    notepad = SettingBool(s.settings, "EditerA", true).value_or(true);
    if (SettingBool(s.settings, "EditerB", false).value_or(false)) {
        associated = true;
        notepad = false;
    }
    ccscDeviceInfo = SettingInt(s.settings, "CCSC_option", 0).value_or(0) != 0;
    // Filling the two boxes counts as an edit, so closing at once stores them.
    setOption(SettingText(s.settings, "AsmOption", "/q"));
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
    std::string name = path;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
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
    request.filter = "EXEファイル|*.EXE|全てのファイル|*.*";
    const auto chosen = s_.ui.openFileDialog(request);
    if (!chosen)
        return;
    if (!isToolFile(*chosen)) {
        // The refused file is neither kept nor stored by a later close.
        s_.run.asmToolPath = chosenTool_.empty() ? savedToolPath_ : chosenTool_;
        s_.ui.messageBox(MsgIcon::None, "", kNotATool);
        changeFlag = false;
        return;
    }
    s_.run.asmToolPath = *chosen;
    chosenTool_ = *chosen;
    asmPath = *chosen;
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

}  // namespace vx
