// External programs are started without a shell and polled to their end.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "qtplatform/qtprocesses.h"

using namespace vx;

class QtProcessesTest : public QObject {
    Q_OBJECT

private slots:
    void argumentsReachTheProgramWhole();
    void exitCodeIsPolledUntilTheEnd();
    void missingProgramGivesNoProcess();
    void loggedOutputAndErrorGoToTheFile();
    void anEditorThatFailsOrNeedsATerminalGivesWayToTheProgramsViewer();

private:
    static int runToEnd(QtProcesses& processes, ProcessId id) {
        for (int i = 0; i < 1000; ++i) {
            if (const auto code = processes.exitCode(id))
                return *code;
            QTest::qWait(10);
        }
        return -100;
    }
};

void QtProcessesTest::argumentsReachTheProgramWhole() {
    QTemporaryDir dir;
    // A name a shell would split and run: passed as one argument it is just a file.
    const QString name = "a b; touch pwned.txt";
    QFile file(dir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QtProcesses processes;
    const ProcessId id = processes.start("test", {"-e", name.toStdString()}, dir.path().toStdString());
    QVERIFY(id.valid());
    QCOMPARE(runToEnd(processes, id), 0);
    QVERIFY(!QFile::exists(dir.filePath("pwned.txt")));
}

void QtProcessesTest::exitCodeIsPolledUntilTheEnd() {
    QtProcesses processes;
    const ProcessId id = processes.start("sleep", {"2"}, "");
    QVERIFY(id.valid());
    QVERIFY(!processes.exitCode(id).has_value());  // still running
    QCOMPARE(runToEnd(processes, id), 0);
    const ProcessId failing = processes.start("false", {}, "");
    QCOMPARE(runToEnd(processes, failing), 1);
}

void QtProcessesTest::missingProgramGivesNoProcess() {
    QtProcesses processes;
    QVERIFY(!processes.start("no-such-program-vormex", {}, "").valid());
}

void QtProcessesTest::loggedOutputAndErrorGoToTheFile() {
    QTemporaryDir dir;
    const QString log = dir.filePath("tool output");
    QtProcesses processes;
    // Megabytes on stdout, then a line on stderr: nothing stalls, both are kept.
    const ProcessId id = processes.startLogged(
        "sh", {"-c", "head -c 5000000 /dev/zero; echo said >&2; exit 3"}, dir.path().toStdString(), log.toStdString());
    QVERIFY(id.valid());
    QCOMPARE(runToEnd(processes, id), 3);
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray kept = file.readAll();
    QCOMPARE(kept.size(), 5000000 + 5);
    QVERIFY(kept.endsWith("said\n"));
}

// The desktop's text editor as xdg-mime names it and gtk-launch starts it.
void QtProcessesTest::anEditorThatFailsOrNeedsATerminalGivesWayToTheProgramsViewer() {
    QTemporaryDir bin, data;
    auto write = [](const QString& path, const QByteArray& text) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };
    write(bin.filePath("xdg-mime"), "#!/bin/sh\n/bin/cat \"$0.id\"\n");
    write(bin.filePath("gtk-launch"), "#!/bin/sh\necho \"$@\" >> \"$0.log\"\nexit $(/bin/cat \"$0.status\")\n");
    QVERIFY(QDir(data.path()).mkpath("applications"));
    write(data.filePath("applications/termed.desktop"), "[Desktop Entry]\nName=Termed\nTerminal=true\n");
    write(data.filePath("applications/windowed.desktop"), "[Desktop Entry]\nName=Windowed\nTerminal=false\n");
    const QByteArray path = qgetenv("PATH"), home = qgetenv("XDG_DATA_HOME"), dirs = qgetenv("XDG_DATA_DIRS");
    qputenv("PATH", bin.path().toUtf8());
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    qputenv("XDG_DATA_DIRS", data.path().toUtf8());

    QtProcesses processes;
    QStringList reasons;
    processes.inProgram = [&](const std::string& file, const std::string& why) {
        reasons << QString::fromStdString(file + " " + why);
        return true;
    };
    write(bin.filePath("xdg-mime.id"), "termed.desktop\n");
    QVERIFY(processes.openInTextEditor("/tmp/a.lst"));
    QCOMPARE(reasons, QStringList{"/tmp/a.lst 既定のテキストエディタは端末で動くので、このウインドウに表示しています。"});
    QVERIFY(!QFile::exists(bin.filePath("gtk-launch.log")));

    write(bin.filePath("xdg-mime.id"), "windowed.desktop\n");
    write(bin.filePath("gtk-launch.status"), "1\n");
    QVERIFY(processes.openInTextEditor("/tmp/b.lst"));
    QTRY_COMPARE(reasons.size(), 2);
    QCOMPARE(reasons[1], "/tmp/b.lst テキストエディタを起動できなかったので、このウインドウに表示しています。");

    write(bin.filePath("gtk-launch.status"), "0\n");
    QVERIFY(processes.openInTextEditor("/tmp/c.lst"));
    QTest::qWait(500);
    QCOMPARE(reasons.size(), 2);
    QFile log(bin.filePath("gtk-launch.log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll(), QByteArray("windowed.desktop /tmp/b.lst\nwindowed.desktop /tmp/c.lst\n"));
    qputenv("PATH", path);
    qputenv("XDG_DATA_HOME", home);
    qputenv("XDG_DATA_DIRS", dirs);
}

QTEST_MAIN(QtProcessesTest)
#include "qtprocesses_test.moc"
