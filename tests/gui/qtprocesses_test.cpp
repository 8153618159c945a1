// External programs are started without a shell and polled to their end.
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

QTEST_MAIN(QtProcessesTest)
#include "qtprocesses_test.moc"
