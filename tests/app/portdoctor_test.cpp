// The serial-port doctor over small copies of a system's files: each tree
// gives exactly its findings, and only those in the way of the board make
// it stand in the way.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <gtest/gtest.h>

#include "app/portdoctor.h"
#include "ops/detect.h"
#include "support/simrig.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using test::SimRig;

constexpr const char* kCh340ById = "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0";
constexpr const char* kBoard = "○ ライターが /dev/ttyUSB0 で応答しました（TAVPIC-PGMV4.01）";

// A machine with alice (uid 4321) logged in. The device nodes belong to the
// group this test runs with, which the tree's /etc/group calls dialout.
class FakeSystem {
public:
    explicit FakeSystem(const std::string& dir) : root(dir + "root") {
        dialout = std::to_string(getgid());
        file("/etc/passwd", "root:x:0:0::/root:/bin/sh\nalice:x:4321:4321::/home/alice:/bin/bash\n");
        link("/proc/self", "100");
        file("/proc/100/comm", "vormex\n");
        loggedIn(true);
        group(true);
    }

    void file(const std::string& path, const std::string& text) {
        fs::create_directories(fs::path(root + path).parent_path());
        test::WriteFileBytes(root + path, text);
    }
    void link(const std::string& path, const std::string& target) {
        fs::create_directories(fs::path(root + path).parent_path());
        fs::remove(root + path);
        fs::create_symlink(target, root + path);
    }
    // alice in dialout in /etc/group, and in the running session.
    void group(bool member) {
        file("/etc/group", "alice:x:4321:\ndialout:x:" + dialout + ":" + (member ? "alice" : "") + "\n");
    }
    void loggedIn(bool withDialout) {
        file("/proc/100/status", "Name:\tvormex\nUid:\t4321\t4321\t4321\t4321\nGid:\t4321\t4321\t4321\t4321\n"
                                 "Groups:\t24 " + std::string(withDialout ? dialout : "") + "\n");
    }
    // A USB adapter at /dev/<name>, as sysfs shows it.
    void usbPort(const std::string& name, const std::string& driver, const std::string& vendor,
                 const std::string& product, const std::string& byId) {
        const std::string usb = "/sys/devices/pci0000:00/usb1/1-" + name.substr(6);
        const std::string port = usb + "/1-1:1.0/" + name;
        file(usb + "/idVendor", vendor + "\n");
        file(usb + "/idProduct", product + "\n");
        file(usb + "/product", "USB Serial\n");
        link(port + "/driver", "../../../../../bus/usb-serial/drivers/" + driver);
        link("/sys/class/tty/" + name + "/device", "../../../devices/pci0000:00/usb1/1-" + name.substr(6) +
                                                     "/1-1:1.0/" + name);
        file("/dev/" + name, "");
        fs::permissions(root + "/dev/" + name, fs::perms(0660));
        if (!byId.empty())
            link(byId, "../../" + name);
    }
    void ch340() { usbPort("ttyUSB0", "ch341", "1a86", "7523", kCh340ById); }
    void holder(int pid, const std::string& command, const std::string& device) {
        file("/proc/" + std::to_string(pid) + "/comm", command + "\n");
        link("/proc/" + std::to_string(pid) + "/fd/3", device);
    }

    std::string root;
    std::string dialout;
};

struct Doctor : ::testing::Test {
    SimRig rig{"FLASH", 1024, 64};
    FakeSystem system{rig.dir};
    std::vector<Finding> findings;

    std::vector<std::string> run(const std::string& chosen = "/dev/ttyUSB0") {
        findings = DiagnoseSerialPorts(*rig.session, system.root, chosen);
        return FindingLines(findings);
    }
};

using Lines = std::vector<std::string>;

TEST_F(Doctor, CleanMachineHasNothingInTheWay) {
    system.ch340();
    EXPECT_EQ(run(), (Lines{
                         "○ /dev/ttyUSB0（" + std::string(kCh340ById) +
                             "）： ドライバー ch341、USB 1a86:7523 USB Serial、グループ dialout、モード 0660",
                         "○ alice は /dev/ttyUSB0 を読み書きできます",
                         "○ /dev/ttyUSB0 を開いている他のプログラムはありません",
                         "○ brltty はインストールされていません",
                         "○ ModemManager は動いていません",
                         kBoard,
                     }));
    EXPECT_FALSE(StandsInTheWay(findings));
    EXPECT_FALSE(rig.simPort->isOpen());  // asked, then let go
    // The board asked by its stable name answers there.
    EXPECT_EQ(run(kCh340ById).back(), "○ ライターが " + std::string(kCh340ById) + " で応答しました（TAVPIC-PGMV4.01）");
}

