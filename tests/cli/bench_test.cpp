// What the bench asks of the command line: the serial-port doctor.
#include <QDir>

#include "clirun.h"

namespace vx::clitest {
namespace {

using Bench = CliTest;

TEST_F(Bench, DoctorReadsItsRootAndAsksTheBoardOnThePort) {
    QDir(dir.path()).mkdir("root");
    const auto r = cli({"--port", "sim", "doctor", "--root", path("root")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "△ シリアルポートが見つかりませんでした\n"
              "○ brltty はインストールされていません\n"
              "○ ModemManager は動いていません\n"
              "△ /sys/class/tty を読み取れませんでした\n"
              "△ /proc/self/status を読み取れませんでした\n"
              "△ /etc/group を読み取れませんでした\n"
              "△ /proc を読み取れませんでした\n"
              "○ ライターが sim で応答しました（TAVPIC-PGMV4.01）（シミュレーションボード・実機ではありません）\n");

    const auto missing = cli({"--port", path("nothing-here"), "doctor", "--root", path("root")});
    EXPECT_EQ(missing.exitCode, 1) << missing.err;
    EXPECT_TRUE(Contains(missing.out, "× " + path("nothing-here").toStdString() + " を開けませんでした。")) << missing.out;

    EXPECT_EQ(cli({"--device", "PIC16F84A", "--root", path("root"), "blank"}).exitCode, 2);
}

}  // namespace
}  // namespace vx::clitest
