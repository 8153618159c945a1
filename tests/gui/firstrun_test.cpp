// The program's very first start, as a new user has it: an empty home.
#include <QDirIterator>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class FirstRunTest : public QObject {
    Q_OBJECT
private slots:
    void emptyHomeGetsOneSettingsFileWithTheSimulatedBoard();
};

namespace {
QStringList filesUnder(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}
}  // namespace

void FirstRunTest::emptyHomeGetsOneSettingsFileWithTheSimulatedBoard() {
    QTemporaryDir home;
    QTemporaryDir runtime;
    const QString buildFolder = QFileInfo(VORMEX_GUI).absolutePath();
    // The log files belong in the program folder; no setting does.
    const auto buildFiles = [&buildFolder] {
        QStringList files = QDir(buildFolder).entryList(QDir::Files | QDir::Hidden);
        files.removeIf([](const QString& f) { return f == "LOG.txt" || f == "LOG_OLD.txt"; });
        return files;
    };
    const QStringList before = buildFiles();

    QProcessEnvironment env;
    env.insert("HOME", home.path());
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("PATH", qEnvironmentVariable("PATH"));
    QProcess gui;
    gui.setProcessEnvironment(env);
    gui.start(VORMEX_GUI);
    QVERIFY(gui.waitForStarted(10000));
    const QString ini = home.path() + "/.config/Vormex V3/Vormex V3.ini";
    // The device selection that follows the board search stores its index.
    QTRY_VERIFY_WITH_TIMEOUT(QSettings(ini, QSettings::IniFormat).contains("Settings/deviceNew"), 60000);
    gui.terminate();
    QVERIFY(gui.waitForFinished(10000));

    // The settings store's lock stays behind when the program is stopped in
    // the middle of a write; it is no settings file.
    QStringList config = filesUnder(home.path() + "/.config");
    config.removeIf([](const QString& f) { return f.endsWith(".ini.lock"); });
    QCOMPARE(config, QStringList{ini});
    for (const QString& file : filesUnder(home.path()))
        QVERIFY2(!file.endsWith(".ini") || file == ini, qPrintable(file));
    QSettings settings(ini, QSettings::IniFormat);
    QCOMPARE(settings.value("Settings/ComNo").toString(), QString("1"));
    QCOMPARE(settings.value("Settings/ComDevice1").toString(), QString("sim"));
    QCOMPARE(buildFiles(), before);
}

QTEST_GUILESS_MAIN(FirstRunTest)
#include "firstrun_test.moc"
