// The serial-number window driven through its widgets, in a whole window run
// on the built-in simulated board.
#include <QCheckBox>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <memory>

#include "image/hexfile.h"
#include "image/selection.h"
#include "qtplatform/qtseams.h"
#include "qtplatform/qtserialport.h"
#include "serialization/runstore.h"
#include "ui/guiapp.h"
#include "ui/mainwindow.h"
#include "ui/serialwindow.h"

using namespace vx;

class SerialWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void enterNeverRecordsADevice();
    void retlwModeProgramsConsecutiveNumbers();
    void savedRunIsOfferedAtStart();
    void numbersToSettleAreShownWithTheirTwoAnswers();
    void displayFollowsTheRadixTheFileAndTheChip();
    void rowsStayWhereTheyAreWhateverTheMessage();

private:
    template <typename W>
    W* child(const char* name) {
        W* widget = app_->serialWindow().findChild<W*>(name);
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }
    QString count() { return child<QLineEdit>("TxtFinshCount")->text(); }
    // PIC16F84A with a two-word program loaded from a file.
    void loadProgram();
    // Starts the program again, answering Yes to its question; the question.
    QString startAnsweringYes();
    // Clicks a button of the window and answers its one question; the question.
    QString clickAnswering(const char* button, QMessageBox::StandardButton answer);

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QtSettingsStore> settings_;
    std::unique_ptr<GuiApp> app_;
};

void SerialWindowTest::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(QFile::copy(VORMEX_SOURCE_DIR "/data/device.ini", dir_->filePath("device.ini")));
    settings_ = std::make_unique<QtSettingsStore>(dir_->filePath("settings.ini"));
    settings_->setValue("ComNo", "1");
    settings_->setValue("ComDevice1", "sim");
    app_ = std::make_unique<GuiApp>(*settings_, dir_->path().toStdString() + "/");
    QVERIFY(app_->start(""));
}

void SerialWindowTest::cleanup() {
    app_.reset();
    settings_.reset();
    dir_.reset();
}

void SerialWindowTest::loadProgram() {
    Session& s = app_->session();
    const auto& names = s.db.deviceNames;
    const auto it = std::find(names.begin(), names.end(), "PIC16F84A");
    QVERIFY(it != names.end());
    SelectDeviceIndex(s, static_cast<int>(it - names.begin()));
    QFile hex(dir_->filePath("prog.hex"));
    QVERIFY(hex.open(QIODevice::WriteOnly));
    hex.write(":04000000553000284F\n:00000001FF\n");  // movlw 0x55; goto 0
    hex.close();
    s.loader.hexPath = hex.fileName().toStdString();
    s.loader.skipHexDialog = true;
    LoadHexFile(s);
    s.loader.skipHexDialog = false;
    QCOMPARE(s.buffer.program[0], 0x30);
}

QString SerialWindowTest::clickAnswering(const char* button, QMessageBox::StandardButton answer) {
    QString asked;
    int boxes = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            asked = box->text();
            ++boxes;
            if (box->defaultButton() != box->button(QMessageBox::No))
                asked = "the default is not いいえ";
            box->button(answer)->click();
        }
    });
    timer.start(20);
    QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton);
    timer.stop();
    return boxes == 1 ? asked : QString("%1 questions").arg(boxes);
}

QString SerialWindowTest::startAnsweringYes() {
    QString asked;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            asked = box->text();
            box->button(QMessageBox::Yes)->click();
        }
    });
    timer.start(20);
    app_ = std::make_unique<GuiApp>(*settings_, dir_->path().toStdString() + "/");
    const bool started = app_->start("");
    timer.stop();
    return started ? asked : "not started";
}

