// Commands without a board: convert saves as the window saves, checksum, and
// files that are not HEX files or not there.
#include <QFile>
#include <unistd.h>

#include "clirun.h"
#include "device/devicedb.h"
#include "image/hexfile.h"
#include "image/selection.h"
#include "support/fakes.h"

namespace vx::clitest {
namespace {

const char* const kBlinkAsm = R"(        list    p=16f84a
        include "p16f84a.inc"
        __config _XT_OSC & _WDT_OFF & _PWRTE_ON
        __idlocs 0x1234
        org     0
start   bsf     STATUS, RP0
        clrf    TRISB
        bcf     STATUS, RP0
loop    movlw   0x55
        movwf   PORTB
        call    delay
        comf    PORTB, f
        goto    loop
delay   decfsz  0x0C, f
        goto    delay
        return
        org     0x2100
        de      "Hi", 0x41
        end
)";

class Files : public CliTest {
protected:
    // gpasm's HEX of a small PIC16F84A program with configuration, ID and EEPROM data.
    bool assembleBlink() {
#ifdef VORMEX_GPASM
        writeFile("blink.asm", kBlinkAsm);
        return runTool(VORMEX_GPASM, {"blink.asm"}) == 0 && QFile::exists(path("blink.hex"));
#else
        return false;
#endif
    }

