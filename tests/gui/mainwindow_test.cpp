// The main window started on the shipped database, found by object names.
#include <QScreen>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <functional>
#include <memory>
#include <utility>

#include "app/startup.h"
#include "device/devicedb.h"
#include "image/history.h"
#include "qtplatform/qtseams.h"
#include "session/status.h"
#include "ui/boardwindow.h"
#include "ui/guiapp.h"
#include "ui/qtui.h"
#include "ui/serialwindow.h"

using namespace vx;

namespace {

// Versions and names in file order, read straight from the shipped file.
QString shippedVersion(QStringList& names) {
    QFile file(VORMEX_SOURCE_DIR "/data/device.ini");
    file.open(QIODevice::ReadOnly);
    QString version;
    bool inEntry = false;
    bool expectName = false;
    for (QString line : QString::fromUtf8(file.readAll()).split('\n')) {
        line = line.trimmed();
        if (line.startsWith("VERSION "))  // the last one wins
            version = line.mid(8).split(',').first().simplified().remove(' ');
        if (line.startsWith("#BEGIN", Qt::CaseInsensitive)) {
            inEntry = true;
            expectName = true;
        } else if (inEntry && expectName && !line.isEmpty() && !line.startsWith(';')) {
            names << line.split(' ').first();
            expectName = false;
        } else if (line.startsWith("#END", Qt::CaseInsensitive)) {
            inEntry = false;
        }
    }
    return version;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void menuEntriesCarryTheirCaptions();
    void startUpShowsDatabaseAndDevices();
    void widgetsAreNamed();
    void historyEntriesFollowTheModel();
    void historyFolderWithASpaceReopensThatFolder();
    void runningCommandDisablesEditorsAndRefusesClosing();
    void fileFiltersMatchAnyCase();
    void boardWindowShownAndPlaced();
    void appDirSeededWithShippedDatabase();
    void exitRunsTheEnding();
    void missingDeviceFocusesTheList();
    void fileSummaryNeverResizesTheMemoryPanes();

private:
    QAction* action(const char* name) { return app_->window().findChild<QAction*>(name); }

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QtSettingsStore> settings_;
    std::unique_ptr<GuiApp> app_;
    QTimer modalGuard_;
    QStringList unexpectedBoxes_;
    std::function<void(QFileDialog*)> onFileDialog_;  // else a file dialog is cancelled
};

void MainWindowTest::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(QFile::copy(VORMEX_SOURCE_DIR "/data/device.ini", dir_->filePath("device.ini")));
    settings_ = std::make_unique<QtSettingsStore>(dir_->filePath("settings.ini"));
    // The built-in simulated board on COM1, so start-up needs no port window.
    settings_->setValue("ComNo", "1");
    settings_->setValue("ComDevice1", "sim");
    unexpectedBoxes_.clear();
    onFileDialog_ = nullptr;
    // A modal box would wait for a click forever offscreen: record and close it.
    connect(&modalGuard_, &QTimer::timeout, this, [this] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (dialog && onFileDialog_)
                return std::exchange(onFileDialog_, nullptr)(dialog);
            unexpectedBoxes_ << modal->windowTitle();
            modal->close();
        }
    });
    modalGuard_.start(50);
    app_ = std::make_unique<GuiApp>(*settings_, dir_->path().toStdString() + "/");
    QVERIFY(app_->start(""));
}

void MainWindowTest::cleanup() {
    modalGuard_.stop();
    app_.reset();
    settings_.reset();
    dir_.reset();
}