void SerialWindowTest::enterNeverRecordsADevice() {
    SerialWindow& w = app_->serialWindow();
    w.open();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* finish = child<QLineEdit>("TxtDataFinsh");
    auto* start = child<QLineEdit>("TxtDataStart");
    finish->selectAll();
    QTest::keyClicks(finish, "5");
    // Delete edits the box as in any text box.
    start->setText("17");
    start->setFocus();
    start->setCursorPosition(0);
    // As X11 delivers it: the key with the DEL character as its text.
    QTest::sendKeyEvent(QTest::Click, start, Qt::Key_Delete, QString(QChar(0x7F)), Qt::NoModifier);
    QCOMPARE(start->text(), QString("7"));
    QCOMPARE(w.model()->serialUnits(), 7 * 10000);

    loadProgram();
    child<QCheckBox>("ChkSettingEnable")->click();
    QVERIFY(child<QCheckBox>("ChkSettingEnable")->isChecked());
    QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(count(), QString("1"));

    // Enter and Return wherever the focus is: no device is recorded.
    for (QWidget* target : std::initializer_list<QWidget*>{
             child<QLineEdit>("TxtDataIncrement"), child<QLineEdit>("TxtStartAddress"), child<QCheckBox>("ChkSettingEnable"),
             child<QRadioButton>("Option_Hex"), child<QPushButton>("Command1"), child<QPushButton>("OKButton")}) {
        target->setEnabled(true);  // locked boxes take no focus; the keys must not count either way
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Return);
        QTest::keyClick(target, Qt::Key_Enter);
        QCOMPARE(count(), QString("1"));
        QVERIFY(w.isVisible());
    }
    QTest::keyClick(&w, Qt::Key_Return);
    QCOMPARE(count(), QString("1"));
    QCOMPARE(child<QLabel>("TxtWrotDataDec")->text(), QString("7"));
    QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(child<QLabel>("TxtWrotDataDec")->text(), QString("8"));
}

void SerialWindowTest::retlwModeProgramsConsecutiveNumbers() {
    SerialWindow& w = app_->serialWindow();
    w.open();
    loadProgram();
    Session& s = app_->session();
    child<QLineEdit>("TxtDataStart")->setText("");
    QTest::keyClicks(child<QLineEdit>("TxtDataStart"), "4660");  // 0x1234
    child<QLineEdit>("TxtDataFinsh")->setText("");
    QTest::keyClicks(child<QLineEdit>("TxtDataFinsh"), "10");
    child<QLineEdit>("TxtStartAddress")->setText("");
    QTest::keyClicks(child<QLineEdit>("TxtStartAddress"), "3f0");
    auto* bytes = child<QComboBox>("TxtWriteByteNumber");
    bytes->setCurrentIndex(1);
    emit bytes->activated(1);
    auto* mode = child<QComboBox>("CmbWriteMode");
    QCOMPARE(mode->currentText(), QString("表示のみ"));
    mode->setCurrentIndex(1);
    emit mode->activated(1);
    child<QCheckBox>("ChkSettingEnable")->click();
    QCOMPARE(child<QLabel>("Label2")->text(), QString("シリアライゼーションが有効になりました。\n設定変更はできません。"));
    QCOMPARE(child<QLabel>("TxtNextData")->text(), QString("4660"));
    QVERIFY(!mode->isEnabled());

    auto* port = dynamic_cast<QtSerialPort*>(&s.link.port);
    QVERIFY(port);
    auto* program = app_->window().findChild<QPushButton*>("Command_pogram");
    QVERIFY(program);
    std::vector<int> numbers;
    for (int chip = 0; chip < 2; ++chip) {
        if (port->simPort())
            port->simPort()->board.chip = SimChip::ForDevice(s.device);  // a new chip in the socket
        QTest::mouseClick(program, Qt::LeftButton);
        QVERIFY2(s.view.note.rfind("プログラミング成功。", 0) == 0, s.view.note.c_str());
        const SimChip& c = port->simPort()->board.chip;
        QCOMPARE(int(c.program[0]), 0x3055);
        QCOMPARE(c.program[0x3F0] >> 8, 0x34);
        QCOMPARE(c.program[0x3F1] >> 8, 0x34);
        numbers.push_back((c.program[0x3F0] & 0xFF) << 8 | (c.program[0x3F1] & 0xFF));
    }
    QCOMPARE(numbers, (std::vector<int>{0x1234, 0x1235}));
    QCOMPARE(child<QLabel>("TxtNextData")->text(), QString("4662"));
    QCOMPARE(child<QLabel>("TxtWrotDataHex")->text(), QString("12:35"));
    QCOMPARE(count(), QString("2"));
    // chk does not record in a write mode; the image stays the file's.
    QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(count(), QString("2"));
    QCOMPARE(s.buffer.program[2 * 0x3F0], 0x3F);
    QVERIFY(QFile(dir_->filePath("SERIAL_LOG.txt")).size() > 0);
    QVERIFY(QFile::exists(dir_->filePath("SERIAL_RUN.db")));
}

