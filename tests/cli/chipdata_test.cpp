// The chip's own data from the command line, on the built-in simulated
// board whose chip is kept in a state file: identify, the device ID check
// and its exit status 5, and the values a run needs when a chip's are lost.
#include <QStringList>
#include <sstream>
#include <vector>

#include "clirun.h"

namespace vx::clitest {
namespace {

const char* const kImage = ":10000000831686018312553086000820860903284E\r\n:00000001FF\r\n";
// movlw 0x25, option: 12-bit code.
const char* const kTwelveBitImage = ":04000000250C0200C9\r\n:00000001FF\r\n";

class ChipData : public CliTest {
protected:
    ChipData() {
        writeFile("image.hex", kImage);
        writeFile("twelve.hex", kTwelveBitImage);
    }
    RunResult sim(const QString& device, const QStringList& args) {
        return cli(QStringList{"--port", "sim", "--sim-state", path("chip.sim"), "--device", device} + args);
    }
    // The numbers of one line of the state file ("program", "config").
    std::vector<int> state(const std::string& key) {
        std::istringstream lines(readFile("chip.sim"));
        std::string line, word;
        while (std::getline(lines, line)) {
            std::istringstream words(line);
            words >> word;
            if (word != key)
                continue;
            std::vector<int> values;
            for (int v; words >> v;)
                values.push_back(v);
            return values;
        }
        return {};
    }
    // Rewrites one number of the state file.
    void setState(const std::string& key, std::size_t index, int value) {
        std::istringstream lines(readFile("chip.sim"));
        std::string line, text;
        while (std::getline(lines, line)) {
            if (line.rfind(key + " ", 0) == 0) {
                std::istringstream words(line);
                std::string word;
                words >> word;
                line = key;
                std::size_t i = 0;
                for (int v; words >> v; ++i)
                    line += " " + std::to_string(i == index ? value : v);
            }
            text += line + "\n";
        }
        writeFile("chip.sim", text);
    }
};

TEST_F(ChipData, IdentifyNamesThePartOrSaysWhyNot) {
    const auto known = sim("PIC12F675", {"identify"});
    EXPECT_EQ(known.exitCode, 0) << known.out << known.err;
    EXPECT_TRUE(Contains(known.out, "\nデバイスID 0x0FC0：PIC12F675 リビジョン 0\n")) << known.out;

    setState("config", 6, 0x2345);
    const auto unknown = sim("PIC12F675", {"identify"});
    EXPECT_EQ(unknown.exitCode, 1) << unknown.out;
    EXPECT_TRUE(Contains(unknown.out, "!! 不明なID 0x2345\n")) << unknown.out;

    setState("config", 6, 0x3FFF);
    const auto none = sim("PIC12F675", {"identify"});
    EXPECT_EQ(none.exitCode, 1) << none.out;
    EXPECT_TRUE(Contains(none.out, "!! チップが正しく応答しません（デバイスID 0x3FFF）。")) << none.out;

    const auto twelveBit = cli({"--port", "sim", "--device", "PIC12C508A", "identify"});
    EXPECT_EQ(twelveBit.exitCode, 2) << twelveBit.out;
    EXPECT_TRUE(Contains(twelveBit.err, "14-bit")) << twelveBit.err;
}

// A PIC12F675 in the socket while PIC12F629 is selected (same family and
// sizes, another ID): Program stops with 5 and writes nothing.
TEST_F(ChipData, WrongChipExits5UnlessIgnoreIdIsGiven) {
    ASSERT_EQ(sim("PIC12F675", {"program", "image.hex"}).exitCode, 0);
    const std::string chip = readFile("chip.sim");

    const auto program = sim("PIC12F629", {"--yes", "program", "image.hex"});
    EXPECT_EQ(program.exitCode, 5) << program.out << program.err;
    EXPECT_TRUE(Contains(program.out, "? ソケットのチップは選択したデバイス（PIC12F629）ではありません。\n"
                                      "? デバイスID 0x0FC0：PIC12F675 リビジョン 0\n"))
        << program.out;
    EXPECT_TRUE(Contains(program.out, "!! ソケットのチップが選択したデバイスではないため、中止しました。")) << program.out;
    EXPECT_EQ(readFile("chip.sim"), chip);

    const auto ignored = sim("PIC12F629", {"--yes", "--ignore-id", "program", "image.hex"});
    EXPECT_EQ(ignored.exitCode, 0) << ignored.out << ignored.err;
    EXPECT_TRUE(Contains(ignored.out, "-> 続行 (--ignore-id)")) << ignored.out;
}

// A PIC12C508A whose calibration word was erased (a windowed part under UV).
TEST_F(ChipData, LostCalibrationWordExits2UntilGiven) {
    ASSERT_EQ(sim("PIC12C508A", {"blank"}).exitCode, 0);
    setState("program", 511, 0x0FFF);
    const std::string chip = readFile("chip.sim");

    const auto missing = sim("PIC12C508A", {"program", "twelve.hex"});
    EXPECT_EQ(missing.exitCode, 2) << missing.out << missing.err;
    // A one-time part is never erased: the stop does not say so.
    EXPECT_TRUE(Contains(missing.out, "!! キャリブレーション値がないため、中止しました。")) << missing.out;
    EXPECT_TRUE(Contains(missing.err, "--calibration 0x0Cnn")) << missing.err;
    EXPECT_EQ(readFile("chip.sim"), chip);

    const auto given = sim("PIC12C508A", {"--calibration", "0x0C55", "program", "twelve.hex"});
    EXPECT_EQ(given.exitCode, 0) << given.out << given.err;
    EXPECT_EQ(state("program").at(511), 0x0C55);
    const auto verify = sim("PIC12C508A", {"verify", "twelve.hex"});
    EXPECT_EQ(verify.exitCode, 0) << verify.out;
    EXPECT_TRUE(Contains(verify.out, "ベリファイは正常終了しました。\nキャリブレーション値 0x0C55（チップの値を保持）\n"))
        << verify.out;

    // The chip's own is good now: a value given is said to go unused.
    const auto unused = sim("PIC12C508A", {"--yes", "--calibration", "0x0C40", "program", "twelve.hex"});
    EXPECT_TRUE(Contains(unused.out, "--calibration の値は使いませんでした")) << unused.out;
    EXPECT_EQ(state("program").at(511), 0x0C55);
}

// A bulk erase (by another programmer) took a PIC12F675's calibration word
// and band-gap bits.
TEST_F(ChipData, LostBandGapBitsExit2UntilGiven) {
    ASSERT_EQ(sim("PIC12F675", {"blank"}).exitCode, 0);
    setState("program", 1023, 0x3FFF);
    setState("config", 7, 0x3FFF);
    const auto missing = sim("PIC12F675", {"--calibration", "0x3480", "program", "image.hex"});
    EXPECT_EQ(missing.exitCode, 2) << missing.out << missing.err;
    EXPECT_TRUE(Contains(missing.out, "!! バンドギャップ値がないため、消去する前に中止しました。")) << missing.out;
    EXPECT_TRUE(Contains(missing.err, "--band-gap")) << missing.err;
    EXPECT_FALSE(Contains(missing.err, "--calibration")) << missing.err;

    const auto given = sim("PIC12F675", {"--calibration", "0x3480", "--band-gap", "1", "program", "image.hex"});
    EXPECT_EQ(given.exitCode, 0) << given.out << given.err;
    EXPECT_EQ(state("config").at(7) & 0x3000, 0x1000);
    EXPECT_EQ(state("program").at(1023), 0x3480);
}

// watch takes the chip's values as program does, and says what is missing the same way.
TEST_F(ChipData, WatchTakesTheChipValueOptionsOfProgram) {
    ASSERT_EQ(sim("PIC12F675", {"blank"}).exitCode, 0);
    setState("program", 1023, 0x3FFF);
    setState("config", 7, 0x3FFF);
    const auto missing = sim("PIC12F675", {"--calibration", "0x3480", "--ignore-id", "watch", "--once", "image.hex"});
    EXPECT_EQ(missing.exitCode, 2) << missing.out << missing.err;
    EXPECT_TRUE(Contains(missing.out, "  no-chip-value  ")) << missing.out;
    EXPECT_TRUE(Contains(missing.err, "give them with --band-gap N (0..3)")) << missing.err;
    EXPECT_FALSE(Contains(missing.err, "--calibration")) << missing.err;
}

TEST_F(ChipData, ValuesThatDoNotFitTheDeviceExit2AndTouchNothing) {
    const std::vector<std::pair<QString, QStringList>> bad{
        {"PIC12F675", {"--calibration", "0x1234"}},  {"PIC12F675", {"--calibration", "0x0C80"}},
        {"PIC12F675", {"--calibration", "3480"}},    {"PIC12F675", {"--band-gap", "4"}},
        {"PIC16F84A", {"--calibration", "0x3480"}},  {"PIC12C508A", {"--band-gap", "2"}},
    };
    for (const auto& [device, options] : bad) {
        const auto r = sim(device, options + QStringList{"program", "image.hex"});
        EXPECT_EQ(r.exitCode, 2) << device.toStdString() << " " << options.join(' ').toStdString() << r.out;
        EXPECT_FALSE(Contains(r.out, "ライターを探しています")) << r.out;
    }
    for (const char* empty : {"--calibration=", "--band-gap="}) {
        const auto r = sim("PIC12F675", {empty, "program", "image.hex"});
        EXPECT_EQ(r.exitCode, 2) << empty;
        EXPECT_TRUE(Contains(r.err, "needs a value")) << r.err;
    }
    EXPECT_EQ(sim("PIC12F675", {"--band-gap", "", "program", "image.hex"}).exitCode, 2);
    EXPECT_EQ(sim("PIC12F675", {"--calibration", "0x3480", "read"}).exitCode, 2);
    EXPECT_EQ(sim("PIC12F675", {"--ignore-id", "read"}).exitCode, 2);

    std::string ini = readFile("device.ini");
    ini.replace(ini.find("DEVICE_ID 0x0FC0"), 16, "DEVICE_ID 0FC0");
    writeFile("device.ini", ini);
    const auto r = sim("PIC12F675", {"program", "image.hex"});
    EXPECT_EQ(r.exitCode, 2) << r.out;
    EXPECT_TRUE(Contains(r.out, "DEVICE_ID の値 '0FC0' はデバイスIDではありません。")) << r.out;
    EXPECT_TRUE(readFile("chip.sim").empty());
}

}  // namespace
}  // namespace vx::clitest
