// vormex-cli: the programmer without a window, for scripts and production lines.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>

#include "cli/boardport.h"
#include "cli/cliui.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "cli/readonlysettings.h"
#include "device/devicedb.h"
#include "qtplatform/qtseams.h"
#include "qtplatform/shippeddata.h"
#include "session/session.h"

namespace {

using namespace vx;

// Nothing is started or opened on a desktop from the command line.
class NoProcesses : public Processes {
public:
    ProcessId start(const std::string&, const std::vector<std::string>&, const std::string&) override { return {}; }
    std::optional<int> exitCode(ProcessId) override { return -1; }
    bool openWithAssociated(const std::string&) override { return false; }
    bool openInTextEditor(const std::string&) override { return false; }
};

std::unique_ptr<QtSettingsStore> openSettings(const cli::Options& o) {
    QString path = QString::fromStdString(o.settingsPath);
    if (path.isEmpty())
        path = qEnvironmentVariable("VORMEX_SETTINGS_FILE");
    return path.isEmpty() ? std::make_unique<QtSettingsStore>() : std::make_unique<QtSettingsStore>(path);
}

// The folder of device.ini and LOG.txt: that of --ini; else the program's
// folder when it holds device.ini (portable layout); else the per-user data
// folder (where an installed program's window keeps its copy of device.ini).
std::string appDir(const cli::Options& o) {
    QString dir;
    if (!o.iniPath.empty()) {
        dir = QFileInfo(QString::fromStdString(o.iniPath)).absolutePath();
    } else if (QFileInfo::exists(QCoreApplication::applicationDirPath() + "/device.ini")) {
        dir = QCoreApplication::applicationDirPath();
    } else {
        dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QDir().mkpath(dir);  // LOG.txt goes here
    }
    dir = QDir::cleanPath(dir);
    return (dir.endsWith('/') ? dir : dir + '/').toStdString();
}

int run(const cli::Options& o) {
    auto qtSettings = openSettings(o);
    cli::ReadOnlySettings settings(*qtSettings);
    cli::CliClock clock;
    NoProcesses processes;
    cli::PortProxy port;
    cli::CliUi ui(stdout, isatty(STDERR_FILENO) ? stderr : nullptr, o.yes);
    ui.ignoreId = o.ignoreId;

    Session s(port, settings, clock, ui, processes);
    ui.watch(s.view);
    s.run.appDir = appDir(o);
    if (!o.iniPath.empty())
        s.db.path = QFileInfo(QString::fromStdString(o.iniPath)).absoluteFilePath().toStdString();
    else if (const QString shipped = ShippedDataDir(); !shipped.isEmpty() && QFileInfo::exists(shipped + "device.ini") &&
                                                        !QFileInfo::exists(QString::fromStdString(DeviceIniPath(s))))
        s.db.path = (shipped + "device.ini").toStdString();  // installed, the window never started: the installed database
    s.link.commMode1 = o.commMode1;
    s.view.menus["mnuComMode1"].checked = o.commMode1;
    s.view.menus["mnuBlankSkip"].checked = o.skipBlank;
    s.view.menus["mnuKeepEeprom"].checked = o.keepEeprom;

    if (!LoadDeviceList(s) || s.db.error) {
        ui.flush();
        std::fprintf(stderr, "vormex-cli: the device database %s cannot be read\n", DeviceIniPath(s).c_str());
        return cli::kExitUsage;
    }
    cli::Context context{o, s, ui, port, clock};
    const int status = cli::RunCommand(context);
    ui.flush();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    // A reader that goes away (| head) must not kill a run halfway through
    // programming a chip: lines to a closed pipe are simply lost.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("Vormex V3");

    vx::cli::Options options;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (const auto error = vx::cli::ParseOptions(args, options)) {
        std::fprintf(stderr, "vormex-cli: %s\nTry 'vormex-cli --help' for more information.\n", error->c_str());
        return vx::cli::kExitUsage;
    }
    if (options.help) {
        std::fputs(vx::cli::kHelpText, stdout);
        return vx::cli::kExitOk;
    }
    if (options.version) {
        std::printf("vormex-cli %d.%d.%d\n", VORMEX_VERSION_MAJOR, VORMEX_VERSION_MINOR, VORMEX_VERSION_PATCH);
        return vx::cli::kExitOk;
    }
    return run(options);
}
