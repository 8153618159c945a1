#include "clirun.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <iterator>
#include <sstream>
#include <vector>

namespace vx::clitest {

QString SourcePath(const QString& relative) { return QStringLiteral(VORMEX_SOURCE_DIR "/") + relative; }

CliTest::CliTest() : iniPath(dir.filePath("device.ini")), settingsPath(dir.filePath("settings.ini")) {
    QFile::copy(SourcePath("data/device.ini"), iniPath);
}

RunResult CliTest::cli(const QStringList& args, int timeoutMs, const QStringList& env) {
    return rawCli(QStringList{"--ini", iniPath, "--settings", settingsPath} + args, timeoutMs, env);
}

RunResult CliTest::rawCli(const QStringList& args, int timeoutMs, const QStringList& extra) {
    QProcess process;
    process.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Never the user's own settings or data folder.
    env.remove("VORMEX_SETTINGS_FILE");
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    env.insert("XDG_DATA_HOME", dir.filePath("data"));
    for (const auto& entry : environment + extra)
        env.insert(entry.section('=', 0, 0), entry.section('=', 1));
    process.setProcessEnvironment(env);
    process.start(VORMEX_CLI, args);
    RunResult result;
    result.finished = process.waitForFinished(timeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished();
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput().toStdString();
    result.err = process.readAllStandardError().toStdString();
    return result;
}

int CliTest::runTool(const QString& program, const QStringList& args) {
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.start(program, args);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}

std::optional<int> SimChipSerial(const std::string& state, int address) {
    std::istringstream in(state);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("program ", 0) != 0)
            continue;
        std::istringstream words(line.substr(8));
        std::vector<int> w{std::istream_iterator<int>(words), std::istream_iterator<int>()};
        if (static_cast<int>(w.size()) <= address + 1 || w[0] != 0x3055 || (w[address] >> 8) != 0x34 ||
            (w[address + 1] >> 8) != 0x34)
            return std::nullopt;
        return (w[address] & 0xFF) << 8 | (w[address + 1] & 0xFF);
    }
    return std::nullopt;
}

std::string SimBadChip() {
    std::string words;
    for (int i = 0; i < 1024; ++i)
        words += " 0";
    std::string data;
    for (int i = 0; i < 64; ++i)
        data += " 255";
    return "family EPROM\nwords 1024\neeprom 64\nprotect 0\nconfig 16383 16383 16383 16383 0 0 1376 16383\n"
           "program" + words + "\ndata" + data + "\n";
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

void CliTest::writeFile(const QString& name, const std::string& bytes) const {
    QFile file(path(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

std::string CliTest::readFile(const QString& name) const {
    QFile file(path(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().toStdString();
}

}  // namespace vx::clitest

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