void MainWindowTest::menuEntriesCarryTheirCaptions() {
    const std::vector<std::pair<const char*, const char*>> menus = {
        {"file", "ﾌｧｲﾙ(&F)"}, {"option", "ｵﾌﾟｼｮﾝ(&O)"}, {"mnuAsmC", "ｱｾﾝﾌﾞﾗ・ｺﾝﾊﾟｲﾗ(&C)"}, {"nmuHelp", "ﾍﾙﾌﾟ(&H)"}};
    for (const auto& [name, title] : menus) {
        auto* menu = app_->window().findChild<QMenu*>(name);
        QVERIFY2(menu, name);
        QCOMPARE(menu->title(), QString::fromUtf8(title));
    }
    const std::vector<std::pair<const char*, const char*>> entries = {
        {"mnuFileOpen", "HEXファイルをロード(&O)"},
        {"mnuFileSave", "名前を付けてHEXファイルを保存(&S)"},
        {"nmuHistryClear", "履歴のクリア(&C)"},
        {"mnuEditer", "テキストエディタを起動(&E)"},
        {"mnuLogFileOpen", "ログファイルを開く(&L)"},
        {"exit", "終了(&X)"},
        {"confirm", "COMポート設定(&C)"},
        {"mnuPcBufferMemoryClear", "PC バッファメモリクリア(&P)"},
        {"mnuDevice_clear", "PIC フラッシュメモリ消去(&E)"},
        {"mnuDeviceId", "デバイスIDを確認(&D)"},
        {"mnuSerch", "置き換え可能アドレスの検索"},
        {"nmuMemStatus", "プログラムメモリ使用状況表示"},
        {"mnuBlankSkip", "\"PIC16F\" プログラム時のブランクチェックをスキップ"},
        {"mnuSerialPgmSetting", "シリアルデータプログラミング"},
        {"mnuComMode1", "通信モードその１"},
        {"mnuBoardInfomation", "ボード情報ウインドウの表示"},
        {"mnuSourceOpen", "アセンブル・コンパイルするファイルを指定(&A)"},
        {"mnuMPASMsetting", "アセンブラ・コンパイラの設定(&S)"},
        {"mnuRELOAD", "【HEXﾌｧｲﾙ再ﾛｰﾄﾞ】(&L)"},
        {"mnuASMwithRELOAD", "【HEXﾌｧｲﾙの再生成とﾛｰﾄﾞ】(&B)"},
        {"info", "インフォメーション(&P)"},
        {"nmuindex", "デバイス インデックス(&I)"},
        {"mnuHelp", "ヘルプ(&H)"},
        {"version", "バージョン情報(&V)"}};
    for (const auto& [name, caption] : entries) {
        QAction* a = action(name);
        QVERIFY2(a, name);
        QCOMPARE(a->text(), QString::fromUtf8(caption));
    }
    // Alt and a letter reaches one entry of a menu, never two.
    for (auto* menu : app_->window().menuBar()->findChildren<QMenu*>()) {
        QSet<QChar> mnemonics;
        for (QAction* a : menu->actions()) {
            const qsizetype amp = a->text().indexOf('&');
            if (amp < 0 || amp + 1 >= a->text().size())
                continue;
            const QChar key = a->text().at(amp + 1).toUpper();
            QVERIFY2(!mnemonics.contains(key), qPrintable(menu->title() + " " + a->text()));
            mnemonics.insert(key);
        }
    }
    for (const char* name : {"mnuBlankSkip", "mnuComMode1", "mnuBoardInfomation"})
        QVERIFY2(action(name)->isCheckable(), name);
    // Default check marks: board window on, the other two off.
    QVERIFY(action("mnuBoardInfomation")->isChecked());
    QVERIFY(!action("mnuComMode1")->isChecked());
    for (int n = 1; n <= 5; ++n) {
        QVERIFY(action(qPrintable(QString("nmuFile%1").arg(n))));
        QAction* companion = action(qPrintable(QString("nmuDevice%1").arg(n)));
        QVERIFY(companion);
        QVERIFY(!companion->isVisible());
    }
    QVERIFY(!action("mnuSerialPgmSetting")->isVisible());
    QVERIFY(action("nmuI")->isSeparator());
    QVERIFY(!action("nmuI")->isVisible());
    // The shell's own commands are live; commands without a handler are not.
    QVERIFY(action("exit")->isEnabled());
    QVERIFY(action("nmuHistryClear")->isEnabled());
}

