// The operator's screen in a whole window run on the built-in simulated
// board: its counters come from the run store (so another station's chips
// show up in the run's, not in this station's), and while it is open the
// engineering window cannot change what Program writes, until the right
// PIN lets the operator leave.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <deque>
#include <memory>

#include "app/hexwatch.h"
#include "app/productionmode.h"
#include "base/settings.h"
#include "image/grid.h"
#include "image/hexfile.h"
#include "image/selection.h"
#include "ops/workflows.h"
#include "qtplatform/qtseams.h"
#include "qtplatform/qtserialport.h"
#include "serialization/runstore.h"
#include "toolchain/build.h"
#include "ui/guiapp.h"
#include "ui/mainwindow.h"
#include "ui/productionwindow.h"
#include "ui/serialwindow.h"

using namespace vx;

class ProductionWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void countersFollowARunOnTwoStations();
    void locksHoldUntilTheRightPin();

private:
    QString text(const char* name) {
        auto* label = app_->productionWindow().findChild<QLabel*>(name);
        return label ? label->text() : QString("no label %1").arg(name);
    }
    bool enabled(const char* name) {
        if (auto* action = app_->window().findChild<QAction*>(name))
            return action->isEnabled();
        if (auto* widget = app_->window().findChild<QWidget*>(name))
            return widget->isEnabled();
        qFatal("no widget %s", name);
    }
    void newChip() {
        auto* port = dynamic_cast<QtSerialPort*>(&app_->session().link.port);
        port->simPort()->board.chip = SimChip::ForDevice(app_->session().device);
    }
    // PIC16F84A with a two-word program, a RETLW run of 10 numbers from 100
    // switched on, and the operator's screen opened from the serial window.
    void openScreen();
    // Answers the questions that come up, in order: "yes", "no" or "ok" for
    // a message box, any other text typed into an input box.
    void answer(std::deque<QString> answers);

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QtSettingsStore> settings_;
    std::unique_ptr<GuiApp> app_;
    std::deque<QString> answers_;
    QTimer answering_;
};

void ProductionWindowTest::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(QFile::copy(VORMEX_SOURCE_DIR "/data/device.ini", dir_->filePath("device.ini")));
    settings_ = std::make_unique<QtSettingsStore>(dir_->filePath("settings.ini"));
    settings_->setValue("ComNo", "1");
    settings_->setValue("ComDevice1", "sim");
    app_ = std::make_unique<GuiApp>(*settings_, dir_->path().toStdString() + "/");
    QVERIFY(app_->start(""));
    connect(&answering_, &QTimer::timeout, this, [this] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || answers_.empty())
            return;
        const QString next = answers_.front();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            answers_.pop_front();
            if (next == "ok")
                box->buttons().first()->click();
            else
                box->button(next == "yes" ? QMessageBox::Yes : QMessageBox::No)->click();
        } else if (auto* input = qobject_cast<QInputDialog*>(modal)) {
            answers_.pop_front();
            input->setTextValue(next);
            input->accept();
        }
    });
}

void ProductionWindowTest::cleanup() {
    answering_.stop();
    // The test's end is no operator leaving: the locks go with the run.
    if (app_)
        app_->session().view.productionLocked = false;
    app_.reset();
    settings_.reset();
    dir_.reset();
}

void ProductionWindowTest::answer(std::deque<QString> answers) {
    answers_ = std::move(answers);
    answering_.start(20);
}

void ProductionWindowTest::openScreen() {
    Session& s = app_->session();
    const auto& names = s.db.deviceNames;
    SelectDeviceIndex(s, static_cast<int>(std::find(names.begin(), names.end(), "PIC16F84A") - names.begin()));
    QFile hex(dir_->filePath("prog.hex"));
    QVERIFY(hex.open(QIODevice::WriteOnly));
    hex.write(":04000000553000284F\n:00000001FF\n");
    hex.close();
    s.loader.hexPath = hex.fileName().toStdString();
    s.loader.skipHexDialog = true;
    LoadHexFile(s);
    s.loader.skipHexDialog = false;

    SerialWindow& w = app_->serialWindow();
    w.open();
    auto type = [&w](const char* box, const char* typed) {
        auto* edit = w.findChild<QLineEdit*>(box);
        edit->selectAll();
        QTest::keyClicks(edit, typed);
    };
    type("TxtDataStart", "100");
    type("TxtDataFinsh", "10");
    type("TxtStartAddress", "3f0");
    auto* mode = w.findChild<QComboBox*>("CmbWriteMode");
    mode->setCurrentIndex(1);
    emit mode->activated(1);
    auto* production = w.findChild<QPushButton*>("CmdProduction");
    QVERIFY(!production->isEnabled());  // not before the run is switched on
    w.findChild<QCheckBox*>("ChkSettingEnable")->click();
    QVERIFY(production->isEnabled());
    QTest::mouseClick(production, Qt::LeftButton);
    QVERIFY(app_->productionWindow().isVisible());
    QCOMPARE(app_->productionWindow().windowTitle(), QString("生産モード"));
    QVERIFY(s.view.productionLocked);
}

