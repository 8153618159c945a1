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

void PortWindowLoad(Session& s, PortWindowModel& model) {
    ShowNote(s, "", "");
    model.selected.fill(false);
    const long saved = SettingInt(s.settings, "ComNo", 0).value_or(0);
    s.link.portNumber = saved >= 0 && saved <= kMaxComPort ? static_cast<int>(saved) : 0;
    if (s.link.portNumber != 0)
        model.selected[static_cast<std::size_t>(s.link.portNumber - 1)] = true;
}

bool PortWindowOk(Session& s, const PortWindowModel& model) {
    if (s.link.IsOpen())
        s.link.Close();
    if (model.chosen() != 0)
        s.link.portNumber = model.chosen();
    const int n = s.link.portNumber;
    const std::string path = ComDevicePath(s.settings, n);
    const bool opened = !path.empty() && s.link.Open(path) == PortOpenResult::Ok;
    const std::string com = "COM" + std::to_string(n);
    if (!opened || n == 0) {
        s.link.boardFound = false;
        s.ui.messageBox(MsgIcon::Critical, com + "　エラー",
                        "　　" + com + "　オープンに失敗しました。　　　　　\r\r"
                        "　　他のポート番号を指定してください。　　　　　");
        return false;
    }
    ShowNote(s, com + "を選択しました。");
    s.settings.setValue("ComNo", std::to_string(n));
    return true;
}

void PortWindowCancel(Session& s) {
    if (s.link.portNumber == 0)
        ShowNote(s, "通信ポートを選択しませんでした。");
}

std::string PortDevicePath(const Session& s, int comNumber) { return ComDevicePath(s.settings, comNumber); }

void SetPortDevicePath(Session& s, int comNumber, const std::string& path) {
    if (comNumber < 1 || comNumber > kMaxComPort || path.empty())
        return;
    if (path != PortDevicePath(s, comNumber))
        s.settings.setValue(ComDeviceKey(comNumber), path);
}

std::vector<std::string> PortDeviceChoices(const std::vector<std::string>& systemPorts) {
    std::vector<std::string> choices = systemPorts;
    choices.push_back(kSimPortName);
    return choices;
}

void PortSettingsCommand(Session& s) {
    s.ui.showPortWindow();
    if (s.link.portNumber != 0)
        DetectBoard(s);
}

void ReleasePort(Session& s) {
    if (s.link.IsOpen())
        s.link.Close();
    ShowNote(s, "通信ポートを開放しました。");
}

}  // namespace vx
