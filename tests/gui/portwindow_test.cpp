// The port window and the main window's port commands, on widgets.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include "qtplatform/qtprocesses.h"
#include "recordingui.h"
#include "qtplatform/qtseams.h"
#include "sim/simport.h"
#include "ui/guiapp.h"
#include "ui/portwindow.h"

using namespace vx;

class PortWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void savedComTwentySelectsTheLastButton();
    void okWithNothingSelectedShowsTheComZeroBox();
    void okOpensTheChosenDeviceAndCloses();
    void cancelAfterARefusedPathKeepsTheMapping();
    void releaseWithThePortClosedStillNotes();

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

QTEST_MAIN(PortWindowTest)
#include "portwindow_test.moc"
