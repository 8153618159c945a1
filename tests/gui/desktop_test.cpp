// The program on a desktop: every window on a small screen (1024×768) and a
// fresh home folder opens inside the screen's available area; Qt's own texts
// are Japanese; the desktop entry names the program's windows.
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cstring>
#include <memory>

#include "copytree.h"
#include "qtplatform/qtseams.h"
#include "ui/frmhint.h"
#include "ui/guiapp.h"
#include "ui/serialwindow.h"

using namespace vx;

namespace {

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;

}  // namespace

class DesktopTest : public QObject {
    Q_OBJECT
private slots:
    void everyWindowOpensInsideTheScreen();
    void qtsOwnTextsAreJapanese();
    void desktopEntryNamesTheWindowsClass();

private:
    // Every visible window, checked against the screen; names those outside.
    void checkVisibleWindows();

    QStringList seen_;
    QStringList outside_;
};

void DesktopTest::checkVisibleWindows() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible())
            continue;
        const QRect area = window->screen()->availableGeometry();
        const QString name = window->objectName().isEmpty() ? window->metaObject()->className() : window->objectName();
        if (!seen_.contains(name))
            seen_ << name;
        if (!area.contains(window->frameGeometry()))
            outside_ << QString("%1 at %2,%3 %4×%5")
                            .arg(name)
                            .arg(window->frameGeometry().x())
                            .arg(window->frameGeometry().y())
                            .arg(window->frameGeometry().width())
                            .arg(window->frameGeometry().height());
    }
}

void DesktopTest::everyWindowOpensInsideTheScreen() {
    const QRect screen = QApplication::primaryScreen()->geometry();
    QCOMPARE(screen.size(), QSize(kScreenWidth, kScreenHeight));

    QTemporaryDir program;
    QVERIFY(QFile::copy(VORMEX_SOURCE_DIR "/data/device.ini", program.filePath("device.ini")));
    QVERIFY(CopyTree(VORMEX_SOURCE_DIR "/docs/manual", program.filePath("manual")));
    QtSettingsStore settings;  // the fresh home's own settings file
    QVERIFY(settings.isEmpty());
    GuiApp app(settings, program.path().toStdString() + "/");

    // Each question and dialog is looked at while it is open, then closed.
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, this, [this] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            checkVisibleWindows();
            modal->close();
        }
    });
    watcher.start(30);
    QVERIFY(app.start(""));
    QTRY_VERIFY(app.window().isVisible());
    checkVisibleWindows();

    MainWindow& w = app.window();
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "");  // no opener: files open in the program's own viewers
    for (const char* command : {"confirm", "mnuMPASMsetting", "nmuindex", "version", "info", "mnuFileOpen",
                                "mnuHelp", "mnuLogFileOpen", "mnuSerch", "nmuMemStatus"}) {
        QAction* action = w.findChild<QAction*>(command);
        QVERIFY2(action, command);
        action->trigger();
        QCoreApplication::processEvents();
        checkVisibleWindows();
    }
    qputenv("PATH", path);
    app.serialWindow().open();
    checkVisibleWindows();
    ShowFrmHint(app.session(), &w);
    watcher.stop();

    for (const char* name : {"frmMain", "frmBoard", "frmOption", "frmMPASMWIN", "frmIndex", "frmAbout", "frmHelp",
                             "frmTextView", "frmSerch", "frmMemStatus", "frmSerialPgmSetting", "frmHint", "QMessageBox",
                             "QFileDialog"})
        QVERIFY2(seen_.contains(name), qPrintable(QString("%1 never opened; seen: %2").arg(name, seen_.join(", "))));
    QVERIFY2(outside_.isEmpty(), qPrintable(outside_.join("; ")));
}

// The file dialog and the standard buttons, as the program starts them.
void DesktopTest::qtsOwnTextsAreJapanese() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));  // as LANG=en_US.UTF-8 gives
    QVERIFY2(InstallQtTranslations(), "Qt's translations (qt6-translations-l10n) are not installed");
    QCOMPARE(QLocale().language(), QLocale::Japanese);
    const QString stamp = QString::fromStdString(JapaneseTimeStamp());
    QVERIFY2(QRegularExpression("^\\d{4}/\\d{2}/\\d{2} \\d{1,2}:\\d{2}$").match(stamp).hasMatch(), qPrintable(stamp));
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(box.button(QMessageBox::Yes)->text(), QString("はい(&Y)"));
    QCOMPARE(box.button(QMessageBox::No)->text(), QString("いいえ(&N)"));
    QCOMPARE(box.button(QMessageBox::Cancel)->text(), QString("キャンセル"));
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    QVERIFY(buttons);
    QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text(), QString("キャンセル"));
}

// On X11 a Qt window's class is the application name; on Wayland its id is
// the desktop file's name.
void DesktopTest::desktopEntryNamesTheWindowsClass() {
    SetApplicationIdentity();
    QFile entry(VORMEX_SOURCE_DIR "/data/" + QGuiApplication::desktopFileName() + ".desktop");
    QVERIFY2(entry.open(QIODevice::ReadOnly | QIODevice::Text), qPrintable(entry.fileName()));
    QString wmClass;
    for (const QString& line : QString::fromUtf8(entry.readAll()).split('\n'))
        if (line.startsWith("StartupWMClass="))
            wmClass = line.mid(int(std::strlen("StartupWMClass=")));
    QCOMPARE(wmClass, QCoreApplication::applicationName());
}

int main(int argc, char** argv) {
    // A fresh home folder, and the offscreen platform with a 1024×768 screen.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/.local/share").toUtf8());
    qputenv("XDG_RUNTIME_DIR", home.path().toUtf8());
    const QString config = home.filePath("screen.json");
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return 2;
    file.write(QString(R"({"screens": [{"name": "small", "x": 0, "y": 0, "width": %1, "height": %2,
                                        "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
                   .arg(kScreenWidth)
                   .arg(kScreenHeight)
                   .toUtf8());
    file.close();
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toUtf8());
    QApplication app(argc, argv);
    SetApplicationIdentity();
    DesktopTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "desktop_test.moc"
