// The search window driven through its widgets, found by object name.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <deque>
#include <map>
#include <memory>

#include "qtplatform/qtseams.h"
#include "session/session.h"
#include "sim/simport.h"
#include "ui/frmserch.h"
#include "ui/guiapp.h"

using namespace vx;

namespace {

class MapSettings : public SettingsStore {
public:
    std::optional<std::string> value(const std::string& key) const override {
        const auto it = values.find(key);
        return it == values.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    void setValue(const std::string& key, const std::string& value) override { values[key] = value; }
    std::map<std::string, std::string> values;
};

// Answers dialogs from a script and counts the questions.
class ScriptedUi : public Ui {
public:
    void viewChanged() override {}
    void processEvents() override {}
    void setBusy(bool) override {}
    MsgAnswer messageBox(MsgIcon, const std::string& title, const std::string&, MsgButtons) override {
        titles.push_back(title);
        return boxAnswer;
    }
    int askOverwrite() override { return 2; }
    std::optional<std::string> openFileDialog(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<std::string> saveFileDialog(const FileDialogRequest&) override { return saveAnswer; }
    void showPortWindow() override {}

    std::optional<std::string> saveAnswer;
    MsgAnswer boxAnswer = MsgAnswer::Cancel;
    std::vector<std::string> titles;
};

class NoProcesses : public Processes {
public:
    ProcessId start(const std::string&, const std::vector<std::string>&, const std::string&) override { return {}; }
    std::optional<int> exitCode(ProcessId) override { return 0; }
    bool openWithAssociated(const std::string&) override { return false; }
    bool openInTextEditor(const std::string&) override { return false; }
};

struct Rig {
    Rig() : port(clock, SimChip("FLASH", 1024, 64)), session(port, settings, clock, ui, processes) {
        session.run.appDir = dir.path().toStdString() + "/";
    }
    void select(const std::string& name, int words) {
        session.device.name = name;
        session.device.programWords = words;
        for (int a = 0; a < words; ++a) {
            session.buffer.program[2 * a] = 0x3F;
            session.buffer.program[2 * a + 1] = 0xFF;
        }
        session.buffer.configWord = 0x3FF1;
        session.view.idText = "FFFF";
    }

    QTemporaryDir dir;
    SteadyClock clock;
    MapSettings settings;
    ScriptedUi ui;
    NoProcesses processes;
    SimPort port;
    Session session;
};

template <typename T>
T* child(QWidget& w, const char* name) {
    T* found = w.findChild<T*>(name);
    if (!found)
        qFatal("no widget %s", name);
    return found;
}

}  // namespace

class FrmSerchTest : public QObject {
    Q_OBJECT
private slots:
    void searchIsOfferedFor14BitCoresOnly() {
        Rig rig;
        rig.select("PIC12C508", 512);
        FrmSerch twelve(rig.session);
        QVERIFY(!child<QPushButton>(twelve, "CmdSerch")->isEnabled());

        rig.select("PIC16F84A", 1024);
        FrmSerch fourteen(rig.session);
        QVERIFY(child<QPushButton>(fourteen, "CmdSerch")->isEnabled());
        QVERIFY(child<QPlainTextEdit>(fourteen, "RichResult")->isReadOnly());
        QCOMPARE(child<QLabel>(fourteen, "Label1")->text(),
                 QString("指定されたコードに上書き可能なアドレスを検索します。下部のテキストボックスに書き換え後のコードを１６進数"
                         "で４桁で入力してください。一度に４つまで検索できます。(14bitコア製品のみ対応。)"));
    }

    void aSecondSearchReplacesListingAndCount() {
        Rig rig;
        rig.select("PIC16F84A", 1024);
        FrmSerch window(rig.session);
        window.show();
        auto* code1 = child<QLineEdit>(window, "SerchCode1");
        auto* result = child<QPlainTextEdit>(window, "RichResult");
        auto* count = child<QLabel>(window, "Lbl_flag_cnt");

        code1->setText("3fff");
        QTest::mouseClick(child<QPushButton>(window, "CmdSerch"), Qt::LeftButton);
        QCOMPARE(count->text(), QString("1024個所のコード置き換えが可能です。"));
        QCOMPARE(code1->text(), QString("3FFF"));
        QVERIFY(result->toPlainText().startsWith("\t\tLIST\tP=16F84A,ST=OFF\n"));
        QVERIFY(result->toPlainText().contains("; 0003FF  (3FFF)  changeable 3FFF "));
        QVERIFY(QFile::exists(QDir(rig.dir.path()).filePath("dis_asm.asm")));
        QVERIFY(child<QPushButton>(window, "CmdSerch")->isEnabled());

        rig.session.buffer.program[0] = 0x00;  // word 0 becomes nop
        rig.session.buffer.program[1] = 0x00;
        code1->setText("0001");
        QTest::mouseClick(child<QPushButton>(window, "CmdSerch"), Qt::LeftButton);
        QCOMPARE(count->text(), QString("1023個所のコード置き換えが可能です。"));
        QVERIFY(result->toPlainText().contains("; 000000  (0000)  \n"));
        QVERIFY(!result->toPlainText().contains("changeable 3FFF"));
    }

    void savingOverAnExistingFileAndCancellingWritesNothing() {
        Rig rig;
        rig.select("PIC16F84A", 16);
        FrmSerch window(rig.session);
        window.show();
        QTest::mouseClick(child<QPushButton>(window, "CmdSerch"), Qt::LeftButton);
        QVERIFY(child<QPlainTextEdit>(window, "RichResult")->toPlainText().contains("END"));

        const QString target = QDir(rig.dir.path()).filePath("mine.asm");
        {
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("previous");
        }
        rig.ui.saveAnswer = target.toStdString();
        rig.ui.boxAnswer = MsgAnswer::Cancel;
        QTest::mouseClick(child<QPushButton>(window, "CmdSaveAsm"), Qt::LeftButton);
        QCOMPARE(rig.ui.titles, std::vector<std::string>{"上書き保存"});
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("previous"));
        QVERIFY(!rig.settings.values.contains("SAVE_DIR_asm"));
    }

    void theMenuOpensOneWindowWithoutBlocking() {
        QTemporaryDir dir;
        QtSettingsStore settings(dir.filePath("settings.ini"));
        GuiApp app(settings, dir.path().toStdString() + "/");
        auto* menu = app.window().findChild<QAction*>("mnuSerch");
        QVERIFY(menu && menu->isEnabled());
        auto windows = [&app] { return app.window().findChildren<FrmSerch*>("frmSerch"); };
        menu->trigger();
        QCOMPARE(windows().size(), 1);
        QVERIFY(windows()[0]->isVisible());
        QCOMPARE(windows()[0]->windowModality(), Qt::NonModal);
        menu->trigger();
        QCOMPARE(windows().size(), 1);
        QTest::mouseClick(child<QPushButton>(*windows()[0], "CmdEnd"), Qt::LeftButton);
        QTRY_COMPARE(windows().size(), 0);  // closing unloads it
    }

    void resultBoxFollowsTheWindowSize() {
        Rig rig;
        rig.select("PIC16F84A", 16);
        FrmSerch window(rig.session);
        window.show();
        auto* result = child<QPlainTextEdit>(window, "RichResult");
        window.resize(640, 480);
        QCOMPARE(result->width(), 640 - 6);
        QCOMPARE(result->y() + result->height(), 480 - 25);
        const QRect before = result->geometry();
        window.resize(640, result->y() + 10);  // no room: the box keeps its size
        QCOMPARE(result->geometry(), before);
    }
};

QTEST_MAIN(FrmSerchTest)
#include "frmserch_test.moc"
