#include "app/portselect.h"

#include "app/settings.h"
#include "app/shell.h"
#include "link/detect.h"

namespace vx {

int PortWindowModel::chosen() const {
    int number = 0;
    for (int i = 0; i < kMaxComPort; ++i)
        if (selected[static_cast<std::size_t>(i)])
            number = i + 1;
    return number;
}

std::string PortWindowModel::chosenPath() const {
    const int n = chosen();
    return n == 0 ? std::string() : paths[static_cast<std::size_t>(n - 1)];
}

void PortWindowModel::setChosenPath(const std::string& path) {
    if (const int n = chosen())
        paths[static_cast<std::size_t>(n - 1)] = path;
}

void PortWindowLoad(Session& s, PortWindowModel& model) {
    ShowNote(s, "", "");
    model.selected.fill(false);
    const long saved = SettingInt(s.settings, "ComNo", 0).value_or(0);
    s.link.portNumber = saved >= 0 && saved <= kMaxComPort ? static_cast<int>(saved) : 0;
    if (s.link.portNumber != 0)
        model.selected[static_cast<std::size_t>(s.link.portNumber - 1)] = true;
    for (int n = 1; n <= kMaxComPort; ++n)
        model.paths[static_cast<std::size_t>(n - 1)] = PortDevicePath(s, n);
}

bool PortWindowOk(Session& s, const PortWindowModel& model) {
    if (s.link.IsOpen())
        s.link.Close();
    if (model.chosen() != 0)
        s.link.portNumber = model.chosen();
    const int n = s.link.portNumber;
    // The path of a number that is not selected is the saved one.
    const std::string path = model.chosen() != 0 ? model.chosenPath() : PortDevicePath(s, n);
    const bool opened = n != 0 && !path.empty() && s.link.Open(path) == PortOpenResult::Ok;
    const std::string com = "COM" + std::to_string(n);
    if (!opened) {
        ShowBoardNotFound(s);
        s.ui.messageBox(MsgIcon::Critical, com + "　エラー",
                        "　　" + com + "　オープンに失敗しました。　　　　　\r" +
                            (path.empty() ? std::string() : "　　（" + path + "）\r") +
                            "\r　　他のポート番号を指定してください。　　　　　");
        return false;
    }
    ShowNote(s, com + "を選択しました。");
    s.settings.setValue("ComNo", std::to_string(n));
    // The default name needs no setting; any other is kept for this number.
    if (path != PortDevicePath(s, n))
        s.settings.setValue(ComDeviceKey(n), path);
    return true;
}

void PortWindowCancel(Session& s) {
    if (s.link.portNumber == 0)
        ShowNote(s, "通信ポートを選択しませんでした。");
}

std::string PortDevicePath(const Session& s, int comNumber) { return ComDevicePath(s.settings, comNumber); }

std::vector<std::string> PortDeviceChoices(const std::vector<std::string>& systemPorts) {
    std::vector<std::string> choices = systemPorts;
    choices.push_back(kSimPortName);
    return choices;
}

void PortSettingsCommand(Session& s) {
    if (RefuseWhileBusy(s))
        return;
    s.ui.showPortWindow();
    if (s.link.portNumber != 0)
        DetectBoard(s);
}

void ReleasePort(Session& s) {
    if (RefuseWhileBusy(s))
        return;
    if (s.link.IsOpen())
        s.link.Close();
    // Another program may take the port now: the board is found again only
    // by the next search.
    ShowBoardNotFound(s);
    ShowNote(s, "通信ポートを開放しました。");
}

}  // namespace vx
