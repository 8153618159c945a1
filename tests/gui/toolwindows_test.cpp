// The tool settings, About, serial-number and device index windows, reached
// through the main window's menus and found by object names.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QStandardPaths>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <functional>
#include <memory>

#include "image/selection.h"
#include "qtplatform/qtseams.h"
#include "ui/guiapp.h"
#include "ui/serialwindow.h"

using namespace vx;

class ToolWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void toolSettingsCloseAtOnceStoresDefaults();
    void toolSettingsCancelStoresNothing();
    void toolSettingsNameTheLinuxToolsAndTakeATypedPath();
    void aboutIconRevealsSerialProgramming();
    void serialWindowFiltersKeysAndCounts();
    void deviceIndexListsTheDatabase();
    void buildWithGpasmReloadsTheHexFile();

private:
    QAction* action(const char* name) { return app_->window().findChild<QAction*>(name); }
    // Runs fn on the modal window `name` once it is up (the menu command
    // that opens it blocks in its own event loop).
    void onModal(const QString& name, std::function<void(QWidget*)> fn);

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QtSettingsStore> settings_;
    std::unique_ptr<GuiApp> app_;
    QStringList handled_;
};

void ToolWindowsTest::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(QFile::copy(VORMEX_SOURCE_DIR "/data/device.ini", dir_->filePath("device.ini")));
    settings_ = std::make_unique<QtSettingsStore>(dir_->filePath("settings.ini"));
    settings_->setValue("ComNo", "1");
    settings_->setValue("ComDevice1", "sim");
    handled_.clear();
    app_ = std::make_unique<GuiApp>(*settings_, dir_->path().toStdString() + "/");
    QVERIFY(app_->start(""));
}

void ToolWindowsTest::cleanup() {
    qDeleteAll(findChildren<QTimer*>());  // guards a test did not use
    app_.reset();
    settings_.reset();
    dir_.reset();
}

void ToolWindowsTest::onModal(const QString& name, std::function<void(QWidget*)> fn) {
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, timer, name, fn] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        timer->stop();
        timer->deleteLater();
        handled_ << modal->objectName();
        if (modal->objectName() == name)
            fn(modal);
        else
            modal->close();  // an unexpected box would wait forever
    });
    timer->start(20);
}

void ToolWindowsTest::toolSettingsCloseAtOnceStoresDefaults() {
    onModal("frmMPASMWIN", [](QWidget* w) {
        QCOMPARE(w->windowTitle(), QString("アセンブラ・コンパイラの設定"));
        QCOMPARE(w->findChild<QLineEdit*>("txtAsmOption")->text(), QString("/q"));
        QVERIFY(w->findChild<QRadioButton*>("Option_Notopad")->isChecked());
        // The information text scrolls, so the window fits a 1024×768 desktop
        // with its panel, title bar and fonts half as tall again, buttons
        // included (at most 60% of 768 here).
        auto* info = w->findChild<QScrollArea*>("InfoScroll");
        QVERIFY(info);
        QVERIFY2(w->minimumSizeHint().height() <= 460, qPrintable(QString::number(w->minimumSizeHint().height())));
        QVERIFY(w->height() >= info->widget()->sizeHint().height());  // room enough here: all of it shown
        QTest::mouseClick(w->findChild<QPushButton*>("OKButton"), Qt::LeftButton);
    });
    QVERIFY(action("mnuMPASMsetting")->isEnabled());
    action("mnuMPASMsetting")->trigger();
    QCOMPARE(handled_, QStringList{"frmMPASMWIN"});
    QCOMPARE(settings_->value("AsmOption").value_or("?"), std::string("/q"));
    QCOMPARE(settings_->value("AsmAfter").value_or("?"), std::string("lst"));
    QCOMPARE(settings_->value("EditerA").value_or("?"), std::string("True"));
    QCOMPARE(settings_->value("EditerB").value_or("?"), std::string("False"));
    QCOMPARE(settings_->value("CCSC_option").value_or("?"), std::string("0"));
}