void SerialWindowTest::savedRunIsOfferedAtStart() {
    app_.reset();
    SerialRunSettings run;
    run.mode = SerialMode::Eeprom;
    run.start = 42;
    run.quantity = 5;
    run.address = 0x10;
    run.bytes = 2;
    std::string error;
    QVERIFY(RunStore::create(dir_->filePath("SERIAL_RUN.db").toStdString(), run, error));

    const QString asked = startAnsweringYes();
    QVERIFY2(asked.startsWith("前回の生産シリアライゼーションが途中です (書込み済 0 個、次の番号 42)"), qPrintable(asked));
    QVERIFY(app_->serialWindow().isVisible());
    QCOMPARE(child<QComboBox>("CmbWriteMode")->currentText(), QString("EEPROM"));
    QCOMPARE(child<QLineEdit>("TxtDataStart")->text(), QString("42"));
    QCOMPARE(child<QLineEdit>("TxtStartAddress")->text(), QString("10"));
    QCOMPARE(child<QLabel>("TxtNextData")->text(), QString("42"));
}

void SerialWindowTest::numbersToSettleAreShownWithTheirTwoAnswers() {
    // A station that died while writing 43: the window shows it and settles it either way.
    SerialRunSettings run;
    run.start = 42;
    run.quantity = 5;
    run.address = 0x3F0;
    run.bytes = 2;
    const std::string path = dir_->filePath("SERIAL_RUN.db").toStdString();
    std::string error;
    QVERIFY(RunStore::create(path, run, error));
    auto store = RunStore::open(path, error);
    StationId gone = ThisStation();
    gone.boot = "an earlier boot";
    for (int i = 0; i < 2; ++i) {
        const auto taken = store->reserve(gone, nullptr);
        QVERIFY(store->markWriting(taken.reservation, error));
        gone.pid += 1;
    }
    SerialWindow& w = app_->serialWindow();
    w.open();
    auto* settle = child<QComboBox>("CmbSettle");
    QVERIFY(settle->isVisibleTo(&w));
    QCOMPARE(settle->count(), 2);
    QCOMPARE(settle->currentText(), QString("42"));
    // Each button asks once, naming the number; "いいえ" is the default and changes nothing.
    const QString usedQuestion = clickAnswering("CmdSettleUsed", QMessageBox::No);
    QVERIFY2(usedQuestion.startsWith("シリアル番号 42 を書込み済みとして記録しますか？"), qPrintable(usedQuestion));
    QVERIFY2(usedQuestion.contains("二度と割り当てません"), qPrintable(usedQuestion));
    QCOMPARE(settle->count(), 2);
    QCOMPARE(clickAnswering("CmdSettleUsed", QMessageBox::Yes), usedQuestion);
    QCOMPARE(count(), QString("1"));
    QCOMPARE(settle->count(), 1);
    const QString freeQuestion = clickAnswering("CmdSettleFree", QMessageBox::Yes);
    QVERIFY2(freeQuestion.startsWith("シリアル番号 43 を未使用に戻しますか？"), qPrintable(freeQuestion));
    QVERIFY2(freeQuestion.contains("次の IC に割り当てます"), qPrintable(freeQuestion));
    QVERIFY(!settle->isVisibleTo(&w));
    QCOMPARE(child<QLabel>("TxtNextData")->text(), QString("43"));
    QCOMPARE(child<QLabel>("Label2")->text(), QString("シリアル番号 43 を未使用に戻しました。"));
}

