#include "app/startup.h"

#include <ctime>
#include <filesystem>

#include "base/convert.h"
#include "base/settings.h"
#include "device/devicedb.h"
#include "image/grid.h"
#include "image/history.h"
#include "image/pcbufferquery.h"
#include "image/selection.h"
#include "link/comport.h"
#include "ops/detect.h"
#include "ops/oplog.h"
#include "session/status.h"

namespace vx {

namespace {

const char* const kFirstRunNote =
    "初めての起動なので、COM1 を内蔵のシミュレーションボード（sim）に割り当てました。\r\n"
    "実際のライターを使うときは、メニューバーの [オプション] から [ＣＯＭポート設定] を選択してポートを選んでください。";

// One separator at the end, also for the root folder.
std::string withOneSeparator(std::string folder) {
    while (!folder.empty() && folder.back() == '/')
        folder.pop_back();
    return folder + '/';
}

void setMark(Session& s, const char* entry, const std::optional<bool>& mark) {
    if (mark)
        s.view.menus[entry].checked = *mark;
}

}  // namespace

std::string VersionLabel() {
    return "Ver " + std::to_string(VORMEX_VERSION_MAJOR) + "." + std::to_string(VORMEX_VERSION_MINOR) + "." +
           std::to_string(VORMEX_VERSION_PATCH);
}

namespace {

std::string localTime(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    const std::size_t n = std::strftime(text, sizeof text, format, &local);
    return std::string(text, n);
}

}  // namespace

std::string LocalTimeStamp() { return localTime("%Y/%m/%d %H:%M:%S"); }

std::string LocalTimeOfDay() { return localTime("%H:%M:%S"); }

namespace {

// The command-line option, AppDir, the title and the hidden menu entries.
void startShell(Session& s, const std::string& commandLine) {
    const auto args = SplitCommandLine(commandLine, 10);
    s.run.commandOption = args.empty() ? "" : LowerCase(args.front());

    s.run.appDir = withOneSeparator(s.run.appDir);
    s.run.titleBase = "Vormex V3 " + VersionLabel() + "  ";
    s.view.title = s.run.titleBase;
    // Shown only once the About window's icon has been clicked.
    s.view.menus["mnuSerialPgmSetting"].visible = false;
    s.view.menus["nmuI"].visible = false;
    s.ui.viewChanged();
    s.ui.processEvents();

    HistoryRestore(s);
    setMark(s, "mnuBoardInfomation", SettingBool(s.settings, "mnuBoardInfomation", true));
    s.ui.viewChanged();
    s.ui.processEvents();
}

// The device list and the grid; false when device.ini cannot be used.
bool readDeviceDatabase(Session& s) {
    if (!LoadDeviceList(s)) {
        s.ui.viewChanged();
        return false;
    }
    InitSettingGrid(s);
    s.view.verLabel.caption = "device.ini : Ver " + s.db.deviceIniVersion;
    s.ui.viewChanged();
    s.ui.processEvents();
    return true;
}

// The saved port and the board on it, else the port window. The very first
// start runs on the simulated board, so that everything can be tried at once;
// the note at the end says how to choose the real board. True on that start.
bool openSavedPort(Session& s) {
    const bool firstRun = s.settings.isEmpty();
    if (firstRun) {
        s.settings.setValue("ComNo", "1");
        s.settings.setValue(ComDeviceKey(1), kSimPortName);
    }
    if (const auto port = SettingInt(s.settings, "ComNo", 0)) {
        s.link.portNumber = static_cast<int>(*port);
        if (*port != 0) {
            s.view.firmwareLabel.caption = "COM" + std::to_string(*port) + " ライター未接続";
            s.ui.viewChanged();
            DetectBoard(s);
        } else {
            s.ui.showPortWindow();
        }
    }
    s.ui.processEvents();
    return firstRun;
}

// The saved device, the option marks, the log and the tool. Each step runs
// whatever happened to the one before.
void restoreDeviceAndOptions(Session& s, const std::function<std::string()>& startStamp) {
    if (const auto index = SettingInt(s.settings, "deviceNew", 0))
        SelectDeviceIndex(s, static_cast<int>(*index));
    s.view.checksumLabel.caption = PcBufferChecksum(s);
    s.view.idText = "FFFF";
    s.buffer.idText = "FFFF";
    setMark(s, "mnuBlankSkip", SettingBool(s.settings, "SkipMode", false));
    UpdateProgramButtonCaption(s);
    const auto commMode = SettingBool(s.settings, "mnuComMode1", false);
    setMark(s, "mnuComMode1", commMode);
    setMark(s, "mnuKeepEeprom", SettingBool(s.settings, "KeepEeprom", false));
    setMark(s, "mnuWatchHex", SettingBool(s.settings, "WatchHex", false));
    setMark(s, "mnuAutoProgram", SettingBool(s.settings, "AutoProgram", false));
    if (commMode)
        s.link.commMode1 = *commMode;
    RotateLog(s, startStamp());
    s.run.asmToolPath = SettingText(s.settings, "AsmFilePathWithFileName");
    s.view.title = s.run.titleBase + SettingText(s.settings, "OPEN_DIR0");
}

}  // namespace

bool Startup(Session& s, const std::string& commandLine, const std::function<std::string()>& startStamp) {
    startShell(s, commandLine);
    if (!readDeviceDatabase(s))
        return false;
    const bool firstRun = openSavedPort(s);
    restoreDeviceAndOptions(s, startStamp);

    // The board window is shown at every start, whatever its menu mark says.
    s.view.board.visible = false;
    s.ui.viewChanged();
    s.ui.processEvents();
    s.view.board.visible = true;
    s.ui.viewChanged();
    if (firstRun)
        ShowNote(s, kFirstRunNote);
    return true;
}

void Shutdown(Session& s, const WindowPlacement& mainWindow) {
    if (s.link.port.isOpen())
        s.link.port.close();
    SaveWindowPosition(s.settings, "MainLeft", "MainTop", mainWindow);
    std::error_code ignored;
    std::filesystem::remove(s.run.appDir + "tav_vor_mex.txt", ignored);
    std::filesystem::remove(s.run.appDir + "dis_asm.asm", ignored);
}

}  // namespace vx
