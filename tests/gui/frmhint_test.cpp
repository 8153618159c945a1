// The overwrite question frmHint on widgets: its lines, its place over the
// main window, and the hint button that leaves it open.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "qtplatform/qtseams.h"
#include "session/session.h"
#include "recordingui.h"
#include "sim/simport.h"
#include "ui/frmhint.h"

using namespace vx;

namespace {

// Records what the desktop was asked to open.
class RecordingProcesses : public Processes {
public:
    ProcessId start(const std::string&, const std::vector<std::string>&, const std::string&) override { return {}; }
    std::optional<int> exitCode(ProcessId) override { return 0; }
    bool openWithAssociated(const std::string& path) override {
        opened.push_back(path);
        return true;
    }
    bool openInTextEditor(const std::string&) override { return false; }
    std::vector<std::string> opened;
};

QPushButton* ButtonOf(QDialog* d, const QString& text) {
    for (auto* b : d->findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

}  // namespace

class FrmHintTest : public QObject {
    Q_OBJECT
private slots:
    void hintStaysOpenAndYesAnswers();
    void cancelAnswersTwo();

private:
    // Runs ShowFrmHint with `act` applied to the open dialog.
    int ask(const std::function<void(QDialog*)>& act);

    SteadyClock clock_;
    RecordingUi ui_;
    RecordingProcesses processes_;
};

int FrmHintTest::ask(const std::function<void(QDialog*)>& act) {
    QTemporaryDir dir;
    QtSettingsStore settings(dir.filePath("settings.ini"));
    SimPort port(clock_, SimChip("FLASH", 64, 0));
    Session s(port, settings, clock_, ui_, processes_);
    s.run.appDir = dir.path().toStdString() + "/";
    QFile pdf(dir.filePath("hint.pdf"));
    pdf.open(QIODevice::WriteOnly);
    pdf.close();
    s.view.hintLine0 = "書込み済みです。";
    s.view.hintLine1 = "上書きしますか？";
    QMainWindow main;
    main.setGeometry(100, 100, 600, 400);
    main.show();
    // A failed check inside act must not leave the modal dialog open.
    QTimer::singleShot(0, [&] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            act(d);
            if (d->isVisible())
                d->reject();
        }
    });
    QTimer::singleShot(10000, [] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            d->reject();
    });
    return ShowFrmHint(s, &main);
}

void FrmHintTest::hintStaysOpenAndYesAnswers() {
    processes_.opened.clear();
    bool checked = false;
    const int answer = ask([&](QDialog* d) {
        QCOMPARE(d->objectName(), QString("frmHint"));
        QCOMPARE(d->windowTitle(), QString("Vormex V3"));
        QCOMPARE(d->findChild<QLabel*>("Label1_0")->text(), QString("書込み済みです。"));
        QCOMPARE(d->findChild<QLabel*>("Label1_1")->text(), QString("上書きしますか？"));
        auto* main = qobject_cast<QWidget*>(d->parent());
        QCOMPARE(d->y(), main->frameGeometry().y() + main->frameGeometry().height() / 2);
        ButtonOf(d, "ヒントを表示")->click();
        QVERIFY(d->isVisible());
        QCOMPARE(processes_.opened.size(), std::size_t{1});
        QVERIFY(QString::fromStdString(processes_.opened[0]).endsWith("/hint.pdf"));
        ButtonOf(d, "はい")->click();
        checked = true;
    });
    QVERIFY(checked);
    QCOMPARE(answer, 1);
}

void FrmHintTest::cancelAnswersTwo() {
    QCOMPARE(ask([](QDialog* d) { ButtonOf(d, "キャンセル")->click(); }), 2);
    QCOMPARE(ask([](QDialog* d) { d->reject(); }), 0);  // closed by its frame
}

QTEST_MAIN(FrmHintTest)
#include "frmhint_test.moc"