void ToolWindowsTest::toolSettingsCancelStoresNothing() {
    app_->session().run.asmToolPath = "/opt/tools/gpasm";
    QStringList chooser;
    onModal("frmMPASMWIN", [&chooser](QWidget* w) {
        QCOMPARE(w->findChild<QLineEdit*>("txtAsmPath")->text(), QString("/opt/tools/gpasm"));
        QTest::keyClicks(w->findChild<QLineEdit*>("txtAsmOption"), " -w");
        // Enter in the text boxes presses no button: no file chooser, no close.
        QTimer guard;
        QObject::connect(&guard, &QTimer::timeout, [w, &chooser] {
            if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != w) {
                chooser << modal->metaObject()->className();
                modal->close();
            }
        });
        guard.start(20);
        QTest::keyClick(w->findChild<QLineEdit*>("txtAsmOption"), Qt::Key_Return);
        QTest::keyClick(w->findChild<QLineEdit*>("Text_After_File"), Qt::Key_Enter);
        QVERIFY(w->isVisible());
        QTest::mouseClick(w->findChild<QPushButton*>("CancelButton"), Qt::LeftButton);
    });
    action("mnuMPASMsetting")->trigger();
    QVERIFY2(chooser.isEmpty(), qPrintable(chooser.join(", ")));
    QVERIFY(!settings_->value("AsmOption"));
    QCOMPARE(app_->session().run.asmToolPath, std::string("/opt/tools/gpasm"));
}

void ToolWindowsTest::toolSettingsNameTheLinuxToolsAndTakeATypedPath() {
    const QString tool = dir_->filePath("sdcc");
    QFile file(tool);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    app_->session().device.name = "PIC16F84A";
    QString texts;
    onModal("frmMPASMWIN", [&](QWidget* w) {
        for (const QLabel* label : w->findChildren<QLabel*>())
            texts += label->text() + "\n";
        for (const QAbstractButton* button : w->findChildren<QAbstractButton*>())
            texts += button->text() + "\n";
        for (const QGroupBox* frame : w->findChildren<QGroupBox*>())
            texts += frame->title() + "\n";
        auto* path = w->findChild<QLineEdit*>("txtAsmPath");
        path->clear();
        QTest::keyClicks(path, tool);
        QTest::keyClick(path, Qt::Key_Return);
        QCOMPARE(w->findChild<QLineEdit*>("txtAsmOption")->text(), QString("-mpic14"));
        QTest::mouseClick(w->findChild<QPushButton*>("OKButton"), Qt::LeftButton);
    });
    action("mnuMPASMsetting")->trigger();
    QCOMPARE(handled_, QStringList{"frmMPASMWIN"});
    for (const char* windows : {"mpasmwin", "メモ帳", "picc", ".exe"})
        QVERIFY2(!texts.contains(windows, Qt::CaseInsensitive), windows);
    for (const char* linux : {"gpasm", "sdcc", "テキストエディタで開く"})
        QVERIFY2(texts.contains(linux), linux);
    QCOMPARE(settings_->value("AsmFilePathWithFileName").value_or(""), tool.toStdString());
    QCOMPARE(settings_->value("AsmOption").value_or(""), std::string("-mpic14"));
    QCOMPARE(app_->session().run.asmToolPath, tool.toStdString());
}

void ToolWindowsTest::aboutIconRevealsSerialProgramming() {
    QVERIFY(!action("mnuSerialPgmSetting")->isVisible());
    onModal("frmAbout", [](QWidget* w) {
        QCOMPARE(w->windowTitle(), QString("Vormex V3のﾊﾞｰｼﾞｮﾝ情報"));
        QCOMPARE(w->findChild<QLabel*>("lblVersion")->text(), QString("Ver 2.9.24"));
        QTest::mouseClick(w->findChild<QLabel*>("picIcon"), Qt::LeftButton);
    });
    action("version")->trigger();
    QCOMPARE(handled_, QStringList{"frmAbout"});
    QVERIFY(action("mnuSerialPgmSetting")->isVisible());
    QVERIFY(action("nmuI")->isVisible());
    QVERIFY(action("mnuSerialPgmSetting")->isEnabled());
    auto* serial = app_->window().findChild<QWidget*>("frmSerialPgmSetting");
    QVERIFY(serial);
    QVERIFY(serial->isVisible());
    QVERIFY(!serial->isModal());
}

