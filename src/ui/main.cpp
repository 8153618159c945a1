#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

#include "qtplatform/qtseams.h"
#include "ui/guiapp.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    vx::SetApplicationIdentity();
    vx::InstallQtTranslations();

    // One instance per user; a second one ends silently.
    QString runtimeDir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtimeDir.isEmpty())
        runtimeDir = QDir::tempPath();
    QLockFile instance(runtimeDir + "/vormex-v3.lock");
    if (!instance.tryLock(0))
        return 0;

    // The user's own settings, or the file the environment names (as for vormex-cli).
    const QString settingsFile = qEnvironmentVariable("VORMEX_SETTINGS_FILE");
    std::unique_ptr<vx::QtSettingsStore> settings = settingsFile.isEmpty()
                                                        ? std::make_unique<vx::QtSettingsStore>()
                                                        : std::make_unique<vx::QtSettingsStore>(settingsFile);

    QStringList args = QApplication::arguments();
    args.removeFirst();
    vx::GuiApp gui(*settings, vx::LocateAppDir().toStdString());
    gui.start(args.join(' ').toStdString());
    // Closed while starting up: the event loop would wait for nothing.
    if (!gui.window().isVisible())
        return 0;
    return app.exec();
}