TEST_F(Doctor, BrlttyRuleForTheAdapterStandsInTheWayUntilSwitchedOff) {
    system.ch340();
    system.file("/usr/bin/brltty", "");
    system.file("/usr/lib/udev/rules.d/85-brltty.rules",
                "# Device: 1A86:7523\n# ENV{PRODUCT}==\"1a86/7523/*\" in a comment counts for nothing\n"
                "ENV{PRODUCT}==\"1a86/7523/*\", ENV{BRLTTY_BRAILLE_DRIVER}=\"bm\", GOTO=\"brltty_usb_run\"\n");
    const Lines lines = run();
    EXPECT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[3], "× brltty（点字ディスプレイのソフトウエア）の udev ルール /usr/lib/udev/rules.d/85-brltty.rules が "
                        "/dev/ttyUSB0 のアダプター（1a86:7523）を点字ディスプレイとみなし、接続の直後にポートを取り上げます。"
                        "点字ディスプレイを使わないなら、brltty を削除してください。");
    EXPECT_EQ(lines[4], "    sudo apt remove brltty");
    EXPECT_EQ(lines[5], "○ ModemManager は動いていません");
    EXPECT_TRUE(StandsInTheWay(findings));

    // The same name in /etc, linked to /dev/null, switches the rules off.
    system.link("/etc/udev/rules.d/85-brltty.rules", "/dev/null");
    EXPECT_EQ(run()[3], "○ brltty の udev ルールは /dev/ttyUSB0 のアダプターを対象にしていません");
    EXPECT_FALSE(StandsInTheWay(findings));
}

TEST_F(Doctor, FtdiLatencyTimerAboveOneMillisecondGetsItsRule) {
    system.usbPort("ttyUSB0", "ftdi_sio", "0403", "6001", "");
    const std::string latency = "/sys/devices/pci0000:00/usb1/1-0/1-1:1.0/ttyUSB0/latency_timer";
    system.file(latency, "16\n");
    const Lines lines = run();
    EXPECT_EQ(lines[0], "○ /dev/ttyUSB0： ドライバー ftdi_sio、USB 0403:6001 USB Serial、グループ dialout、モード 0660");
    EXPECT_EQ(lines[3], "△ /dev/ttyUSB0 の FTDI レイテンシタイマーは 16 ms です。ライターとのやりとりが一往復ごとに最大 16 ms "
                        "遅れます。1 ms にするには、今すぐは 1 行目、接続のたびには 2 行目の udev ルールを使ってください。");
    EXPECT_EQ(lines[4], "    echo 1 | sudo tee /sys/bus/usb-serial/devices/ttyUSB0/latency_timer");
    EXPECT_EQ(lines[5], "    echo 'ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", "
                        "ATTR{latency_timer}=\"1\"' | sudo tee /etc/udev/rules.d/99-ftdi-latency.rules");
    EXPECT_EQ(lines.size(), 9u);
    EXPECT_FALSE(StandsInTheWay(findings));  // slow, not in the way

    system.file(latency, "1\n");
    EXPECT_EQ(run()[3], "○ /dev/ttyUSB0 の FTDI レイテンシタイマーは 1 ms です");
}

TEST_F(Doctor, PortHeldByAnotherProcessIsNamedByItsCommand) {
    system.ch340();
    system.usbPort("ttyUSB1", "cp210x", "10c4", "ea60", "");
    system.holder(100, "vormex", "/dev/ttyUSB0");  // this process: not another
    system.holder(200, "minicom", "/dev/ttyUSB0");
    const Lines lines = run();
    EXPECT_EQ(lines[2], "× /dev/ttyUSB0 はプログラム「minicom」（PID 200）が開いています。そのプログラムを終了してください。");
    EXPECT_EQ(lines[5], "○ /dev/ttyUSB1 を開いている他のプログラムはありません");
    EXPECT_EQ(lines.size(), 9u);
    EXPECT_TRUE(StandsInTheWay(findings));

    // With the board on the other adapter, the held one is only advice.
    run("/dev/ttyUSB1");
    EXPECT_EQ(findings[2].level, FindingLevel::Advice);
    EXPECT_FALSE(StandsInTheWay(findings));
}

