// The chip image in the main window: device choice, HEX load, dumps, grid
// editors, the ID box and the memory usage window.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <memory>

#include "image/hexfile.h"
#include "qtplatform/qtseams.h"
#include "ui/guiapp.h"

using namespace vx;

class ImageWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void loadedFileShowsEverywhere();
    void gridEditorChangesTheConfigurationWord();
    void shorterGridOfAnotherDeviceOpensNoEditor();
    void idBoxTakesHexDigitsAndCommitsOnLeaving();
    void calibrationEditorTakesEditsMadeWithoutKeys();
    void configBoxTogglesBits();
    void memoryMapDrawsOnlyOnDisplay();

private:
    template <typename T>
    T* find(const char* name) {
        return app_->window().findChild<T*>(name);
    }
    void selectDevice(const QString& name);
    QString writeHex(const QString& name, const QString& text);

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QtSettingsStore> settings_;
    std::unique_ptr<GuiApp> app_;
    QTimer modalGuard_;
};

void ImageWindowTest::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(QFile::copy(VORMEX_SOURCE_DIR "/data/device.ini", dir_->filePath("device.ini")));
    settings_ = std::make_unique<QtSettingsStore>(dir_->filePath("settings.ini"));
    settings_->setValue("ComNo", "1");
    settings_->setValue("ComDevice1", "sim");
    connect(&modalGuard_, &QTimer::timeout, this, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    modalGuard_.start(50);
    app_ = std::make_unique<GuiApp>(*settings_, dir_->path().toStdString() + "/");
    QVERIFY(app_->start(""));
}

void ImageWindowTest::cleanup() {
    modalGuard_.stop();
    app_.reset();
    settings_.reset();
    dir_.reset();
}

void ImageWindowTest::selectDevice(const QString& name) {
    auto* combo = find<QComboBox>("Combo_device");
    const int index = combo->findText(name);
    QVERIFY(index >= 0);
    combo->setCurrentIndex(index);
    emit combo->activated(index);
    QCOMPARE(QString::fromStdString(app_->session().device.name), name);
}

QString ImageWindowTest::writeHex(const QString& name, const QString& text) {
    const QString path = dir_->filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(text.toUtf8());
    return path;
}

void ImageWindowTest::loadedFileShowsEverywhere() {
    selectDevice("PIC16F84A");
    Session& s = app_->session();
    const QString path = writeHex("blink.hex",
                                  ":02000000831665\r\n:02400E00F13F80\r\n:084000000100020003000400AE\r\n"
                                  ":0242000041007B\r\n:00000001FF\r\n");
    s.loader.hexPath = path.toStdString();
    s.loader.skipHexDialog = true;
    LoadHexFile(s);
    s.loader.skipHexDialog = false;
    app_->window().render();

    QVERIFY(find<QPlainTextEdit>("RichTxtPgmMem")->toPlainText().startsWith("0000:1683 3FFF 3FFF"));
    QVERIFY(find<QPlainTextEdit>("rText_EepromMem")->toPlainText().startsWith("0000:41 FF"));
    QCOMPARE(find<QLabel>("LblCheckSUM")->text(), QString("D284"));  // 1023 x 3FFF + 1683
    QCOMPARE(find<QLabel>("Text_Config")->text(), QString("3FF1"));
    QCOMPARE(find<QLineEdit>("Text_ID")->text(), QString("1234"));
    auto* grid = find<QTableWidget>("HFGrid1");
    QCOMPARE(grid->item(1, 0)->text(), QString("FOSC"));
    QCOMPARE(grid->item(1, 1)->text(), QString("XT"));
    QCOMPARE(grid->item(4, 1)->text(), QString("OFF"));
    QVERIFY(app_->window().windowTitle().endsWith(path));
    QVERIFY(app_->window().windowTitle().startsWith("Vormex V3 Ver 2.9.24  "));
    QCOMPARE(find<QLabel>("LabelCmt")->text(), QString("ファイルオープン完了 "));
    for (const char* name : {"Cmd_open", "Cmd_save"}) {
        auto* tool = find<QToolButton>(name);
        QVERIFY2(tool && tool->isEnabled(), name);
    }
}

void ImageWindowTest::gridEditorChangesTheConfigurationWord() {
    selectDevice("PIC16F84A");
    auto* grid = find<QTableWidget>("HFGrid1");
    grid->setCurrentCell(1, 0);  // the first leave-cell after a selection only arms
    auto* combo = find<QComboBox>("CmbInit");
    QVERIFY(combo);
    QVERIFY(combo->isVisible());
    QCOMPARE(combo->count(), 4);
    QCOMPARE(combo->currentText(), QString("RC"));
    const int lp = combo->findText("LP");
    emit combo->activated(lp);
    QCOMPARE(grid->item(1, 1)->text(), QString("LP"));
    QCOMPARE(find<QLabel>("Text_Config")->text(), QString("3FFC"));
    QVERIFY(find<QLabel>("LabelCmt")->text().startsWith("発振器の種類を選択します。"));

    grid->setCurrentCell(2, 0);  // the drop-down moves to the next row
    QCOMPARE(combo->currentText(), QString("ON"));
    QCOMPARE(grid->item(1, 1)->text(), QString("LP"));
}