void MainWindowTest::startUpShowsDatabaseAndDevices() {
    QStringList names;
    const QString version = shippedVersion(names);
    QVERIFY(!names.isEmpty());
    auto* ver = app_->window().findChild<QLabel*>("Label_Ver");
    QVERIFY(ver);
    QCOMPARE(ver->text(), "device.ini : Ver " + version);
    auto* combo = app_->window().findChild<QComboBox*>("Combo_device");
    QVERIFY(combo);
    QStringList listed;
    for (int i = 0; i < combo->count(); ++i)
        listed << combo->itemText(i);
    QCOMPARE(listed, names);
    QVERIFY(app_->window().windowTitle().startsWith("Vormex V3 Ver 2.9.24  "));
    // COM1 is the simulated board: found at start-up, its firmware shown.
    QVERIFY(app_->session().link.boardFound);
    QCOMPARE(app_->window().findChild<QLabel*>("Label_FirmwareVersion")->text(),
             QString::fromStdString(app_->session().view.firmwareLabel.caption));
    QVERIFY(QFile::exists(dir_->filePath("LOG.txt")));
    QVERIFY2(unexpectedBoxes_.isEmpty(), qPrintable(unexpectedBoxes_.join(", ")));
}

void MainWindowTest::widgetsAreNamed() {
    MainWindow& w = app_->window();
    const std::vector<std::pair<const char*, const char*>> buttons = {
        {"Command_pogram", "プログラム(&P)"}, {"Command_read", "リード(&R)"}, {"Command_Vrify", "ベリファイ(&V)"},
        {"Command_blank", "ブランクチェック(&B)"}, {"Command_com", "通信"}, {"Command_OPEN", "解放"}};
    for (const auto& [name, caption] : buttons) {
        auto* b = w.findChild<QPushButton*>(name);
        QVERIFY2(b, name);
        QVERIFY(b->text().startsWith(QString::fromUtf8(caption)));
    }
    for (const char* name : {"RichTxtPgmMem", "rText_EepromMem"}) {
        auto* box = w.findChild<QPlainTextEdit*>(name);
        QVERIFY2(box, name);
        QVERIFY(box->isReadOnly());
    }
    for (const char* name : {"Label4", "Text_Config", "LabelCmt", "Lbl_Persent", "Label_FirmwareVersion",
                             "LblCheckSUM", "Label_calib_check", "Label_pm_size", "Label_ed_size"})
        QVERIFY2(w.findChild<QLabel*>(name), name);
    for (const char* name : {"Text_ID", "Txt_12F_BG_data", "Txt_12F_OSCCAL_data_HI", "Txt_12F_OSCCAL_data_LO",
                             "P_Bar", "HFGrid1"})
        QVERIFY2(w.findChild<QWidget*>(name), name);
    QVERIFY(!w.findChild<QWidget*>("Text_debug")->isVisible());
    QCOMPARE(w.findChild<QLineEdit*>("Text_ID")->text(), QString("FFFF"));
}

void MainWindowTest::historyEntriesFollowTheModel() {
    Session& s = app_->session();
    s.view.menus["nmuFile1"] = {"/tmp/a&b    PIC16F84A", false, true, true};
    app_->window().render();
    QCOMPARE(action("nmuFile1")->text(), QString("/tmp/a&&b    PIC16F84A"));
    QVERIFY(action("nmuFile1")->isVisible());
    action("nmuHistryClear")->trigger();
    QVERIFY(!action("nmuFile1")->isVisible());
    QCOMPARE(settings_->value("OPEN_Device1").value_or(""), std::string("0"));
}

