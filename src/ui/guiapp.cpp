#include "ui/guiapp.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QTranslator>

#include "app/chipentry.h"
#include "app/menus.h"
#include "app/portselect.h"
#include "app/readchip.h"
#include "app/startup.h"
#include "image/history.h"
#include "ops/detect.h"
#include "ops/oplog.h"
#include "ops/workflows.h"
#include "qtplatform/qtserialport.h"
#include "qtplatform/shippeddata.h"
#include "toolchain/build.h"
#include "ui/aboutwindow.h"
#include "ui/frmhint.h"
#include "ui/frmserch.h"
#include "ui/imagewiring.h"
#include "ui/indexwindow.h"
#include "ui/portwindow.h"
#include "ui/productionwindow.h"
#include "ui/screenplace.h"
#include "ui/serialwindow.h"
#include "ui/toolsettingswindow.h"
#include "ui/viewers.h"

namespace vx {

GuiApp::GuiApp(SettingsStore& settings, const std::string& appDir)
    // The demo board's socket holds a chip of the selected device.
    : port_(std::make_unique<QtSerialPort>([this] { return session_ ? &session_->device : nullptr; })) {
    session_ = std::make_unique<Session>(*port_, settings, clock_, ui_, processes_);
    session_->run.appDir = appDir;
    session_->run.manualDir = LocateManualDir(QString::fromStdString(appDir)).toStdString();
    window_ = std::make_unique<MainWindow>(*session_);
    serialWindow_ = new SerialWindow(*session_, window_.get());
    // The operator's screen programs exactly as Command_pogram does; its
    // questions and boxes stand over the screen, not behind it.
    productionWindow_ = new ProductionWindow(
        *session_, *serialWindow_,
        [this] {
            ui_.parent = productionWindow_;
            const Outcome outcome = RunProgram(*session_);
            ui_.parent = window_.get();
            return outcome;
        },
        window_.get());
    serialWindow_->openProduction = [this] { productionWindow_->open(); };
    ui_.parent = window_.get();
    files_ = std::make_unique<QtFileWatcher>([this] {
        const bool settling = hexWatch_->tick();
        ui_.render();
        return settling;
    });
    hexWatch_ = std::make_unique<HexWatch>(*session_, *files_, clock_);
    ui_.render = [this] {
        followLoadedFile();
        window_->render();
        serialWindow_->render();
        productionWindow_->render();
    };
    (new Viewers(*session_, window_.get()))->install(processes_);
    connectCommands();
}

void GuiApp::followLoadedFile() {
    const LoaderState& loader = session_->loader;
    if (loader.loads == followedLoads_ && loader.loadedPath == hexWatch_->path())
        return;
    followedLoads_ = loader.loads;
    hexWatch_->follow(loader.loadedPath);
}

GuiApp::~GuiApp() {
    ui_.render = nullptr;
    ui_.parent = nullptr;
}

void GuiApp::connectCommands() {
    connectBoardCommands();
    connectOptionCommands();
    connectWindows();
    // The port window and the overwrite question plug into ui_.portWindow and
    // ui_.overwriteWindow; windows that must unload with the main window add
    // themselves to w.closing.
}

// The history, the workflows, the port and exit.
void GuiApp::connectBoardCommands() {
    Session& s = *session_;
    MainWindow& w = *window_;
    for (int n = 1; n <= 5; ++n)
        w.connectCommand(QString("nmuFile%1").arg(n), [&s, n] { HistoryChosen(s, n); });
    w.connectCommand("nmuHistryClear", [&s] { HistoryClear(s); });
    w.connectCommand("mnuLogFileOpen", [&s] { OpenLogFiles(s); });
    w.connectCommand("Command_pogram", [&s] { RunProgram(s); });
    w.connectCommand("Command_read", [&s] { ReadChipIntoImage(s); });
    w.connectCommand("Command_Vrify", [&s] { RunVerify(s); });
    w.connectCommand("Command_blank", [&s] { RunBlankCheck(s); });
    w.connectCommand("mnuDevice_clear", [&s] { RunErase(s); });
    w.connectCommand("mnuDeviceId", [&s] { RunIdentify(s); });
    ui_.overwriteWindow = [this, &s] { return ShowFrmHint(s, ui_.parent); };
    ui_.checkChipValues = [&s](const ChipValueQuestion& q, const ChipValueAnswer& a) {
        return ChipValueEntryProblem(s, q, a);
    };
    w.connectCommand("exit", [&s, &w] {
        if (ExitRequested(s))
            w.close();
    });
}

// The status labels, the check-mark options, help, search and the port.
void GuiApp::connectOptionCommands() {
    Session& s = *session_;
    MainWindow& w = *window_;
    w.connectCommand("Label_FirmwareVersion", [&s] { ExplainFirmwareLabel(s); });
    w.connectDoubleClick("Label_FirmwareVersion", [&s] { SearchBoardFromLabel(s); });
    w.connectCommand("Label_Ver", [&s] { ExplainVersionLabel(s); });
    w.connectCommand("LblCheckSUM", [&s] { ExplainChecksumLabel(s); });
    w.connectCommand("mnuBlankSkip", [&s] { ToggleBlankSkip(s); });
    w.connectCommand("mnuComMode1", [&s] { ToggleCommMode1(s); });
    w.connectCommand("mnuKeepEeprom", [&s] { ToggleKeepEeprom(s); });
    w.connectCommand("mnuWatchHex", [&s] { ToggleWatchHex(s); });
    w.connectCommand("mnuAutoProgram", [&s] { ToggleAutoProgram(s); });
    w.connectCommand("mnuBoardInfomation", [&s, &w] {
        ToggleBoardInformation(s);
        w.render();  // the board window shows without taking the focus
    });
    w.connectCommand("info", [&s] { ShowInformation(s); });
    w.connectCommand("mnuHelp", [&s] { OpenHelp(s); });
    w.connectCommand("mnuSerch", [&s, &w] { ShowFrmSerch(s, &w); });
    w.connectCommand("confirm", [&s] { PortSettingsCommand(s); });
    w.connectCommand("Command_com", [&s] { PortSettingsCommand(s); });
    w.connectCommand("Command_OPEN", [&s] { ReleasePort(s); });
    ui_.portWindow = [this] {
        PortWindow window(*session_, window_.get());
        window.exec();
    };
}

// The image's commands, the build, and the windows they open.
void GuiApp::connectWindows() {
    Session& s = *session_;
    MainWindow& w = *window_;
    new ImageWiring(w, s);
    w.connectCommand("mnuEditer", [&s] { OpenInEditor(s); });
    w.connectCommand("mnuSourceOpen", [&s] { ChooseSource(s); });
    w.connectCommand("mnuRELOAD", [&s] { ReloadHex(s); });
    w.connectCommand("mnuASMwithRELOAD", [&s] { BuildAndReload(s); });
    w.connectCommand("mnuMPASMsetting", [&s, &w] { ToolSettingsWindow(s, &w).exec(); });
    w.connectCommand("nmuindex", [&s, &w] { IndexWindow(s, &w).exec(); });
    SerialWindow* serial = serialWindow_;
    w.connectCommand("mnuSerialPgmSetting", [serial] { serial->open(); });
    w.connectCommand("version", [&s, &w, serial] {
        AboutWindow about(&w);
        about.exec();
        if (about.iconClicked()) {
            RevealSerialProgramming(s);
            w.render();
            serial->open();
        }
    });
    w.closing.push_back([serial] { serial->unload(); });
}

bool GuiApp::start(const std::string& commandLine) {
    const QSize frame = FramedSize(*window_);
    MoveTo(*window_, FirstPosition(MainWindowPosition(session_->settings), {window_->x(), window_->y()},
                                   frame.width(), frame.height(), AvailableArea(*window_)));
    window_->show();
    QCoreApplication::processEvents();
    KeepOnScreen(*window_);
    const bool started = Startup(*session_, commandLine, JapaneseTimeStamp);
    window_->render();
    if (started)
        serialWindow_->offerSavedRun();
    return started;
}

QString LocateAppDir() {
    const QString exeDir = QCoreApplication::applicationDirPath();
    if (QFile::exists(exeDir + "/device.ini"))
        return exeDir + "/";
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(dataDir);
    const QString shipped = ShippedDataDir();
    const QString ini = dataDir + "/device.ini";
    // The user's database is theirs to edit: seeded once, never replaced.
    if (!QFile::exists(ini)) {
        const QString source = QFile::exists(shipped + "device.ini") ? shipped + "device.ini" : ":/device.ini";
        if (QFile::copy(source, ini))
            QFile::setPermissions(ini, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    // hint.pdf follows the installed program.
    const QFileInfo shippedHint(shipped + "hint.pdf");
    const QFileInfo hint(dataDir + "/hint.pdf");
    if (shippedHint.exists() && (!hint.exists() || hint.size() != shippedHint.size() ||
                                 hint.lastModified() < shippedHint.lastModified())) {
        QFile::remove(hint.filePath());
        QFile::copy(shippedHint.filePath(), hint.filePath());
    }
    return dataDir + "/";
}

QString LocateManualDir(const QString& appDir) {
    if (QFileInfo(appDir + "manual").isDir())
        return {};
    const QString shipped = ShippedDataDir();
    return shipped.isEmpty() ? QString() : shipped + "manual/";
}

void SetApplicationIdentity() {
    QCoreApplication::setApplicationName("Vormex V3");
    QGuiApplication::setDesktopFileName("example.vormex.VormexV3");
    QGuiApplication::setWindowIcon(QIcon(":/icons/vormex-64.png"));
}

bool InstallQtTranslations() {
    // Dates, numbers and the widgets' own formats follow too.
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan), "qt", "_",
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        QCoreApplication::installTranslator(translator))
        return true;
    delete translator;
    return false;
}

std::string JapaneseTimeStamp() {
    const QLocale locale(QLocale::Japanese, QLocale::Japan);
    const QDateTime now = QDateTime::currentDateTime();
    return (locale.toString(now.date(), QLocale::ShortFormat) + " " + locale.toString(now.time(), QLocale::ShortFormat))
        .toStdString();
}

}  // namespace vx
