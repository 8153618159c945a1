// What the bench asks of the command line: the serial-port doctor and the
// configuration word by name.
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

TEST_F(Bench, ConfigDecodesAndBuildsWordsByTheGridsNames) {
    const auto decoded = cli({"--device", "PIC16F84A", "config", "0x3FF1"});
    EXPECT_EQ(decoded.exitCode, 0) << decoded.err;
    EXPECT_EQ(decoded.out, "FOSC=XT WDTE=OFF PWRTE=ON CP=OFF\n");
    const auto built = cli({"--device", "PIC16F84A", "config", "--set", "FOSC=HS,WDTE=OFF"});
    EXPECT_EQ(built.exitCode, 0) << built.err;
    EXPECT_EQ(built.out, "0x3FFA\n");

    const auto foreign = cli({"--device", "PIC16F84A", "config", "--set", "FOSC=INTRC-IO"});
    EXPECT_EQ(foreign.exitCode, 2);
    EXPECT_TRUE(Contains(foreign.err, "PIC16F84A has no FOSC=INTRC-IO (FOSC is one of RC, HS, XT, LP)")) << foreign.err;
    EXPECT_EQ(cli({"--device", "PIC16F84A", "config", "0x4000"}).exitCode, 2);
    EXPECT_EQ(cli({"--device", "PIC16F84A", "config"}).exitCode, 2);
    EXPECT_EQ(cli({"--device", "PIC16F84A", "config", "0x3FF1", "--set", "FOSC=HS"}).exitCode, 2);
}

TEST_F(Bench, InfoAndReadNameTheSettingsOfTheirWord) {
    writeFile("good.hex", ":0400000083168601DC\r\n:02400E00F13F80\r\n:00000001FF\r\n");
    const auto info = cli({"--device", "PIC16F84A", "info", "good.hex"});
    EXPECT_TRUE(Contains(info.out, "\nコンフィギュレーション設定 FOSC=XT WDTE=OFF PWRTE=ON CP=OFF\n")) << info.out;

    const auto read = cli({"--port", "sim", "--device", "PIC16F84A", "read"});
    EXPECT_EQ(read.exitCode, 0) << read.out << read.err;
    EXPECT_TRUE(Contains(read.out, "\nコンフィギュレーション設定 FOSC=RC WDTE=ON PWRTE=OFF CP=OFF\n")) << read.out;
}

}  // namespace
}  // namespace vx::clitest
