// The port window and the main window's port commands, on widgets.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <deque>
#include <functional>

#include "ops/detect.h"
#include "qtplatform/qtprocesses.h"
#include "recordingui.h"
#include "qtplatform/qtseams.h"
#include "qtplatform/qtserialport.h"
#include "sim/simport.h"
#include "ui/guiapp.h"
#include "ui/portwindow.h"

using namespace vx;

namespace {

struct FakeLister : PortLister {
    std::vector<SystemPortInfo> list;
    std::vector<SystemPortInfo> ports() override { return list; }
};

// A pseudo-terminal with nobody on the other side: it opens and stays silent.
struct SilentTerminal {
    SilentTerminal() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
            path = ptsname(master);
    }
    ~SilentTerminal() {
        if (master >= 0)
            ::close(master);
    }
    int master = -1;
    QString path;
};

}  // namespace

class PortWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void savedComTwentySelectsTheLastButton();
    void okWithNothingSelectedShowsTheComZeroBox();
    void okOpensTheChosenDeviceAndCloses();
    void cancelAfterARefusedPathKeepsTheMapping();
    void listShowsThePortsAndAClickMapsTheChosenNumber();
    void autoDetectFindsTheBoardAmongTwoTerminals();
    void doctorShowsItsFindingsForTheChosenPort();
    void releaseWithThePortClosedStillNotes();
    void cancelGoesBackToThePortInUseAndOkShowsTheNewPort();

private:
    QList<QRadioButton*> options(PortWindow& w) { return w.findChildren<QRadioButton*>("Option_Com"); }

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QtSettingsStore> settings_;
    SteadyClock clock_;
    RecordingUi ui_;
    QtProcesses processes_;
    std::unique_ptr<SimPort> port_;
    std::unique_ptr<Session> session_;
};

void PortWindowTest::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    settings_ = std::make_unique<QtSettingsStore>(dir_->filePath("settings.ini"));
    port_ = std::make_unique<SimPort>(clock_, SimChip("FLASH", 1024, 64));
    session_ = std::make_unique<Session>(*port_, *settings_, clock_, ui_, processes_);
    ui_.boxes.clear();
}

void PortWindowTest::cleanup() {
    session_.reset();
    port_.reset();
    settings_.reset();
    dir_.reset();
}

void PortWindowTest::savedComTwentySelectsTheLastButton() {
    settings_->setValue("ComNo", "20");
    PortWindow w(*session_);
    const auto buttons = options(w);
    QCOMPARE(buttons.size(), 20);
    for (int i = 0; i < 20; ++i) {
        QCOMPARE(buttons[i]->text(), QString("COM%1").arg(i + 1));
        QCOMPARE(buttons[i]->isChecked(), i == 19);
    }
    QCOMPARE(w.windowTitle(), QString("通信ポート選択して下さい。"));
    QCOMPARE(w.findChild<QComboBox*>("Combo_ComDevice")->currentText(), QString("/dev/ttyS19"));
}

void PortWindowTest::okWithNothingSelectedShowsTheComZeroBox() {
    PortWindow w(*session_);
    w.show();
    for (auto* b : options(w))
        QVERIFY(!b->isChecked());
    QTest::mouseClick(w.findChild<QPushButton*>("Command_Ok"), Qt::LeftButton);
    QCOMPARE(ui_.boxes.size(), std::size_t{1});
    QCOMPARE(QString::fromStdString(ui_.boxes[0].first), QString("COM0　エラー"));
    QVERIFY(QString::fromStdString(ui_.boxes[0].second).contains("COM0　オープンに失敗しました。"));
    QVERIFY(w.isVisible());  // the window stays for another choice
    QCOMPARE(w.result(), 0);
}