void ImageWindowTest::shorterGridOfAnotherDeviceOpensNoEditor() {
    selectDevice("PIC16F877");
    auto* grid = find<QTableWidget>("HFGrid1");
    const int last = grid->rowCount() - 1;
    QVERIFY(last > 5);
    grid->setCurrentCell(last, 0);
    QVERIFY(find<QComboBox>("CmbInit")->isVisible());
    selectDevice("PIC12C508");
    QVERIFY(grid->rowCount() <= last);
    QVERIFY(!find<QComboBox>("CmbInit")->isVisible());
    QVERIFY(!app_->session().grid.armed);  // the redraw was no leave-cell
}

void ImageWindowTest::idBoxTakesHexDigitsAndCommitsOnLeaving() {
    selectDevice("PIC16F84A");
    auto* id = find<QLineEdit>("Text_ID");
    id->setText("");
    QTest::keyClicks(id, "g 7");
    QCOMPARE(id->text(), QString("7"));
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(id, &out);
    QCOMPARE(id->text(), QString("0007"));
    const Session& s = app_->session();
    QCOMPARE(s.buffer.configArea[7], std::uint8_t{0xF7});
    QCOMPARE(s.buffer.configArea[1], std::uint8_t{0xF0});
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(id, &in);
    QCOMPARE(find<QLabel>("LabelCmt")->text(), QString("ＩＤ番号の表示。変更するときは４桁の16進数を入力します。 "));
}

void ImageWindowTest::calibrationEditorTakesEditsMadeWithoutKeys() {
    selectDevice("PIC12F675");
    auto* grid = find<QTableWidget>("HFGrid1");
    int row = 1;
    while (row < grid->rowCount() && grid->item(row, 0)->text() != "CALIB(retlw)")
        ++row;
    QVERIFY(row < grid->rowCount());
    grid->setCurrentCell(row, 0);
    auto* txt = find<QLineEdit>("TxtInit");
    QVERIFY(txt->isVisible());
    QCOMPARE(txt->text(), QString("80"));
    const Session& s = app_->session();
    auto leave = [txt] {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(txt, &out);
    };

    txt->selectAll();
    QTest::keyClick(txt, Qt::Key_Delete);
    QCOMPARE(txt->text(), QString());
    leave();
    QCOMPARE(s.buffer.calibText, std::string("retlw 0x00"));
    QCOMPARE(grid->item(row, 1)->text(), QString("00"));

    // Pasted text keeps what the key filter admits.
    QApplication::clipboard()->setText("a7z");
    txt->selectAll();
    txt->paste();
    QCOMPARE(txt->text(), QString("A7"));
    leave();
    QCOMPARE(s.buffer.calibText, std::string("retlw 0xA7"));
}

void ImageWindowTest::configBoxTogglesBits() {
    selectDevice("PIC16F84A");
    auto* config = find<QLabel>("Text_Config");
    QTest::mouseClick(config, Qt::LeftButton);
    QCOMPARE(config->text(), QString("11 1111 1111 1111"));
    QTest::mouseClick(config, Qt::LeftButton);
    QCOMPARE(config->text(), QString("3FFF"));
}

void ImageWindowTest::memoryMapDrawsOnlyOnDisplay() {
    selectDevice("PIC16F84A");
    Session& s = app_->session();
    for (int i = 0; i < 2 * 512; ++i)
        s.buffer.program[static_cast<std::size_t>(i)] = 0;  // words 0..511 in use
    QAction* menu = find<QAction>("nmuMemStatus");
    QVERIFY(menu->isEnabled());
    menu->trigger();
    auto* window = app_->window().findChild<QWidget*>("frmMemStatus");
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QCOMPARE(window->windowTitle(), QString("プログラムメモリ使用状況"));
    auto* strip = window->findChild<QWidget*>("Picture0");
    const QColor face = strip->palette().button().color();
    QImage before = strip->grab().toImage();
    QCOMPARE(before.pixelColor(strip->width() / 10, 5), face);

    window->findChild<QPushButton*>("CmdDisplay")->click();
    const QImage after = strip->grab().toImage();
    const int w = strip->width();
    QCOMPARE(after.pixelColor(w / 10, 5), QColor(0xFF, 0x80, 0x80));  // used words
    QCOMPARE(after.pixelColor(static_cast<int>(w * 0.4), 5), QColor(Qt::black));  // blank words
    QCOMPARE(after.pixelColor(static_cast<int>(w * 0.8), 5), face);  // beyond the device
    const QImage page1 = window->findChild<QWidget*>("Picture1")->grab().toImage();
    QCOMPARE(page1.pixelColor(5, 5), face);
}

QTEST_MAIN(ImageWindowTest)
#include "image_test.moc"