void ProductionWindowTest::countersFollowARunOnTwoStations() {
    openScreen();
    ProductionWindow& screen = app_->productionWindow();
    QCOMPARE(text("LblDevice"), QString("PIC16F84A"));
    QVERIFY2(text("LblHexFile").startsWith("prog.hex   SUM "), qPrintable(text("LblHexFile")));
    QCOMPARE(text("LblNext"), QString("100"));
    QCOMPARE(text("LblRunTotal"), QString("0"));
    QCOMPARE(text("LblRunYield"), QString("-"));
    QTest::keyClick(&screen, Qt::Key_F11);
    QTRY_VERIFY(screen.isFullScreen());
    QTest::keyClick(&screen, Qt::Key_F11);
    QTRY_VERIFY(!screen.isFullScreen());

    // This station: Space programs the next chip, Enter the one after.
    newChip();
    QTest::keyClick(&screen, Qt::Key_Space);
    QCOMPARE(text("LblVerdict"), QString("合格"));
    newChip();
    QTest::keyClick(&screen, Qt::Key_Return);
    QCOMPARE(text("LblVerdict"), QString("合格"));
    QCOMPARE(text("LblStationPassed"), QString("2"));
    QCOMPARE(text("LblRunPassed"), QString("2"));
    QCOMPARE(text("LblNext"), QString("102"));
    auto* port = dynamic_cast<QtSerialPort*>(&app_->session().link.port);
    QCOMPARE(port->simPort()->board.chip.program[0x3F0], 0x3465);  // RETLW 101

    // Another station of the same run: a pass (102) and a failure (103, given back).
    std::string error;
    auto other = RunStore::open(app_->serialWindow().model()->runPath(), error);
    QVERIFY2(other, error.c_str());
    StationId pc = ThisStation();
    pc.host = "pc-b";
    for (const bool passed : {true, false}) {
        const auto taken = other->reserve(pc, nullptr);
        QVERIFY(taken.result == RunStore::Take::Reserved);
        ChipAttempt attempt;
        attempt.atMs = QDateTime::currentMSecsSinceEpoch();
        attempt.chip.at = attempt.atMs / 1000;
        attempt.chip.host = "pc-b";
        attempt.chip.user = "line";
        attempt.chip.passed = passed;
        attempt.chip.failure = passed ? "" : "プログラムメモリのベリファイ エラー";
        if (passed) {
            QVERIFY(other->markWriting(taken.reservation, error));
            QVERIFY2(other->commit(taken.reservation, "", "", error, nullptr, &attempt), error.c_str());
        } else {
            QVERIFY2(other->giveBack(taken.reservation, error, NumberStep::GiveBack, &attempt), error.c_str());
        }
    }
    // Shown at the next refresh (the timer's, within a few seconds); this station's stay its own.
    QCOMPARE(text("LblRunTotal"), QString("2"));
    QTRY_COMPARE_WITH_TIMEOUT(text("LblRunTotal"), QString("4"), kProductionRefreshMs * 2);
    QCOMPARE(text("LblRunPassed"), QString("3"));
    QCOMPARE(text("LblRunFailed"), QString("1"));
    QCOMPARE(text("LblRunYield"), QString("75.0 %"));
    QCOMPARE(text("LblStationTotal"), QString("2"));
    QCOMPARE(text("LblStationYield"), QString("100.0 %"));
    QCOMPARE(text("LblNext"), QString("103"));
    auto* last = screen.findChild<QTableWidget*>("TblLastChips");
    QCOMPARE(last->rowCount(), 4);
    QCOMPARE(last->item(0, 2)->text(), QString("不合格"));
    QCOMPARE(last->item(0, 5)->text(), QString("プログラムメモリのベリファイ エラー"));
    QCOMPARE(last->item(3, 1)->text(), QString("100"));

    // A write the board aborts: a red verdict with its reason in one line,
    // counted at once as this station's failure.
    newChip();
    dynamic_cast<QtSerialPort*>(&app_->session().link.port)->simPort()->board.faults.abortAtWord = 0;
    answer({"ok", "ok", "ok"});
    QTest::mouseClick(screen.findChild<QPushButton*>("CmdProgram"), Qt::LeftButton);
    QCOMPARE(text("LblVerdict"), QString("不合格"));
    QVERIFY2(!text("LblReason").isEmpty() && !text("LblReason").contains('\n'), qPrintable(text("LblReason")));
    QCOMPARE(text("LblStationFailed"), QString("1"));
    QCOMPARE(text("LblStationPassed"), QString("2"));
    QCOMPARE(text("LblRunTotal"), QString("5"));
}