void PortWindowTest::okOpensTheChosenDeviceAndCloses() {
    PortWindow w(*session_);
    w.show();
    options(w)[1]->click();
    auto* device = w.findChild<QComboBox*>("Combo_ComDevice");
    QCOMPARE(device->currentText(), QString("/dev/ttyS1"));
    device->setEditText("sim");
    QTest::mouseClick(w.findChild<QPushButton*>("Command_Ok"), Qt::LeftButton);
    QCOMPARE(w.result(), int(QDialog::Accepted));
    QCOMPARE(QString::fromStdString(port_->openedName), QString("sim"));
    QVERIFY(port_->isOpen());
    QCOMPARE(settings_->value("ComNo").value_or(""), std::string("2"));
    QCOMPARE(settings_->value("ComDevice2").value_or(""), std::string("sim"));
    QCOMPARE(QString::fromStdString(session_->view.note), QString("COM2を選択しました。 "));
}

void PortWindowTest::cancelAfterARefusedPathKeepsTheMapping() {
    settings_->setValue("ComNo", "2");
    settings_->setValue("ComDevice2", "sim");
    PortWindow w(*session_);
    w.show();
    auto* device = w.findChild<QComboBox*>("Combo_ComDevice");
    QCOMPARE(device->currentText(), QString("sim"));
    device->setEditText("/dev/ttyUSB9");
    port_->openResult = PortOpenResult::Failed;
    QTest::mouseClick(w.findChild<QPushButton*>("Command_Ok"), Qt::LeftButton);
    QCOMPARE(ui_.boxes.size(), std::size_t{1});
    QVERIFY(QString::fromStdString(ui_.boxes[0].second).contains("/dev/ttyUSB9"));
    QVERIFY(w.isVisible());
    QTest::mouseClick(w.findChild<QPushButton*>("Command1"), Qt::LeftButton);
    QCOMPARE(w.result(), int(QDialog::Rejected));
    QCOMPARE(settings_->value("ComDevice2").value_or(""), std::string("sim"));
    QCOMPARE(settings_->value("ComNo").value_or(""), std::string("2"));

    // Opened again, the window shows the kept path.
    PortWindow again(*session_);
    QCOMPARE(again.findChild<QComboBox*>("Combo_ComDevice")->currentText(), QString("sim"));
}

void PortWindowTest::listShowsThePortsAndAClickMapsTheChosenNumber() {
    const QString byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    FakeLister lister;
    lister.list = {{"/dev/ttyS0", "", false, "", "", ""},
                   {"/dev/ttyUSB0", byId.toStdString(), true, "FT232R USB UART", "FTDI", "A50285BI"}};
    settings_->setValue("ComNo", "3");
    PortWindow w(*session_, nullptr, &lister);
    w.show();
    auto* list = w.findChild<QTreeWidget*>("List_Ports");
    QCOMPARE(list->topLevelItemCount(), 3);
    QCOMPARE(list->topLevelItem(0)->text(0), byId);
    QCOMPARE(list->topLevelItem(0)->text(1), QString("FT232R USB UART / FTDI / S/N A50285BI"));
    QCOMPARE(list->topLevelItem(1)->text(0), QString("/dev/ttyS0"));
    QCOMPARE(list->topLevelItem(1)->text(1), QString());
    QCOMPARE(list->topLevelItem(2)->text(0), QString("sim"));
    QVERIFY(!list->currentItem());  // COM3's /dev/ttyS2 is not listed

    // A click maps COM3 to the adapter's stable name; OK stores it.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
    auto* device = w.findChild<QComboBox*>("Combo_ComDevice");
    QCOMPARE(device->currentText(), byId);
    QVERIFY(options(w)[2]->isChecked());
    device->setEditText("sim");  // typing still works, and follows the list
    QCOMPARE(list->currentItem(), list->topLevelItem(2));
    QTest::mouseClick(w.findChild<QPushButton*>("Command_Ok"), Qt::LeftButton);
    QCOMPARE(settings_->value("ComDevice3").value_or(""), std::string("sim"));

    // No port at all: only the simulated board is offered, and the search
    // says so and takes the simulated board, which it asks too.
    lister.list.clear();
    PortWindow empty(*session_, nullptr, &lister);
    QCOMPARE(empty.findChild<QTreeWidget*>("List_Ports")->topLevelItemCount(), 1);
    QTest::mouseClick(empty.findChild<QPushButton*>("Command_AutoDetect"), Qt::LeftButton);
    const QString found = empty.findChild<QLabel*>("Label_PortInfo")->text();
    QVERIFY2(found.startsWith("シリアルポートが見つかりませんでした。\n応答したのは内蔵シミュレーションボード（sim）だけ"),
             qPrintable(found));
    QCOMPARE(empty.findChild<QComboBox*>("Combo_ComDevice")->currentText(), QString("sim"));
}

