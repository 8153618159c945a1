#include "qtplatform/qtprocesses.h"

#include <QDesktopServices>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace vx {

namespace {

// Said in the program's viewer when it stands in for the desktop's application.
const char* const kNoApplication = "関連付けられたアプリケーションで開けなかったので、このウインドウに表示しています。";
const char* const kNoEditor = "テキストエディタを起動できなかったので、このウインドウに表示しています。";
const char* const kTerminalEditor = "既定のテキストエディタは端末で動くので、このウインドウに表示しています。";

}  // namespace

QtProcesses::QtProcesses() = default;

QtProcesses::~QtProcesses() {
    // Tools and openers still running when the program ends are left to run on their own.
    for (auto& [id, process] : running_) {
        if (process->state() != QProcess::NotRunning)
            process.release()->setParent(nullptr);
    }
    for (QProcess* opener : openers_) {
        QObject::disconnect(opener, nullptr, nullptr, nullptr);
        if (opener->state() == QProcess::NotRunning)
            delete opener;
    }
}

ProcessId QtProcesses::start(const std::string& program, const std::vector<std::string>& args,
                             const std::string& workDir) {
    return startLogged(program, args, workDir, "");
}

ProcessId QtProcesses::startLogged(const std::string& program, const std::vector<std::string>& args,
                                   const std::string& workDir, const std::string& outputFile) {
    auto process = std::make_unique<QProcess>();
    QStringList arguments;
    for (const auto& arg : args)
        arguments << QString::fromStdString(arg);
    if (!workDir.empty())
        process->setWorkingDirectory(QString::fromStdString(workDir));
    if (outputFile.empty()) {
        process->setProcessChannelMode(QProcess::ForwardedChannels);
    } else {
        // Straight into the file, never through a pipe: a tool that prints
        // megabytes can neither fill memory nor stall on a full pipe.
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->setStandardOutputFile(QString::fromStdString(outputFile));
    }
    process->start(QString::fromStdString(program), arguments);
    if (!process->waitForStarted(5000))
        return {};
    const std::int64_t id = nextId_++;
    running_[id] = std::move(process);
    return {id};
}

std::optional<int> QtProcesses::exitCode(ProcessId id) {
    const auto it = running_.find(id.value);
    if (it == running_.end())
        return -1;
    QProcess& process = *it->second;
    if (process.state() != QProcess::NotRunning && !process.waitForFinished(0))
        return std::nullopt;
    const int code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    running_.erase(it);
    return code;
}

bool QtProcesses::inOwnViewer(const std::string& path, const QString& why) {
    return inProgram ? inProgram(path, why.toStdString()) : false;
}

void QtProcesses::launchJudged(const QString& program, const QStringList& args, const std::string& path,
                               const QString& why) {
    auto* process = new QProcess;
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->setStandardOutputFile(QProcess::nullDevice());
    openers_.push_back(process);
    const auto done = [this, process, path, why](bool opened) {
        std::erase(openers_, process);
        process->deleteLater();
        if (!opened)
            inOwnViewer(path, why);
    };
    QObject::connect(process, &QProcess::finished, process, [done](int code, QProcess::ExitStatus status) {
        done(status == QProcess::NormalExit && code == 0);
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [done](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            done(false);
    });
    process->start(program, args);
}

bool QtProcesses::openWithAssociated(const std::string& path) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // xdg-open tells by its exit status whether an application took the file
    // (nonzero: none for this type, or no tool); it may also keep running while
    // that application does, so it is judged when it ends, never waited for.
    const QString opener = QStandardPaths::findExecutable("xdg-open");
    if (opener.isEmpty())
        return inOwnViewer(path, "");
    launchJudged(opener, {QString::fromStdString(path)}, path, kNoApplication);
    return true;
#else
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path))))
        return true;
    return inOwnViewer(path, kNoApplication);
#endif
}

bool QtProcesses::openInTextEditor(const std::string& path) {
    const QString file = QString::fromStdString(path);
    // The desktop's plain-text application, whatever the file's extension.
    const QString launcher = QStandardPaths::findExecutable("gtk-launch");
    const QString xdgMime = QStandardPaths::findExecutable("xdg-mime");
    if (!launcher.isEmpty() && !xdgMime.isEmpty()) {
        QProcess query;
        query.start(xdgMime, {"query", "default", "text/plain"});
        if (query.waitForFinished(3000)) {
            const QString desktopId = QString::fromUtf8(query.readAllStandardOutput()).trimmed();
            // A terminal editor started from a window runs unseen.
            if (!desktopId.isEmpty() && RunsInTerminal(desktopId))
                return inOwnViewer(path, kTerminalEditor);
            if (!desktopId.isEmpty()) {
                launchJudged(launcher, {desktopId, file}, path, kNoEditor);
                return true;
            }
        }
    }
    // Not $VISUAL or $EDITOR: those name terminal editors, which started from a
    // window without a terminal run unseen while the open is reported done.
    return openWithAssociated(path);
}

bool RunsInTerminal(const QString& desktopId) {
    QFile entry(QStandardPaths::locate(QStandardPaths::ApplicationsLocation, desktopId));
    if (!entry.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    bool inMainGroup = false;
    while (!entry.atEnd()) {
        const QString line = QString::fromUtf8(entry.readLine()).trimmed();
        if (line.startsWith('['))
            inMainGroup = line == "[Desktop Entry]";
        else if (inMainGroup && line.startsWith("Terminal="))
            return line.mid(9).trimmed() == "true";
    }
    return false;
}

bool QtProcesses::showHelp(const std::string& path) {
    return help ? help(path) : openWithAssociated(path);
}

}  // namespace vx