void ToolWindowsTest::serialWindowFiltersKeysAndCounts() {
    SerialWindow& w = app_->serialWindow();
    w.open();
    auto* finish = w.findChild<QLineEdit*>("TxtDataFinsh");
    auto* address = w.findChild<QLineEdit*>("TxtStartAddress");
    QCOMPARE(w.findChild<QLabel*>("TxtEndAddress")->text(), QString("0"));
    QCOMPARE(w.findChild<QLabel*>("TxtWrotDataHex")->text(), QString("00"));
    finish->clear();
    QTest::keyClicks(finish, "2x-");
    QCOMPARE(finish->text(), QString("2"));
    address->clear();
    QTest::keyClicks(address, "3f0");
    QCOMPARE(address->text(), QString("3F0"));
    QCOMPARE(w.findChild<QLabel*>("TxtEndAddress")->text(), QString("3F0"));

    // Switching on needs an open HEX file: the message says so, fields stay locked.
    w.findChild<QCheckBox*>("ChkSettingEnable")->click();
    QVERIFY(!finish->isEnabled());
    QVERIFY(w.findChild<QLabel*>("Label2")->text().startsWith("HEXファイルが開かれていません。"));
    QTest::mouseClick(w.findChild<QPushButton*>("Command1"), Qt::LeftButton);
    QCOMPARE(w.findChild<QLineEdit*>("TxtFinshCount")->text(), QString("1"));
    QTest::mouseClick(w.findChild<QPushButton*>("OKButton"), Qt::LeftButton);
    QVERIFY(!w.isVisible());
    QVERIFY(!w.model());
    QVERIFY(settings_->value("SPSLeft"));
}

void ToolWindowsTest::deviceIndexListsTheDatabase() {
    onModal("frmIndex", [this](QWidget* w) {
        auto* table = w->findChild<QTableWidget*>();
        QVERIFY(table);
        QCOMPARE(table->rowCount(), static_cast<int>(app_->session().db.deviceNames.size()));
        QCOMPARE(table->item(0, 0)->text().toStdString(), app_->session().db.deviceNames.front());
        QTest::mouseClick(w->findChild<QPushButton*>("Command1"), Qt::LeftButton);
    });
    action("nmuindex")->trigger();
    QCOMPARE(handled_, QStringList{"frmIndex"});
}

void ToolWindowsTest::buildWithGpasmReloadsTheHexFile() {
    const QString gpasm = QStandardPaths::findExecutable("gpasm");
    if (gpasm.isEmpty())
        QSKIP("gpasm is not installed");
    Session& s = app_->session();
    const auto& names = s.db.deviceNames;
    const auto it = std::find(names.begin(), names.end(), "PIC16F84A");
    QVERIFY(it != names.end());
    SelectDeviceIndex(s, static_cast<int>(it - names.begin()));
    // A folder with a space: the source name reaches the tool as one argument.
    QVERIFY(QDir(dir_->path()).mkpath("my src"));
    const QString folder = dir_->filePath("my src");
    QFile source(folder + "/blink led.asm");
    QVERIFY(source.open(QIODevice::WriteOnly));
    source.write("\tprocessor 16f84a\n\torg 0\n\tmovlw 0x12\n\tgoto 0\n\tend\n");
    source.close();
    s.run.asmToolPath = gpasm.toStdString();
    settings_->setValue("AsmOption", "-q");
    settings_->setValue("OPEN_DIR0", folder.toStdString());
    s.loader.hexPath = (folder + "/blink led.hex").toStdString();

    onModal("-", {});  // any box would be unexpected: close and record it
    action("mnuASMwithRELOAD")->trigger();
    QVERIFY2(handled_.isEmpty(), qPrintable(handled_.join(", ")));
    QVERIFY(QFile::exists(folder + "/blink led.hex"));
    QCOMPARE(s.view.note, std::string("ＨＥＸファイルの再生成と再ロード完了。 "));
    QCOMPARE(app_->window().windowTitle(), QString::fromStdString(s.run.titleBase) + folder + "/blink led.hex");
    QCOMPARE((s.buffer.program[0] << 8) | s.buffer.program[1], 0x3012);
}

QTEST_MAIN(ToolWindowsTest)
#include "toolwindows_test.moc"