void PortWindowTest::autoDetectFindsTheBoardAmongTwoTerminals() {
    // The real serial path: a silent terminal, then the board simulator.
    SilentTerminal silent;
    QVERIFY(!silent.path.isEmpty());
    QProcess board;
    board.start(VORMEX_BOARDSIM, {"--family", "FLASH", "--words", "1024", "--eeprom", "64", "--no-pacing"});
    QVERIFY(board.waitForStarted(5000) && board.waitForReadyRead(5000));
    const QString boardPath = QString::fromUtf8(board.readLine()).trimmed();
    QVERIFY(boardPath.startsWith("/dev/"));

    QtSerialPort port;
    Session s(port, *settings_, clock_, ui_, processes_);
    FakeLister lister;
    // Listed first and gone by now; and a device node that is no serial port.
    lister.list = {{"/dev/ttyUSB7", "/dev/serial/by-id/usb-gone", true, "", "", ""},
                   {"/dev/null", "", false, "", "", ""},
                   {silent.path.toStdString(), "", false, "", "", ""},
                   {boardPath.toStdString(), "", false, "", "", ""}};
    PortWindow w(s, nullptr, &lister);
    w.show();
    options(w)[4]->click();
    QTest::mouseClick(w.findChild<QPushButton*>("Command_AutoDetect"), Qt::LeftButton);
    QCOMPARE(w.findChild<QComboBox*>("Combo_ComDevice")->currentText(), boardPath);
    QVERIFY(w.findChild<QLabel*>("Label_PortInfo")->text().startsWith("ライターを " + boardPath + " に検出しました"));
    QCOMPARE(w.findChild<QTreeWidget*>("List_Ports")->currentItem()->text(0), boardPath);
    QVERIFY(ui_.boxes.empty());
    QVERIFY(!settings_->value("ComDevice5"));
    QTest::mouseClick(w.findChild<QPushButton*>("Command_Ok"), Qt::LeftButton);
    QCOMPARE(w.result(), int(QDialog::Accepted));
    QCOMPARE(settings_->value("ComDevice5").value_or(""), boardPath.toStdString());
    QVERIFY(port.isOpen());

    // The node that is no serial port, and the vanished one, refused by name.
    PortWindow again(s, nullptr, &lister);
    for (const char* path : {"/dev/null", "/dev/serial/by-id/usb-gone"}) {
        ui_.boxes.clear();
        again.findChild<QComboBox*>("Combo_ComDevice")->setEditText(path);
        QTest::mouseClick(again.findChild<QPushButton*>("Command_Ok"), Qt::LeftButton);
        QCOMPARE(ui_.boxes.size(), std::size_t{1});
        QVERIFY(QString::fromStdString(ui_.boxes[0].second).contains(path));
    }
    QCOMPARE(settings_->value("ComDevice5").value_or(""), boardPath.toStdString());
    board.terminate();
    board.waitForFinished(5000);
}

void PortWindowTest::doctorShowsItsFindingsForTheChosenPort() {
    settings_->setValue("ComNo", "2");
    settings_->setValue("ComDevice2", "sim");
    FakeLister lister;
    PortWindow w(*session_, nullptr, &lister);
    w.show();
    QTest::mouseClick(w.findChild<QPushButton*>("Command_Doctor"), Qt::LeftButton);
    auto* text = w.findChild<QPlainTextEdit*>("Text_Doctor");
    QVERIFY(text);
    QVERIFY(text->isReadOnly());
    const QStringList lines = text->toPlainText().split('\n');
    QCOMPARE(lines.last(), QString("○ ライターが sim で応答しました（TAVPIC-PGMV4.01）") + kSimulatedBoardMark);
    QVERIFY(!port_->isOpen());
    QVERIFY(ui_.boxes.empty());
}