void MainWindowTest::historyFolderWithASpaceReopensThatFolder() {
    const QString folder = dir_->filePath("hex files/blink led");
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/blink.hex";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(":02000000831665\r\n:00000001FF\r\n");
    file.close();
    Session& s = app_->session();
    s.view.menus["nmuFile1"] = {HistoryCaption(folder.toStdString(), "PIC16F84A"), false, true, true};
    const auto& names = s.view.deviceList;
    const auto f84 = std::find(names.begin(), names.end(), "PIC16F84A") - names.begin();
    settings_->setValue("OPEN_Device1", std::to_string(f84));
    app_->window().render();

    QString startedIn;
    bool qtsOwn = false;  // Japanese whatever the desktop's language
    onFileDialog_ = [&](QFileDialog* dialog) {
        startedIn = dialog->directory().absolutePath();
        qtsOwn = dialog->testOption(QFileDialog::DontUseNativeDialog);
        // Typed rather than selectFile(): that leaves the name box alone while it has the focus.
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(path);
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept, which is protected
    };
    action("nmuFile1")->trigger();
    QCOMPARE(startedIn, folder);
    QVERIFY(qtsOwn);
    QCOMPARE(s.device.name, std::string("PIC16F84A"));
    QCOMPARE(s.buffer.program[0], std::uint8_t{0x16});
    QVERIFY(app_->window().windowTitle().endsWith(path));
    QVERIFY2(unexpectedBoxes_.isEmpty(), qPrintable(unexpectedBoxes_.join(", ")));
}

void MainWindowTest::runningCommandDisablesEditorsAndRefusesClosing() {
    MainWindow& w = app_->window();
    Session& s = app_->session();
    const std::vector<const char*> refused = {"Combo_device", "HFGrid1", "Text_ID", "Txt_12F_BG_data",
                                              "Command_pogram", "Cmd_save"};
    SerialWindow& serial = app_->serialWindow();
    serial.open();
    s.view.busy = true;
    s.ui.viewChanged();
    for (const char* name : refused)
        QVERIFY2(!w.findChild<QWidget*>(name)->isEnabled(), name);
    QVERIFY(!serial.findChild<QWidget*>("ChkSettingEnable")->isEnabled());
    for (const char* name : {"mnuFileSave", "mnuFileOpen", "mnuPcBufferMemoryClear", "exit"})
        QVERIFY2(!action(name)->isEnabled(), name);
    QVERIFY(action("mnuSerch")->isEnabled());
    w.close();
    QVERIFY(w.isVisible());
    QCOMPARE(w.findChild<QLabel*>("LabelCmt")->text(),
             QString("ライターと通信中です。終わってからもう一度操作してください。 "));

    s.view.busy = false;
    w.render();
    for (const char* name : refused)
        QVERIFY2(w.findChild<QWidget*>(name)->isEnabled(), name);
    QVERIFY(action("mnuFileSave")->isEnabled());
}

void MainWindowTest::fileFiltersMatchAnyCase() {
    const QStringList filters = QtNameFilters("Hexファイル|*.HEX|すべて|*.*|");
    QCOMPARE(filters, QStringList({"Hexファイル (*.[Hh][Ee][Xx])", "すべて (*.*)"}));
    QVERIFY(QDir::match(filters.first().section('(', 1).chopped(1), "blink.hex"));
    QVERIFY(QDir::match(filters.first().section('(', 1).chopped(1), "BLINK.Hex"));
}