// The window, its radix, the HEX file it waits for and the chip read back.
void SerialWindowTest::displayFollowsTheRadixTheFileAndTheChip() {
    SerialWindow& w = app_->serialWindow();
    MainWindow& main = app_->window();
    Session& s = app_->session();
    main.move(0, 0);
    auto type = [this](const char* box, const char* text) {
        auto* edit = child<QLineEdit>(box);
        edit->selectAll();
        QTest::keyClicks(edit, text);
    };
    auto choose = [this](const char* list, int index) {
        auto* combo = child<QComboBox>(list);
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    };

    // First opened beside the main window, not over its memory dump; Esc
    // neither closes it nor loses the serial value.
    w.open();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY2(w.frameGeometry().left() > main.frameGeometry().right(),
             qPrintable(QString("window at %1, main window ends at %2").arg(w.x()).arg(main.frameGeometry().right())));
    type("TxtDataStart", "17");
    QTest::keyClick(&w, Qt::Key_Escape);
    QVERIFY(w.isVisible());
    QCOMPARE(w.model()->serialUnits(), 17 * 10000);

    // A start address with the top bit set has its end address.
    type("TxtStartAddress", "80000000");
    choose("TxtWriteByteNumber", 3);
    QCOMPARE(child<QLabel>("TxtEndAddress")->text(), QString("80000003"));
    type("TxtStartAddress", "3f0");
    choose("TxtWriteByteNumber", 1);

    // Hexadecimal display; switched on before a HEX file is loaded, the run
    // starts once one is.
    QTest::mouseClick(child<QRadioButton>("Option_Hex"), Qt::LeftButton);
    type("TxtDataStart", "1234");
    type("TxtDataFinsh", "a");
    choose("CmbWriteMode", 1);
    child<QCheckBox>("ChkSettingEnable")->click();
    QCOMPARE(child<QLabel>("Label2")->text(),
             QString("HEXファイルが開かれていません。メニューバの 【ファイル】【開く】から、HEXファイルを開いてください。"));
    loadProgram();
    QCOMPARE(child<QLabel>("Label2")->text(), QString("シリアライゼーションが有効になりました。\n設定変更はできません。"));
    QCOMPARE(child<QLabel>("TxtNextData")->text(), QString("1234"));
    auto* program = main.findChild<QPushButton*>("Command_pogram");
    QTest::mouseClick(program, Qt::LeftButton);
    QVERIFY2(s.view.note.rfind("プログラミング成功。", 0) == 0, s.view.note.c_str());
    QCOMPARE(child<QLabel>("TxtNextData")->text(), QString("1235"));

    // The chip read back to check its number: the note says the image is the chip's.
    QTest::mouseClick(main.findChild<QPushButton*>("Command_read"), Qt::LeftButton);
    QTest::mouseClick(program, Qt::LeftButton);
    QVERIFY2(s.view.note.find("チップから読み出したデータ (0x3F0) と重なっています。") != std::string::npos &&
                 s.view.note.find("HEXファイルをもう一度ロードしてください。") != std::string::npos,
             s.view.note.c_str());

    // At the next start the run is offered and resumed in hexadecimal.
    app_.reset();
    const QString asked = startAnsweringYes();
    QVERIFY2(asked.startsWith("前回の生産シリアライゼーションが途中です (書込み済 1 個、次の番号 1235)"), qPrintable(asked));
    QVERIFY(child<QRadioButton>("Option_Hex")->isChecked());
    QCOMPARE(child<QLabel>("TxtNextData")->text(), QString("1235"));
    QCOMPARE(child<QLineEdit>("TxtDataStart")->text(), QString("1235"));
}

// On a screen with room beside the main window (the offscreen platform's
// own is smaller than the main window).
int main(int argc, char** argv) {
    QTemporaryDir config;
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen") {
        QFile screens(config.filePath("screens.json"));
        if (screens.open(QIODevice::WriteOnly))
            screens.write(R"({"screens": [{"name": "wide", "x": 0, "y": 0, "width": 1920, "height": 1080,
                                            "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        screens.close();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName().toUtf8());
    }
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    SerialWindowTest test;
    return QTest::qExec(&test, argc, argv);
}
// A message of one line or of three moves none of the rows.
void SerialWindowTest::rowsStayWhereTheyAreWhateverTheMessage() {
    SerialWindow& w = app_->serialWindow();
    w.open();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto rows = [&] {
        QList<int> ys;
        for (const char* name : {"TxtDataStart", "TxtStartAddress", "ChkSettingEnable", "TxtFinshCount", "TxtNextData",
                                 "Label2", "OKButton"}) {
            QApplication::processEvents();
            ys << app_->serialWindow().findChild<QWidget*>(name)->mapTo(&w, QPoint(0, 0)).y();
        }
        return ys;
    };
    const QList<int> before = rows();
    w.model()->message = "一行";
    w.render();
    QCOMPARE(rows(), before);
    w.model()->message = "一行目\r\n二行目\r\n三行目";
    w.render();
    QCOMPARE(rows(), before);
}

#include "serialwindow_test.moc"
