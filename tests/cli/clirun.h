// Runs vormex-cli in a fresh folder with its own database and settings.
#pragma once

#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace vx::clitest {

struct RunResult {
    int exitCode = -1;
    std::string out, err;
    bool finished = false;  // false: killed after the time limit (a hang)
};

class CliTest : public ::testing::Test {
protected:
    CliTest();

    // vormex-cli with --ini and --settings of this folder, then args; env:
    // extra environment of this run only (NAME=value).
    RunResult cli(const QStringList& args, int timeoutMs = 60000, const QStringList& env = {});
    // vormex-cli with exactly these arguments.
    RunResult rawCli(const QStringList& args, int timeoutMs = 60000, const QStringList& env = {});
    // Extra environment of the next runs (NAME=value).
    QStringList environment;

    QString path(const QString& name) const { return dir.filePath(name); }
    // Runs a program in the folder; its exit code, -1 when it did not run.
    int runTool(const QString& program, const QStringList& args);
    void writeFile(const QString& name, const std::string& bytes) const;
    std::string readFile(const QString& name) const;

    QTemporaryDir dir;
    QString iniPath, settingsPath;
};

QString SourcePath(const QString& relative);

// The serial number a simulated chip (its --sim-state file) holds as two
// RETLW words at `address` beside the test program's first word 0x3055.
std::optional<int> SimChipSerial(const std::string& state, int address);

// A chip (--sim-state) the board cannot program as a PIC16F84A: EPROM cells
// holding zeros, the PIC16F84A's device ID 0x0560; the run fails at the write.
std::string SimBadChip();

bool Contains(const std::string& text, const std::string& part);

}  // namespace vx::clitest