    // What the window writes for `hexFile` loaded for PIC16F84A: load, then save through its dialog.
    std::string windowSave(const QString& hexFile) {
        test::TestRig rig;
        test::WriteFileBytes(rig.dir + "device.ini", readFile("device.ini"));
        Session& s = *rig.session;
        s.run.appDir = rig.dir;
        EXPECT_TRUE(LoadDeviceList(s));
        const auto& list = s.view.deviceList;
        SelectDeviceIndex(s, static_cast<int>(std::find(list.begin(), list.end(), "PIC16F84A") - list.begin()));
        s.loader.hexPath = hexFile.toStdString();
        s.loader.skipHexDialog = true;
        LoadHexFile(s);
        const std::string saved = rig.dir + "window.hex";
        rig.ui.fileAnswers.push_back(saved);
        SaveHexFile(s);
        return test::ReadFileBytes(saved);
    }
};

TEST_F(Files, ConvertOfAnAssembledFileEqualsTheWindowsSave) {
    if (!assembleBlink())
        GTEST_SKIP() << "gpasm (gputils) is not installed";
    const auto r = cli({"--device", "PIC16F84A", "convert", "blink.hex", "out.hex"});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    const std::string converted = readFile("out.hex");
    EXPECT_EQ(converted, windowSave(path("blink.hex")));
    EXPECT_TRUE(Contains(converted, ":08400000F13FF23FF33FF43FF2\r\n")) << "ID 1234";
    EXPECT_TRUE(Contains(converted, ":02400E00F13F80\r\n")) << "configuration word";
    EXPECT_TRUE(Contains(r.out, "ファイルオープン完了")) << r.out;

    // An existing output is replaced without a question.
    writeFile("old.hex", "old content\r\n");
    const auto again = cli({"--device", "PIC16F84A", "convert", "blink.hex", "old.hex"});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(readFile("old.hex"), converted);
}

TEST_F(Files, ChecksumIsTheSumOfEveryProgramWord) {
    writeFile("one.hex", ":02000000831665\r\n:00000001FF\r\n");
    const auto r = cli({"--device", "PIC16F84A", "checksum", "one.hex"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // 1023 blank words of 0x3FFF and 0x1683, cut to four digits.
    EXPECT_TRUE(Contains(r.out, "D284  one.hex\n")) << r.out;
}

// info names what would surprise at the bench, and says so in its exit status.
TEST_F(Files, InfoSaysWhatTheFileHoldsAndFailsOnWhatTheChipWouldNotGet) {
    writeFile("good.hex", ":0400000083168601DC\r\n:02400E00F13F80\r\n:044200004800690009\r\n:00000001FF\r\n");
    writeFile("noconfig.hex", ":0400000083168601DC\r\n:00000001FF\r\n");
    writeFile("beyond.hex", ":0400000083168601DC\r\n:02400E00F13F80\r\n:020800000000F6\r\n:00000001FF\r\n");

    const auto good = cli({"--device", "PIC16F84A", "info", "good.hex"});
    EXPECT_EQ(good.exitCode, 0) << good.out << good.err;
    EXPECT_TRUE(Contains(good.out, "\nプログラム 2 / 1024 ワード\nコンフィギュレーションワード 0x3FF1\nID 0 ワード\n"
                                   "ＥＥＰＲＯＭ 2 / 64 バイト\nデバイス外 0 レコード（読み飛ばし）\n"))
        << good.out;

    const auto noConfig = cli({"--device", "PIC16F84A", "info", "noconfig.hex"});
    EXPECT_EQ(noConfig.exitCode, 1) << noConfig.out;
    EXPECT_TRUE(Contains(noConfig.out, "コンフィギュレーションワードの指定なし（グリッドの値 0x3FFF を書込みます）\n"))
        << noConfig.out;

    const auto beyond = cli({"--device", "PIC16F84A", "info", "beyond.hex"});
    EXPECT_EQ(beyond.exitCode, 1) << beyond.out;
    EXPECT_TRUE(Contains(beyond.out, "\nデバイス外 1 レコード（読み飛ばし）\n")) << beyond.out;

    // Text before the first record, and data an upper address puts past 64 KiB.
    writeFile("preamble.hex", "Note: built for the bench\r\n:0400000083168601DC\r\n:02400E00F13F80\r\n:00000001FF\r\n");
    const auto preamble = cli({"--device", "PIC16F84A", "info", "preamble.hex"});
    EXPECT_EQ(preamble.exitCode, 1) << preamble.out;
    EXPECT_TRUE(Contains(preamble.out, "1行目はＨＥＸデータでないので読み飛ばしました。")) << preamble.out;
    writeFile("trailer.hex", ":0400000083168601DC\r\n:02400E00F13F80\r\n:00000001FF\r\nend\r\n");
    EXPECT_EQ(cli({"--device", "PIC16F84A", "info", "trailer.hex"}).exitCode, 0);
    writeFile("upper.hex", ":0400000083168601DC\r\n:02400E00F13F80\r\n:020000040030CA\r\n:02000E00E43FCD\r\n"
                           ":00000001FF\r\n");
    const auto upper = cli({"--device", "PIC16F84A", "info", "upper.hex"});
    EXPECT_EQ(upper.exitCode, 1) << upper.out;
    EXPECT_TRUE(Contains(upper.out, "\nデバイス外 1 レコード（読み飛ばし）\n")) << upper.out;

    EXPECT_EQ(cli({"--device", "PIC16F84A", "info", "missing.hex"}).exitCode, 2);
}

TEST_F(Files, FilesThatAreNotHexFilesExit2WithoutHanging) {
    writeFile("empty.hex", "");
    writeFile("binary.hex", std::string("\x7f" "ELF\x02\x01\x00\x00\xff\xfe", 10));
    writeFile("text.hex", "hello\r\nworld\r\n");
    writeFile("lower.hex", ":02000000831665\r\n:0200020083ab65\r\n");
    writeFile("short.hex", ":10000000831686\r\n");
    writeFile("junk.hex", ":02000000831665\r\n:02ZZ000083166F\r\n");
    QDir(dir.path()).mkdir("folder.hex");
    const QStringList files = {"missing.hex", "empty.hex", "binary.hex", "text.hex", "lower.hex",
                               "short.hex",   "junk.hex",  "folder.hex", "/dev/zero"};
    for (const auto& file : files) {
        for (const char* command : {"checksum", "program", "verify"}) {
            const auto r = cli({"--port", "sim", "--device", "PIC16F84A", command, file}, 20000);
            EXPECT_TRUE(r.finished) << command << " " << file.toStdString();
            EXPECT_EQ(r.exitCode, 2) << command << " " << file.toStdString();
            EXPECT_TRUE(Contains(r.err, "vormex-cli: ")) << file.toStdString();
        }
    }
    if (geteuid() != 0) {  // root reads any file
        writeFile("locked.hex", ":02000000831665\r\n");
        QFile::setPermissions(path("locked.hex"), QFileDevice::Permissions{});
        const auto r = cli({"--device", "PIC16F84A", "checksum", "locked.hex"});
        EXPECT_EQ(r.exitCode, 2);
    }
}

TEST_F(Files, LinesThatAreNotRecordsAreReportedAndSkipped) {
    writeFile("commented.hex", ";PIC16F84A\r\n:02000000831665\r\n:00000001FF\r\n");
    const auto r = cli({"--device", "PIC16F84A", "checksum", "commented.hex"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "1行目はＨＥＸデータでないので読み飛ばしました。")) << r.out;
    EXPECT_TRUE(Contains(r.out, "D284  commented.hex")) << r.out;
}

// The check reads the loader's lines: quoted records and records after a
// comma load, so they are checked, and a line is named by the loader's count.
TEST_F(Files, CheckSeesEveryRecordTheLoaderLoads) {
    writeFile("quoted.hex", ":02000000831665\r\n\":0200020083ab63\"\r\n");
    writeFile("comma.hex", ":02000000831665\r\nx,:02000200831663,:0A0004008316\r\n");
    const auto quoted = cli({"--device", "PIC16F84A", "checksum", "quoted.hex"});
    EXPECT_EQ(quoted.exitCode, 2);
    EXPECT_TRUE(Contains(quoted.err, "quoted.hex:2: lower-case hex digits")) << quoted.err;
    const auto comma = cli({"--device", "PIC16F84A", "checksum", "comma.hex"});
    EXPECT_EQ(comma.exitCode, 2);
    EXPECT_TRUE(Contains(comma.err, "comma.hex:4: record shorter than its byte count")) << comma.err;

    writeFile("good.hex", "\":02000000831665\"\r\nx,:02000200831663\r\n");
    const auto good = cli({"--device", "PIC16F84A", "checksum", "good.hex"});
    EXPECT_EQ(good.exitCode, 0) << good.err;
    EXPECT_TRUE(Contains(good.out, "2行目はＨＥＸデータでないので読み飛ばしました。")) << good.out;
    EXPECT_TRUE(Contains(good.out, "A908  good.hex")) << good.out;  // 1022 blank words and two 0x1683
}

TEST_F(Files, UnknownDeviceOrUnwritableOutputExits2) {
    writeFile("one.hex", ":02000000831665\r\n");
    const auto unknown = cli({"--device", "PIC99X99", "convert", "one.hex", "out.hex"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(Contains(unknown.err, "unknown device PIC99X99")) << unknown.err;

    const auto nowhere = cli({"--device", "PIC16F84A", "convert", "one.hex", "no/such/folder/out.hex"});
    EXPECT_EQ(nowhere.exitCode, 2);
    EXPECT_TRUE(Contains(nowhere.err, "cannot save")) << nowhere.err;

    // A device name differing only in case is the same device.
    EXPECT_EQ(cli({"--device", "pic16f84a", "checksum", "one.hex"}).exitCode, 0);
}

TEST_F(Files, DisasmWritesTheListingAndCountsTheMatches) {
    writeFile("one.hex", ":02000000831665\r\n");
    const auto r = cli({"--device", "PIC16F84A", "disasm", "one.hex", "--search", "0000"});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "1024個所のコード置き換えが可能です。")) << r.out;  // 0000 fits every word
    EXPECT_TRUE(Contains(readFile("dis_asm.asm"), "END"));

    const auto named = cli({"--device", "PIC16F84A", "disasm", "one.hex", "-o", "listing.asm"});
    EXPECT_EQ(named.exitCode, 0);
    EXPECT_TRUE(QFile::exists(path("listing.asm")));
}

TEST_F(Files, DisasmRefusesTwelveBitDevices) {
    writeFile("twelve.ini", "#BEGIN\nPIC12C508\nPGM_TYPE 12C5\nPGM 0x1FF\nEEPROM 0\n#END\n");
    writeFile("one.hex", ":02000000831665\r\n");
    const auto r = rawCli({"--ini", path("twelve.ini"), "--settings", settingsPath, "--device", "PIC12C508",
                           "disasm", "one.hex"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(Contains(r.err, "14-bit")) << r.err;
    EXPECT_FALSE(QFile::exists(path("dis_asm.asm")));
}

}  // namespace
}  // namespace vx::clitest
