#include "app/portselect.h"

#include <algorithm>
#include <cctype>

#include "base/settings.h"
#include "link/protocol.h"
#include "ops/detect.h"
#include "session/status.h"

namespace vx {

namespace {

bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// "ttyS2" before "ttyS10": runs of digits compare by their value.
bool naturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            const auto number = [](const std::string& text, std::size_t& at) {
                while (at + 1 < text.size() && text[at] == '0' && isDigit(text[at + 1]))
                    ++at;
                const std::size_t start = at;
                while (at < text.size() && isDigit(text[at]))
                    ++at;
                return text.substr(start, at - start);
            };
            const std::string x = number(a, i);
            const std::string y = number(b, j);
            if (x.size() != y.size())
                return x.size() < y.size();
            if (x != y)
                return x < y;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

// The group that may read and write the device; "" when it cannot be told
// or the group's own bits would not let its members in either.
std::string usbDetail(const SystemPortInfo& port) {
    std::string detail;
    const auto add = [&detail](const std::string& part) {
        if (part.empty())
            return;
        if (!detail.empty())
            detail += " / ";
        detail += part;
    };
    add(port.description);
    add(port.manufacturer);
    add(port.serialNumber.empty() ? "" : "S/N " + port.serialNumber);
    return detail;
}

void chooseComOneWhenNone(PortWindowModel& model) {
    if (model.chosen() == 0)
        model.selected[0] = true;
}

}  // namespace

bool BoardAnswers(Session& s, std::string& firmwareId) {
    BoardLink& link = s.link;
    link.rawReplies = false;
    AskBoardIdentity(s);
    if (!link.WaitForBytes(protocol::kIdentifyReplyBytes, protocol::kIdentifyTimeoutMs))
        return false;
    firmwareId = link.ReadAllText().substr(0, protocol::kFirmwareIdChars);
    return firmwareId.rfind(protocol::kBoardSignature, 0) == 0;
}

std::vector<PortChoice> PortChoices(const std::vector<SystemPortInfo>& ports) {
    std::vector<SystemPortInfo> sorted = ports;
    std::stable_sort(sorted.begin(), sorted.end(), [](const SystemPortInfo& a, const SystemPortInfo& b) {
        if (a.byId.empty() != b.byId.empty())
            return !a.byId.empty();
        return naturalLess(a.device, b.device);
    });
    std::vector<PortChoice> choices;
    for (const auto& port : sorted)
        choices.push_back({port.byId.empty() ? port.device : port.byId, port.device, port.usb ? usbDetail(port) : ""});
    choices.push_back({kSimPortName, kSimPortName, "内蔵シミュレーションボード"});
    return choices;
}

int PortWindowModel::listedRow() const {
    const std::string path = chosenPath();
    if (path.empty())
        return -1;
    for (std::size_t i = 0; i < choices.size(); ++i)
        if (choices[i].path == path || choices[i].device == path)
            return static_cast<int>(i);
    return -1;
}

void ChooseListedPort(PortWindowModel& model, std::size_t row) {
    if (row >= model.choices.size())
        return;
    chooseComOneWhenNone(model);
    model.setChosenPath(model.choices[row].path);
}

std::string AutoDetectPort(Session& s, PortWindowModel& model) {
    if (s.link.IsOpen()) {
        s.link.Close();
        ShowBoardNotFound(s);
    }
    std::string denied;
    bool anyReal = false;
    // The list ends with the simulated board, which always answers: it is asked
    // only after every real port.
    for (const PortChoice& choice : model.choices) {
        const bool simulated = choice.device == kSimPortName;
        anyReal = anyReal || !simulated;
        s.ui.processEvents();
        const PortOpenResult opened = s.link.Open(choice.path);
        if (opened == PortOpenResult::PermissionDenied && denied.empty())
            denied = choice.path;
        if (opened != PortOpenResult::Ok)
            continue;
        std::string firmwareId;
        const bool found = BoardAnswers(s, firmwareId);
        s.link.Close();
        if (!found)
            continue;
        chooseComOneWhenNone(model);
        model.setChosenPath(choice.path);
        const std::string assigned = "COM" + std::to_string(model.chosen()) + " に割り当てました";
        if (!simulated)
            return "ライターを " + choice.path + " に検出しました（" + firmwareId + "）。\n" + assigned +
                   "。OK で確定します。";
        return std::string(anyReal ? "ライターを検出できませんでした。" : "シリアルポートが見つかりませんでした。") +
               (denied.empty() ? "" : "\n" + PortPermissionText(denied)) +
               "\n応答したのは内蔵シミュレーションボード（sim）だけなので、" + assigned +
               "。実機ではありません。OK で確定します。";
    }
    if (!anyReal)
        return "シリアルポートが見つかりませんでした。";
    if (!denied.empty())
        return "ライターを検出できませんでした。\n" + PortPermissionText(denied);
    return "ライターを検出できませんでした。ライターの接続と電源を確かめてください。";
}

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
    model.portInUse = s.link.portNumber;
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
    const PortOpenResult result = n != 0 && !path.empty() ? s.link.Open(path) : PortOpenResult::Failed;
    const std::string com = "COM" + std::to_string(n);
    if (result == PortOpenResult::PermissionDenied) {
        ShowBoardNotFound(s);
        s.ui.messageBox(MsgIcon::Critical, com + "　エラー", PortPermissionText(path));
        return false;
    }
    if (result != PortOpenResult::Ok) {
        ShowBoardNotFound(s);
        s.ui.messageBox(MsgIcon::Critical, com + "　エラー",
                        "　　" + com + "　オープンに失敗しました。　　　　　\r" +
                            (path.empty() ? std::string() : "　　（" + path + "）\r") +
                            "\r　　他のポート番号を指定してください。　　　　　");
        return false;
    }
    // A board found on the port of before is not yet found on this one.
    if (!s.link.boardFound || n != model.portInUse || path != PortDevicePath(s, n))
        ShowBoardNotFound(s);
    ShowNote(s, com + "を選択しました。");
    s.settings.setValue("ComNo", std::to_string(n));
    // The default name needs no setting; any other is kept for this number.
    if (path != PortDevicePath(s, n))
        s.settings.setValue(ComDeviceKey(n), path);
    return true;
}

void PortWindowCancel(Session& s, const PortWindowModel& model) {
    if (s.link.portNumber != model.portInUse) {
        s.link.portNumber = model.portInUse;
        if (model.portInUse != 0) {
            ShowBoardNotFound(s);
        } else {
            s.view.firmwareLabel = {};
            s.ui.viewChanged();
        }
    }
    if (s.link.portNumber == 0)
        ShowNote(s, "通信ポートを選択しませんでした。");
}

std::string PortDevicePath(const Session& s, int comNumber) { return ComDevicePath(s.settings, comNumber); }

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