void ProductionWindowTest::locksHoldUntilTheRightPin() {
    Session& s = app_->session();
    // The PIN set from the serial window, asked twice; kept as a salted hash only.
    app_->serialWindow().open();
    answer({"2580", "2580"});
    QTest::mouseClick(app_->serialWindow().findChild<QPushButton*>("CmdProductionPin"), Qt::LeftButton);
    const std::string stored = SettingText(*settings_, kProductionPinKey);
    QVERIFY2(stored.rfind("pbkdf2-sha256$", 0) == 0, stored.c_str());
    QVERIFY(stored.find("2580") == std::string::npos);

    openScreen();
    const int device = s.view.deviceIndex;
    const int loads = s.loader.loads;
    auto locked = [&] {
        for (const char* name : {"Combo_device", "Command_read", "mnuFileOpen", "nmuFile1", "mnuRELOAD", "mnuASMwithRELOAD",
                                 "mnuSourceOpen", "mnuWatchHex", "mnuPcBufferMemoryClear", "HFGrid1", "Text_ID", "exit"})
            if (enabled(name))
                return QString(name) + " is enabled";
        SerialWindow& w = app_->serialWindow();
        for (const char* name : {"ChkSettingEnable", "CmbWriteMode", "TxtOperator", "OKButton", "CmdImportRun"})
            if (w.findChild<QWidget*>(name)->isEnabled())
                return QString(name) + " is enabled";
        // Every path around the greyed entries is refused as well.
        SelectDeviceIndex(s, device + 1);
        LoadHexFile(s);
        ReloadHex(s);
        RunRead(s);
        ToggleWatchHex(s);
        CommitIdText(s, "1234");
        emit w.findChild<QCheckBox*>("ChkSettingEnable")->clicked(false);
        app_->window().close();
        w.close();
        if (s.view.deviceIndex != device || s.loader.loads != loads || s.buffer.readFromChip || s.view.menus["mnuWatchHex"].checked ||
            s.view.idText == "1234" || !w.model()->enabled || !app_->window().isVisible() || !w.isVisible())
            return QString("a change went through");
        if (s.view.note.find("生産モード中は変更できません。") == std::string::npos)
            return QString("note: ") + QString::fromStdString(s.view.note);
        return QString("locked");
    };
    QCOMPARE(locked(), QString("locked"));
    QVERIFY(enabled("Command_pogram"));

    // Not leaving, then a wrong PIN: the screen stays, the locks stay, the PIN is nowhere.
    ProductionWindow& screen = app_->productionWindow();
    answer({"no"});
    screen.close();
    QVERIFY(screen.isVisible());
    answer({"yes", "1111"});
    screen.close();
    QVERIFY(screen.isVisible());
    QVERIFY(s.view.productionLocked);
    QVERIFY(s.view.note.find("暗証番号が違います") != std::string::npos);
    QVERIFY(s.view.note.find("1111") == std::string::npos);
    QCOMPARE(locked(), QString("locked"));
    QCOMPARE(SettingText(*settings_, kProductionPinKey), stored);

    // The right one.
    answer({"yes", "2580"});
    QTest::mouseClick(screen.findChild<QPushButton*>("CmdLeave"), Qt::LeftButton);
    QVERIFY(!screen.isVisible());
    QVERIFY(!s.view.productionLocked);
    QVERIFY(enabled("Combo_device") && enabled("mnuFileOpen") && enabled("mnuRELOAD"));
    QVERIFY(app_->serialWindow().findChild<QCheckBox*>("ChkSettingEnable")->isEnabled());
    SelectDeviceIndex(s, device + 1);
    QCOMPARE(s.view.deviceIndex, device + 1);
}

QTEST_MAIN(ProductionWindowTest)
#include "productionwindow_test.moc"
