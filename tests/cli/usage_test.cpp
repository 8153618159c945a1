// Usage errors and a database that does not load: exit 2 with a message, never a hang.
#include "clirun.h"

namespace vx::clitest {
namespace {

class Usage : public CliTest {};

TEST_F(Usage, HelpDescribesEveryCommandAndExitStatus) {
    const auto r = rawCli({"--help"});
    ASSERT_EQ(r.exitCode, 0);
    for (const char* word : {"devices", "detect", "blank", "erase", "read", "verify", "program", "convert",
                             "checksum", "disasm", "--port", "--sim-state", "--yes", "EXIT STATUS", "--list-settle",
                             "--settle N used|free", "6   with --serial: the chip passed"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
}

TEST_F(Usage, MalformedCommandLinesExit2WithAMessage) {
    const QList<QStringList> cases = {
        {},
        {"frobnicate"},
        {"--bogus", "devices"},
        {"devices", "extra"},
        {"--device", "PIC16F84A", "program"},
        {"--device", "PIC16F84A", "convert", "a.hex"},
        {"program", "a.hex"},  // no --device
        {"--device"},
        {"--device", "PIC16F84A", "checksum", "a.hex", "-o", "b"},
        {"--device", "PIC16F84A", "verify", "a.hex", "--search", "3000"},
        {"--device", "PIC16F84A", "disasm", "a.hex", "--search", "30G0"},
        {"--device", "PIC16F84A", "disasm", "a.hex", "--search", "1", "--search", "2", "--search", "3",
         "--search", "4", "--search", "5"},
        {"--sim-state", "chip.sim", "detect"},  // state without the simulated board
        {"--yes=1", "devices"},
        {"serial", "run.db", "--settle", "5"},
        {"serial", "run.db", "--settle", "5", "maybe"},
        {"serial", "run.db", "--list-settle", "--quantity", "5"},
        {"--device", "PIC16F84A", "program", "a.hex", "--list-settle"},
    };
    for (const auto& args : cases) {
        const auto r = cli(args);
        EXPECT_TRUE(r.finished) << args.join(' ').toStdString();
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_NE(r.err.find("vormex-cli: "), std::string::npos) << args.join(' ').toStdString();
    }
}

TEST_F(Usage, OptionsMayFollowTheCommand) {
    const auto r = rawCli({"devices", "--ini", iniPath, "--settings=" + settingsPath});
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST_F(Usage, DatabaseThatDoesNotLoadExits2) {
    const auto missing = rawCli({"--ini", path("nowhere/device.ini"), "--settings", settingsPath, "devices"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.out.find("設定ファイルを開けませんでした"), std::string::npos) << missing.out;

    writeFile("broken.ini", "#BEGIN\nPIC16F84A\nPGM_TYPE FLASH\nPGM 0x3FF\n#BEGIN\nPIC16F628A\n#END\n");
    writeFile("one.hex", ":02000000831665\r\n:00000001FF\r\n");
    const auto broken = rawCli({"--ini", path("broken.ini"), "--settings", settingsPath, "--device",
                                "PIC16F84A", "checksum", path("one.hex")});
    EXPECT_TRUE(broken.finished);
    EXPECT_EQ(broken.exitCode, 2);
    EXPECT_NE(broken.out.find("#End が見つかりませんでした。"), std::string::npos) << broken.out;

    writeFile("binary.ini", std::string("\x00\xff\xfe garbage\r\x01", 13));
    const auto garbage = rawCli({"--ini", path("binary.ini"), "--settings", settingsPath, "devices"});
    EXPECT_TRUE(garbage.finished);
    EXPECT_EQ(garbage.exitCode, 2);
    EXPECT_NE(garbage.err.find("cannot be read"), std::string::npos) << garbage.err;
}

}  // namespace
}  // namespace vx::clitest