void PortWindowTest::releaseWithThePortClosedStillNotes() {
    GuiApp app(*settings_, dir_->path().toStdString() + "/");
    QVERIFY(!app.session().link.IsOpen());
    auto* release = app.window().findChild<QPushButton*>("Command_OPEN");
    QVERIFY(release);
    QVERIFY(release->isEnabled());
    QTest::mouseClick(release, Qt::LeftButton);
    QCOMPARE(QString::fromStdString(app.session().view.note), QString("通信ポートを開放しました。 "));
    QVERIFY(app.window().findChild<QLabel*>("LabelCmt")->text().startsWith("通信ポートを開放しました。"));
}

// The window as the main window's "通信" opens it: a refused port and CANCEL
// bring back the board on the port in use (no second box), and OK on another
// port shows that port without a board until one answers there.
void PortWindowTest::cancelGoesBackToThePortInUseAndOkShowsTheNewPort() {
    SilentTerminal silent;
    QVERIFY(!silent.path.isEmpty());
    QVERIFY(QFile::copy(VORMEX_SOURCE_DIR "/data/device.ini", dir_->filePath("device.ini")));
    settings_->setValue("ComNo", "2");
    settings_->setValue("ComDevice2", "sim");
    GuiApp app(*settings_, dir_->path().toStdString() + "/");
    QVERIFY(app.start(""));
    Session& s = app.session();
    auto* label = app.window().findChild<QLabel*>("Label_FirmwareVersion");
    const QString onSim = QString("TAVPIC-PGMV4.01 : COM2") + kSimulatedBoardMark;
    QVERIFY(s.link.boardFound);
    QCOMPARE(label->text(), onSim);

    // Steps run one per visit of the port window; boxes are answered as they come.
    std::deque<std::function<void(PortWindow&)>> steps;
    QStringList boxes;
    QTimer driver;
    connect(&driver, &QTimer::timeout, this, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            boxes << box->text();
            box->accept();
        } else if (auto* window = qobject_cast<PortWindow*>(modal); window && !steps.empty()) {
            // Run outside this slot: a step may open a box, which this timer must answer.
            QTimer::singleShot(0, window, [window, step = std::move(steps.front())] { step(*window); });
            steps.pop_front();
        }
    });
    driver.start(20);
    auto click = [](PortWindow& w, const char* name) { w.findChild<QPushButton*>(name)->click(); };
    auto choose = [this](PortWindow& w, int com, const QString& path) {
        options(w)[com - 1]->click();
        w.findChild<QComboBox*>("Combo_ComDevice")->setEditText(path);
    };
    auto* command = app.window().findChild<QPushButton*>("Command_com");

    steps = {[&](PortWindow& w) {
                 choose(w, 3, dir_->filePath("unplugged-tty"));
                 click(w, "Command_Ok");
             },
             [&](PortWindow& w) { click(w, "Command1"); }};
    command->click();
    QVERIFY(steps.empty());
    QCOMPARE(boxes.size(), 1);  // the refusal only
    QVERIFY(boxes[0].contains("unplugged-tty"));
    QCOMPARE(s.link.portNumber, 2);
    QVERIFY(s.link.boardFound);
    QCOMPARE(label->text(), onSim);
    QCOMPARE(settings_->value("ComNo").value_or(""), std::string("2"));
    QVERIFY(!settings_->value("ComDevice3"));

    // OK on a port where nothing answers: that port, and no board.
    boxes.clear();
    steps = {[&](PortWindow& w) {
        choose(w, 4, silent.path);
        click(w, "Command_Ok");
    }};
    command->click();
    QVERIFY(steps.empty());
    QVERIFY(boxes.isEmpty());
    QVERIFY(!s.link.boardFound);
    QCOMPARE(label->text(), QString("COM4 : ライター未接続"));
    QCOMPARE(settings_->value("ComDevice4").value_or(""), silent.path.toStdString());
}

QTEST_MAIN(PortWindowTest)
#include "portwindow_test.moc"