void MainWindowTest::boardWindowShownAndPlaced() {
    BoardWindow& board = app_->window().boardWindow();
    QVERIFY(board.isVisible());
    QCOMPARE(board.windowTitle(), QString("ボード情報"));
    QCOMPARE(board.objectName(), QString("frmBoard"));
    // No saved place yet: beside the main window where the screen has room,
    // else at the screen's edge; on the screen either way.
    const QRect main = app_->window().frameGeometry();
    const QRect screen = app_->window().screen()->availableGeometry();
    if (main.width() + board.frameGeometry().width() + 8 <= screen.width())
        QVERIFY(!board.frameGeometry().intersects(main));
    QVERIFY(screen.contains(board.frameGeometry().topLeft()));
    QVERIFY(board.frameGeometry().left() != main.left());
    // Shown on top without taking the focus (which the offscreen platform
    // gives every shown window all the same), so the main window is never
    // activated again over it.
    QVERIFY(board.testAttribute(Qt::WA_ShowWithoutActivating));
    board.move(40, 60);
    board.unload();
    QCOMPARE(settings_->value("BoardLeft").value_or(""), std::string("600"));
    QCOMPARE(settings_->value("BoardTop").value_or(""), std::string("900"));
}

void MainWindowTest::appDirSeededWithShippedDatabase() {
    // The test executable's folder holds no device.ini: the per-user folder is used.
    QTemporaryDir data;
    const bool wasSet = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    QCoreApplication::setApplicationName("Vormex V3");
    const QString dir = LocateAppDir();
    if (wasSet)
        qputenv("XDG_DATA_HOME", saved);
    else
        qunsetenv("XDG_DATA_HOME");
    QCOMPARE(dir, data.path() + "/Vormex V3/");
    QFile seeded(dir + "device.ini");
    QFile shipped(VORMEX_SOURCE_DIR "/data/device.ini");
    QVERIFY(seeded.open(QIODevice::ReadOnly));
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    QCOMPARE(seeded.readAll(), shipped.readAll());
    QVERIFY(seeded.permissions() & QFile::WriteOwner);
}

void MainWindowTest::exitRunsTheEnding() {
    QFile leftover(dir_->filePath("tav_vor_mex.txt"));
    QVERIFY(leftover.open(QIODevice::WriteOnly));
    leftover.close();
    app_->window().move(30, 45);
    bool unloaded = false;
    app_->window().closing.push_back([&unloaded] { unloaded = true; });
    action("exit")->trigger();
    QVERIFY(unloaded);
    QVERIFY(!app_->window().isVisible());
    QVERIFY(!app_->window().boardWindow().isVisible());
    QVERIFY(!app_->session().link.port.isOpen());
    QVERIFY(!QFile::exists(dir_->filePath("tav_vor_mex.txt")));
    QCOMPARE(settings_->value("MainLeft").value_or(""), std::string("450"));
    QCOMPARE(settings_->value("MainTop").value_or(""), std::string("675"));
    QVERIFY(settings_->value("BoardLeft").has_value());
}

void MainWindowTest::missingDeviceFocusesTheList() {
    Session& s = app_->session();
    s.device.name.clear();
    app_->window().findChild<QLineEdit*>("Text_ID")->setFocus();
    QVERIFY(!CheckDeviceSelected(s));
    QCOMPARE(app_->window().focusWidget(), app_->window().findChild<QComboBox*>("Combo_device"));
    QVERIFY(s.view.focusRequest.empty());
    QCOMPARE(unexpectedBoxes_, QStringList{"ｲﾝﾌｫﾒｰｼｮﾝ"});
}

// No summary, one line or two: the program and EEPROM panes keep their height.
void MainWindowTest::fileSummaryNeverResizesTheMemoryPanes() {
    MainWindow& w = app_->window();
    w.resize(1000, 700);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Session& s = app_->session();
    auto heights = [&] {
        s.ui.viewChanged();
        QApplication::processEvents();
        return std::pair{w.findChild<QWidget*>("RichTxtPgmMem")->height(), w.findChild<QWidget*>("rText_EepromMem")->height()};
    };
    s.view.hexSummary.clear();
    const auto none = heights();
    s.view.hexSummary = "プログラム 3 / 1024 ワード";
    QCOMPARE(heights(), none);
    s.view.hexSummary.clear();
    for (int i = 0; i < 12; ++i)
        s.view.hexSummary += "コンフィギュレーションワードの指定なし　";
    QCOMPARE(heights(), none);
}

QTEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"
