#include "app/portdoctor.h"

#include <algorithm>

#include "app/portselect.h"
#include "link/comport.h"
#include "link/portsystem.h"
#include "ops/detect.h"

namespace vx {

namespace {

// The rule that sets an FTDI adapter's latency timer to 1 ms when it is
// plugged in: every turn of the board's half-duplex exchange waits for the
// timer, 16 ms by default.
const char* const kLatencyRule = R"(ACTION=="add", SUBSYSTEM=="usb-serial", DRIVER=="ftdi_sio", ATTR{latency_timer}="1")";
const char* const kLatencyRuleFile = "/etc/udev/rules.d/99-ftdi-latency.rules";
const char* const kModemManagerRuleFile = "/etc/udev/rules.d/99-vormex-modemmanager.rules";
const char* const kReloadRules = "sudo udevadm control --reload-rules";

enum class Access { Yes, LogInAgain, Join, Never, Unknown };

std::string octal(unsigned mode) {
    std::string text;
    for (int shift = 9; shift >= 0; shift -= 3)
        text += static_cast<char>('0' + ((mode >> shift) & 7));
    return text;
}

std::string groupName(const PortSystem& system, unsigned gid) {
    const GroupEntry* group = FindGroup(system, gid);
    return group ? group->name : std::to_string(gid);
}

Access accessOf(const PortSystem& system, const SerialPortFacts& port) {
    const UserFacts& user = system.user;
    if (!user.known || !port.nodeRead)
        return Access::Unknown;
    const auto readWrite = [&port](int shift) { return ((port.mode >> shift) & 6) == 6; };
    if (user.uid == 0 || readWrite(0) || (user.uid == port.ownerUid && readWrite(6)))
        return Access::Yes;
    if (!readWrite(3))
        return Access::Never;
    const auto& now = user.sessionGids;
    if (std::find(now.begin(), now.end(), port.ownerGid) != now.end())
        return Access::Yes;
    const GroupEntry* group = FindGroup(system, port.ownerGid);
    const bool member = user.loginGid == port.ownerGid ||
                        (group && !user.name.empty() &&
                         std::find(group->members.begin(), group->members.end(), user.name) != group->members.end());
    return member ? Access::LogInAgain : Access::Join;
}

std::string portNames(const SerialPortFacts& port) {
    return port.byId.empty() ? port.path() : port.path() + "（" + port.byId + "）";
}

Finding portFacts(const PortSystem& system, const SerialPortFacts& port) {
    std::string text = portNames(port) + "： ドライバー " + (port.driver.empty() ? "不明" : port.driver);
    if (port.usb())
        text += "、USB " + port.vendorId + ":" + port.productId + (port.product.empty() ? "" : " " + port.product);
    if (port.nodeRead)
        text += "、グループ " + groupName(system, port.ownerGid) + "、モード " + octal(port.mode);
    return {FindingLevel::Ok, text, {}};
}

void checkAccess(const PortSystem& system, const SerialPortFacts& port, FindingLevel stop, std::vector<Finding>& out) {
    const std::string user = system.user.name.empty() ? "このユーザー" : system.user.name;
    const std::string group = groupName(system, port.ownerGid);
    switch (accessOf(system, port)) {
    case Access::Yes:
        out.push_back({FindingLevel::Ok, user + " は " + port.path() + " を読み書きできます", {}});
        break;
    case Access::LogInAgain:
        out.push_back({stop,
                       user + " はグループ「" + group + "」に登録されていますが、今のログインにはまだ反映されていません。" +
                           "一度ログアウトして、ログインし直してください。",
                       {}});
        break;
    case Access::Join:
        out.push_back({stop,
                       user + " には " + port.path() + " を開く権限がありません。使えるのはグループ「" + group +
                           "」のユーザーです。次のコマンドでグループに加え、ログインし直してください。",
                       {"sudo usermod -aG " + group + " $USER"}});
        break;
    case Access::Never:
        out.push_back({stop,
                       user + " には " + port.path() +
                           " を開く権限がありません。システムの管理者に権限の設定を依頼してください。",
                       {}});
        break;
    case Access::Unknown:
        break;  // what could not be read is a finding of its own
    }
}

void checkHolders(const PortSystem& system, const SerialPortFacts& port, FindingLevel stop, std::vector<Finding>& out) {
    bool held = false;
    for (const ProcessFacts& process : system.processes) {
        const auto& open = process.openDevices;
        if (process.pid == system.ownPid || std::find(open.begin(), open.end(), port.path()) == open.end())
            continue;
        held = true;
        out.push_back({stop,
                       port.path() + " はプログラム「" + (process.command.empty() ? "?" : process.command) + "」（PID " +
                           std::to_string(process.pid) + "）が開いています。そのプログラムを終了してください。",
                       {}});
    }
    if (!held)
        out.push_back({FindingLevel::Ok, port.path() + " を開いている他のプログラムはありません", {}});
}

void checkLatency(const SerialPortFacts& port, std::vector<Finding>& out) {
    if (!port.latencyTimerMs)
        return;
    const std::string ms = std::to_string(*port.latencyTimerMs) + " ms";
    if (*port.latencyTimerMs <= 1) {
        out.push_back({FindingLevel::Ok, port.path() + " の FTDI レイテンシタイマーは " + ms + " です", {}});
        return;
    }
    out.push_back({FindingLevel::Advice,
                   port.path() + " の FTDI レイテンシタイマーは " + ms + " です。ライターとのやりとりが一往復ごとに最大 " +
                       ms + " 遅れます。1 ms にするには、今すぐは 1 行目、接続のたびには 2 行目の udev ルールを使ってください。",
                   {"echo 1 | sudo tee /sys/bus/usb-serial/devices/" + port.name + "/latency_timer",
                    "echo '" + std::string(kLatencyRule) + "' | sudo tee " + kLatencyRuleFile}});
}

// The first rule line in force that names the adapter, among the lines `wanted`.
template <typename Wanted>
std::string ruleFileNaming(const PortSystem& system, const SerialPortFacts& port, Wanted wanted) {
    for (const UdevRulesFile& file : system.udevRules)
        for (const std::string& line : file.lines)
            if (wanted(file.path, line) &&
                (RuleNamesAdapter(line, port.vendorId, port.productId) ||
                 line.find("KERNEL==\"" + port.name + "\"") != std::string::npos))
                return file.path;
    return "";
}

void checkBrltty(const PortSystem& system, const SerialPortFacts& port, FindingLevel stop, std::vector<Finding>& out) {
    if (!system.brlttyInstalled || !port.usb())
        return;
    const std::string rules = ruleFileNaming(system, port, [](const std::string& path, const std::string& line) {
        return path.find("brltty") != std::string::npos && line.find('#') != 0;
    });
    if (rules.empty()) {
        out.push_back({FindingLevel::Ok, "brltty の udev ルールは " + port.path() + " のアダプターを対象にしていません", {}});
        return;
    }
    out.push_back({stop,
                   "brltty（点字ディスプレイのソフトウエア）の udev ルール " + rules + " が " + port.path() +
                       " のアダプター（" + port.vendorId + ":" + port.productId +
                       "）を点字ディスプレイとみなし、接続の直後にポートを取り上げます。点字ディスプレイを使わないなら、"
                       "brltty を削除してください。",
                   {"sudo apt remove brltty"}});
}

void checkModemManager(const PortSystem& system, const SerialPortFacts& port, std::vector<Finding>& out) {
    const std::string ignored = ruleFileNaming(system, port, [](const std::string&, const std::string& line) {
        return line.find('#') != 0 && line.find("ID_MM_DEVICE_IGNORE}=\"1\"") != std::string::npos;
    });
    if (!ignored.empty()) {
        out.push_back({FindingLevel::Ok, "ModemManager は " + port.path() + " を無視する設定です（" + ignored + "）", {}});
        return;
    }
    const std::string match = port.usb() ? "ATTRS{idVendor}==\"" + port.vendorId + "\", ATTRS{idProduct}==\"" +
                                               port.productId + "\""
                                         : "KERNEL==\"" + port.name + "\"";
    out.push_back({FindingLevel::Advice,
                   "ModemManager が動いていて、" + port.path() +
                       " が現れるたびに AT コマンドで調べます。ライターはこれを誤ったコマンドとして受け取ります。"
                       "次の udev ルールで、このポートを無視させてください。",
                   {"echo '" + match + ", ENV{ID_MM_DEVICE_IGNORE}=\"1\"' | sudo tee -a " + kModemManagerRuleFile,
                    kReloadRules}});
}

bool modemManagerRuns(const PortSystem& system) {
    return std::any_of(system.processes.begin(), system.processes.end(),
                       [](const ProcessFacts& p) { return p.command == "ModemManager"; });
}

// The board on the chosen port, asked as the board search asks it.
Finding checkBoard(Session& s, const std::string& path) {
    if (path.empty())
        return {FindingLevel::Blocking, "通信ポートが選ばれていないため、ライターの応答は確かめていません", {}};
    // The port the link had open is found again only by the next board search.
    if (s.link.IsOpen()) {
        s.link.Close();
        ShowBoardNotFound(s);
    }
    const PortOpenResult opened = s.link.Open(path);
    if (opened == PortOpenResult::InUse)
        return {FindingLevel::Blocking, path + " は他のプログラムが使用中です。次のコマンドで、使っているプログラムがわかります。",
                {"sudo fuser -v " + path}};
    if (opened == PortOpenResult::PermissionDenied)
        return {FindingLevel::Blocking, path + " を開く権限がありません。", {}};
    if (opened != PortOpenResult::Ok)
        return {FindingLevel::Blocking,
                path + " を開けませんでした。ライターの USB ケーブルと、ポートの名前を確かめてください。", {}};
    std::string firmwareId;
    const bool found = BoardAnswers(s, firmwareId);
    s.link.Close();
    if (!found)
        return {FindingLevel::Blocking,
                path + " でライターが応答しませんでした。ライターの接続と電源を確かめてください。", {}};
    return {FindingLevel::Ok,
            "ライターが " + path + " で応答しました（" + firmwareId + "）" + (path == kSimPortName ? kSimulatedBoardMark : ""),
            {}};
}

}  // namespace

std::vector<Finding> DiagnoseSerialPorts(Session& s, const std::string& root, const std::string& chosenPath) {
    const PortSystem system = ReadPortSystem(root);
    const auto chosen = [&chosenPath](const SerialPortFacts& port) {
        return chosenPath == port.path() || (!port.byId.empty() && chosenPath == port.byId);
    };
    const bool chosenListed = std::any_of(system.ports.begin(), system.ports.end(), chosen);
    const bool modemManager = modemManagerRuns(system);

    std::vector<Finding> findings;
    for (const SerialPortFacts& port : system.ports) {
        const FindingLevel stop = chosenListed && !chosen(port) ? FindingLevel::Advice : FindingLevel::Blocking;
        findings.push_back(portFacts(system, port));
        checkAccess(system, port, stop, findings);
        checkHolders(system, port, stop, findings);
        checkLatency(port, findings);
        checkBrltty(system, port, stop, findings);
        if (modemManager)
            checkModemManager(system, port, findings);
    }
    if (system.ports.empty())
        findings.push_back({FindingLevel::Advice, "シリアルポートが見つかりませんでした", {}});
    if (!system.brlttyInstalled)
        findings.push_back({FindingLevel::Ok, "brltty はインストールされていません", {}});
    if (!modemManager)
        findings.push_back({FindingLevel::Ok, "ModemManager は動いていません", {}});
    for (const std::string& path : system.unreadable)
        findings.push_back({FindingLevel::Advice, path + " を読み取れませんでした", {}});
    findings.push_back(checkBoard(s, chosenPath));
    return findings;
}

bool StandsInTheWay(const std::vector<Finding>& findings) {
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding& f) { return f.level == FindingLevel::Blocking; });
}

std::vector<std::string> FindingLines(const std::vector<Finding>& findings) {
    std::vector<std::string> lines;
    for (const Finding& finding : findings) {
        const char* mark = finding.level == FindingLevel::Ok ? "○ " : finding.level == FindingLevel::Advice ? "△ " : "× ";
        lines.push_back(mark + finding.text);
        for (const std::string& command : finding.todo)
            lines.push_back("    " + command);
    }
    return lines;
}

}  // namespace vx
