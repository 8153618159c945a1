// External programs through QProcess: program and arguments, never a shell.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "base/seams.h"

#include <QString>
#include <QStringList>

class QProcess;

namespace vx {

class QtProcesses : public Processes {
public:
    QtProcesses();
    ~QtProcesses() override;
    ProcessId start(const std::string& program, const std::vector<std::string>& args,
                    const std::string& workDir) override;
    ProcessId startLogged(const std::string& program, const std::vector<std::string>& args,
                          const std::string& workDir, const std::string& outputFile) override;
    std::optional<int> exitCode(ProcessId id) override;
    bool openWithAssociated(const std::string& path) override;
    bool openInTextEditor(const std::string& path) override;
    bool showHelp(const std::string& path) override;

    // The program's own viewers. inProgram shows a file the desktop could not
    // open (no opener, no application for its type, an editor that failed or
    // needs a terminal), with why ("" when nothing need be said); help shows a
    // manual page. Without them a file the desktop cannot open stays unopened.
    std::function<bool(const std::string& path, const std::string& why)> inProgram;
    std::function<bool(const std::string& path)> help;

private:
    bool inOwnViewer(const std::string& path, const QString& why);
    // Starts program; when it fails or ends with a status other than 0, the
    // file goes to the program's viewer with why.
    void launchJudged(const QString& program, const QStringList& args, const std::string& path, const QString& why);

    std::map<std::int64_t, std::unique_ptr<QProcess>> running_;
    std::vector<QProcess*> openers_;  // xdg-open runs, judged when they end
    std::int64_t nextId_ = 1;
};

// Whether the desktop entry desktopId ("vim.desktop") runs in a terminal.
bool RunsInTerminal(const QString& desktopId);

}  // namespace vx