TEST_F(Doctor, UserNotYetInTheGroupIsToldWhatToDo) {
    system.ch340();
    system.loggedIn(false);  // added to dialout, not logged in again
    EXPECT_EQ(run()[1], "× alice はグループ「dialout」に登録されていますが、今のログインにはまだ反映されていません。"
                        "一度ログアウトして、ログインし直してください。");
    EXPECT_TRUE(StandsInTheWay(findings));

    system.group(false);
    const Lines lines = run();
    EXPECT_EQ(lines[1], "× alice には /dev/ttyUSB0 を開く権限がありません。使えるのはグループ「dialout」のユーザーです。"
                        "次のコマンドでグループに加え、ログインし直してください。");
    EXPECT_EQ(lines[2], "    sudo usermod -aG dialout $USER");

    fs::permissions(system.root + "/dev/ttyUSB0", fs::perms(0600));
    EXPECT_EQ(run()[1], "× alice には /dev/ttyUSB0 を開く権限がありません。システムの管理者に権限の設定を依頼してください。");
}

TEST_F(Doctor, ModemManagerIsToldToIgnoreThePortByARule) {
    system.ch340();
    system.holder(300, "ModemManager", "/dev/null");
    const Lines lines = run();
    EXPECT_EQ(lines[3], "△ ModemManager が動いていて、/dev/ttyUSB0 が現れるたびに AT コマンドで調べます。"
                        "ライターはこれを誤ったコマンドとして受け取ります。次の udev ルールで、このポートを無視させてください。");
    EXPECT_EQ(lines[4], "    echo 'ATTRS{idVendor}==\"1a86\", ATTRS{idProduct}==\"7523\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"' | "
                        "sudo tee -a /etc/udev/rules.d/99-vormex-modemmanager.rules");
    EXPECT_EQ(lines[5], "    sudo udevadm control --reload-rules");

    system.file("/etc/udev/rules.d/99-vormex-modemmanager.rules",
                "ATTRS{idVendor}==\"1a86\", ATTRS{idProduct}==\"7523\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n");
    EXPECT_EQ(run()[3], "○ ModemManager は /dev/ttyUSB0 を無視する設定です（/etc/udev/rules.d/99-vormex-modemmanager.rules）");
}

TEST_F(Doctor, EntriesThatCannotBeReadAreFindingsOfTheirOwn) {
    system.usbPort("ttyUSB0", "ftdi_sio", "0403", "6001", "");  // no latency_timer
    fs::remove(system.root + "/dev/ttyUSB0");
    fs::remove(system.root + "/proc/100/status");
    fs::remove(system.root + "/etc/group");
    EXPECT_EQ(run(), (Lines{
                         "○ /dev/ttyUSB0： ドライバー ftdi_sio、USB 0403:6001 USB Serial",
                         "○ /dev/ttyUSB0 を開いている他のプログラムはありません",
                         "○ brltty はインストールされていません",
                         "○ ModemManager は動いていません",
                         "△ /sys/class/tty/ttyUSB0/device/latency_timer を読み取れませんでした",
                         "△ /dev/ttyUSB0 を読み取れませんでした",
                         "△ /proc/self/status を読み取れませんでした",
                         "△ /etc/group を読み取れませんでした",
                         kBoard,
                     }));
    EXPECT_FALSE(StandsInTheWay(findings));

    // Nothing at all below the root: still findings, never a crash.
    EXPECT_EQ(FindingLines(DiagnoseSerialPorts(*rig.session, rig.dir + "nothing", "")),
              (Lines{
                  "△ シリアルポートが見つかりませんでした",
                  "○ brltty はインストールされていません",
                  "○ ModemManager は動いていません",
                  "△ /sys/class/tty を読み取れませんでした",
                  "△ /proc/self/status を読み取れませんでした",
                  "△ /etc/group を読み取れませんでした",
                  "△ /proc を読み取れませんでした",
                  "× 通信ポートが選ばれていないため、ライターの応答は確かめていません",
              }));
}

TEST_F(Doctor, BoardThatDoesNotAnswerOrCannotBeOpenedStandsInTheWay) {
    system.ch340();
    rig.board().faults.silentAfterBytes = 0;
    EXPECT_EQ(run().back(), "× /dev/ttyUSB0 でライターが応答しませんでした。ライターの接続と電源を確かめてください。");
    rig.simPort->openResult = PortOpenResult::InUse;
    run();
    EXPECT_EQ(FindingLines({findings.back()}),
              (Lines{"× /dev/ttyUSB0 は他のプログラムが使用中です。次のコマンドで、使っているプログラムがわかります。",
                     "    sudo fuser -v /dev/ttyUSB0"}));
    rig.simPort->openResult = PortOpenResult::Ok;
    rig.board().faults.silentAfterBytes = -1;
    EXPECT_EQ(run("sim").back(), "○ ライターが sim で応答しました（TAVPIC-PGMV4.01）" + std::string(kSimulatedBoardMark));
}

}  // namespace
}  // namespace vx
