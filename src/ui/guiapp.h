// One run of the window: the seams, the session and the main window, and the
// one place where commands are connected to the window.
#pragma once

#include <QPoint>
#include <QString>
#include <memory>

#include "app/startup.h"
#include "qtplatform/qtprocesses.h"
#include "qtplatform/qtseams.h"
#include "session/session.h"
#include "ui/mainwindow.h"
#include "ui/qtui.h"

namespace vx {

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

private:
    void connectCommands();
    void connectBoardCommands();
    void connectOptionCommands();
    void connectWindows();

    SteadyClock clock_;
    std::unique_ptr<SerialPort> port_;
    QtUi ui_;
    QtProcesses processes_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<MainWindow> window_;
    SerialWindow* serialWindow_ = nullptr;  // a child of the main window
};

// The folder of the executable when it holds device.ini, else the per-user
// data folder, seeded with the shipped device.ini (and kept up to date with
// the shipped hint.pdf). Ends in '/'.
QString LocateAppDir();

// The manual's folder when AppDir has none: the installed one. "" = AppDir + "manual/".
QString LocateManualDir(const QString& appDir);

// A saved position (twips) in pixels; a coordinate that was not readable
// keeps the laid-out one.
QPoint PixelPosition(const SavedPosition& saved, QPoint laidOut);

// Date and time in the system's short formats.
std::string SystemTimeStamp();

}  // namespace vx
