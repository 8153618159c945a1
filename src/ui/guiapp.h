// One run of the window: the seams, the session and the main window, and the
// one place where commands are connected to the window.
#pragma once

#include <QPoint>
#include <QString>
#include <memory>

#include "app/hexwatch.h"
#include "app/startup.h"
#include "qtplatform/qtfilewatcher.h"
#include "qtplatform/qtprocesses.h"
#include "qtplatform/qtseams.h"
#include "session/session.h"
#include "ui/mainwindow.h"
#include "ui/qtui.h"

namespace vx {

class ProductionWindow;
class SerialWindow;

class GuiApp {
public:
    GuiApp(SettingsStore& settings, const std::string& appDir);
    ~GuiApp();

    // Places and shows the main window, then runs the start-up sequence.
    bool start(const std::string& commandLine);

    Session& session() { return *session_; }
    MainWindow& window() { return *window_; }
    QtUi& ui() { return ui_; }
    SerialWindow& serialWindow() { return *serialWindow_; }
    ProductionWindow& productionWindow() { return *productionWindow_; }

private:
    void connectCommands();
    void connectBoardCommands();
    void connectOptionCommands();
    void connectWindows();
    // The watch follows the file loaded last.
    void followLoadedFile();

    SteadyClock clock_;
    std::unique_ptr<SerialPort> port_;
    QtUi ui_;
    QtProcesses processes_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<MainWindow> window_;
    SerialWindow* serialWindow_ = nullptr;  // a child of the main window
    ProductionWindow* productionWindow_ = nullptr;  // likewise
    std::unique_ptr<QtFileWatcher> files_;
    std::unique_ptr<HexWatch> hexWatch_;
    int followedLoads_ = -1;
};

// The folder of the executable when it holds device.ini, else the per-user
// data folder, seeded with the shipped device.ini (and kept up to date with
// the shipped hint.pdf). Ends in '/'.
QString LocateAppDir();

// The manual's folder when AppDir has none: the installed one. "" = AppDir + "manual/".
QString LocateManualDir(const QString& appDir);

// The program's name (also the settings' application name and, on X11, the
// class of its windows), its desktop entry (the Wayland application id) and
// its icon.
void SetApplicationIdentity();

// Qt's own texts (file dialogs, the standard buttons) and formats in
// Japanese like the rest of the program, whatever the system's language.
// False when Qt's translations are not installed: those texts then stay in
// English.
bool InstallQtTranslations();

// Date and time in the short Japanese formats ("2024/05/01 9:30"), whatever
// the system's language: the log's start line is Japanese like its others.
std::string JapaneseTimeStamp();

}  // namespace vx
