// The manual in the help window, and files opened in the program's own viewers
// where the desktop has no application for them.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStringEncoder>
#include <QTextBlock>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "copytree.h"
#include "ops/workflows.h"
#include "qtplatform/qtseams.h"
#include "ui/guiapp.h"
#include "ui/frmhint.h"
#include "ui/helpwindow.h"
#include "ui/textviewer.h"
#include "ui/viewers.h"

using namespace vx;

class HelpTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void helpOpensTheManualAtItsContents();
    void missingManualFilesAreNamed();
    void withoutAnOpenerFilesOpenInTheProgram();
    void hintOpensInFrontAndUsableBesideTheQuestion();
    void longFileIsCutOnAWholeCharacterInItsEncoding();
    void picturesFitTheHelpWindowsWidth();

private:
    QAction* action(const char* name) { return app_->window().findChild<QAction*>(name); }
    HelpWindow* helpWindow() { return app_->window().findChild<Viewers*>()->helpWindow(); }
    QString manual() { return dir_->filePath("manual"); }

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QtSettingsStore> settings_;
    std::unique_ptr<GuiApp> app_;
    QTimer modalGuard_;
    QByteArray path_;
};

void HelpTest::init() {
    path_ = qgetenv("PATH");
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(QFile::copy(VORMEX_SOURCE_DIR "/data/device.ini", dir_->filePath("device.ini")));
    QVERIFY(CopyTree(VORMEX_SOURCE_DIR "/docs/manual", manual()));
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

void HelpTest::cleanup() {
    qputenv("PATH", path_);
    modalGuard_.stop();
    app_.reset();
    settings_.reset();
    dir_.reset();
}

void HelpTest::helpOpensTheManualAtItsContents() {
    action("mnuHelp")->trigger();
    HelpWindow* help = helpWindow();
    QVERIFY(help && help->isVisible());
    const QUrl contents = QUrl::fromLocalFile(manual() + "/index.html");
    QCOMPARE(help->browser()->source(), contents);
    QVERIFY(help->browser()->toPlainText().contains("目次"));
    QVERIFY(!help->noteLabel()->isVisible());

    // A chapter and back to the contents with "目次".
    help->browser()->setSource(QUrl::fromLocalFile(manual() + "/operations.html"));
    QVERIFY(help->browser()->toPlainText().contains("ベリファイ"));
    help->findChild<QPushButton*>("Command_contents")->click();
    QCOMPARE(help->browser()->source(), contents);
    // "ヘルプ" again reuses the window.
    help->close();
    action("mnuHelp")->trigger();
    QCOMPARE(helpWindow(), help);
    QVERIFY(help->isVisible());
}

void HelpTest::missingManualFilesAreNamed() {
    // A picture and a chapter lost from an installation: named, the page stays.
    const QString picture = manual() + "/images/main.png";
    QVERIFY(QFile::remove(picture));
    QVERIFY(QFile::remove(manual() + "/cli.html"));
    action("mnuHelp")->trigger();
    HelpWindow* help = helpWindow();
    help->browser()->setSource(QUrl::fromLocalFile(manual() + "/firstrun.html"));
    QTRY_VERIFY(help->noteLabel()->isVisible());
    QVERIFY(help->noteLabel()->text().contains(picture));
    help->browser()->setSource(QUrl::fromLocalFile(manual() + "/cli.html"));
    QVERIFY(help->noteLabel()->text().contains(manual() + "/cli.html"));
    QCOMPARE(help->browser()->source(), QUrl::fromLocalFile(manual() + "/firstrun.html"));

    // No manual at all: the status note says where it was looked for.
    help->close();
    QVERIFY(QDir(manual()).removeRecursively());
    action("mnuHelp")->trigger();
    QVERIFY(!help->isVisible());
    const Session& s = app_->session();
    QCOMPARE(QString::fromStdString(s.view.note),
             "ヘルプファイル 'index.html' が、以下のフォルダーに有りませんでした。 " + manual() + "/");
}

void HelpTest::withoutAnOpenerFilesOpenInTheProgram() {
    // No xdg-open on the path at all: LOG.txt opens in the text viewer at once.
    QTemporaryDir bin;
    qputenv("PATH", bin.path().toUtf8());
    action("mnuLogFileOpen")->trigger();
    auto* viewer = app_->window().findChild<TextViewer*>();
    QVERIFY(viewer && viewer->isVisible());
    QCOMPARE(viewer->path(), dir_->filePath("LOG.txt"));
    QFile log(dir_->filePath("LOG.txt"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString firstLine = QString::fromUtf8(log.readLine()).trimmed();
    QVERIFY(!firstLine.isEmpty());
    QCOMPARE(viewer->findChild<QPlainTextEdit*>("TextView")->toPlainText().trimmed(), firstLine);

    // An opener that finds no application for the file (xdg-open exits 3):
    // hint.pdf is shown as its page of the manual once the opener has ended.
    QFile opener(bin.filePath("xdg-open"));
    QVERIFY(opener.open(QIODevice::WriteOnly));
    opener.write("#!/bin/sh\nexit 3\n");
    opener.close();
    opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile hint(dir_->filePath("hint.pdf"));
    QVERIFY(hint.open(QIODevice::WriteOnly));
    hint.write("%PDF-1.4\n");
    hint.close();
    OpenHint(app_->session());
    QVERIFY(!helpWindow());
    QTRY_VERIFY(helpWindow() && helpWindow()->isVisible());
    QCOMPARE(helpWindow()->browser()->source(), QUrl::fromLocalFile(manual() + "/hint.html"));
}

// No PDF viewer: the overwrite question's hint opens in the help window,
// which is a window of its own and takes clicks while the question is open.
void HelpTest::hintOpensInFrontAndUsableBesideTheQuestion() {
    modalGuard_.stop();
    QTemporaryDir bin;
    qputenv("PATH", bin.path().toUtf8());  // no opener at all
    QFile hint(dir_->filePath("hint.pdf"));
    QVERIFY(hint.open(QIODevice::WriteOnly));
    hint.write("%PDF-1.4\n");
    hint.close();

    bool contentsReached = false;
    bool questionOpenMeanwhile = false;
    QString covered = "never looked";
    QTimer::singleShot(0, this, [&] {
        QWidget* question = QApplication::activeModalWidget();
        if (!question || question->objectName() != "frmHint")
            return;
        question->findChild<QPushButton*>("Command_hint")->click();
        if (HelpWindow* help = helpWindow(); help && help->isVisible() &&
                                             help->browser()->source() == QUrl::fromLocalFile(manual() + "/hint.html")) {
            // The hint never covers the question it was opened from.
            const QRect h = help->frameGeometry(), q = question->frameGeometry();
            covered = h.intersects(q) ? QString("hint %1,%2 %3×%4 over the question %5,%6 %7×%8")
                                            .arg(h.x()).arg(h.y()).arg(h.width()).arg(h.height())
                                            .arg(q.x()).arg(q.y()).arg(q.width()).arg(q.height())
                                      : QString();
            // A click as the window system delivers it, which a blocked window drops.
            QPushButton* contents = help->findChild<QPushButton*>("Command_contents");
            QTest::mouseClick(help->windowHandle(), Qt::LeftButton, {}, contents->mapTo(help, contents->rect().center()));
            contentsReached = help->browser()->source() == QUrl::fromLocalFile(manual() + "/index.html");
        }
        questionOpenMeanwhile = QApplication::activeModalWidget() == question;
        question->findChild<QPushButton*>("Command_cancel")->click();
    });
    QCOMPARE(ShowFrmHint(app_->session(), &app_->window()), 2);
    QVERIFY(contentsReached);
    QVERIFY2(covered.isEmpty(), qPrintable(covered));
    QVERIFY(questionOpenMeanwhile);
    QVERIFY(helpWindow()->isVisible());  // stays open after the question
}

// A log of megabytes is shown from its start, cut at 4 MiB between two
// characters, UTF-8 or Shift_JIS alike, and decoded as what it is.
void HelpTest::longFileIsCutOnAWholeCharacterInItsEncoding() {
    const QString line = "日本語のログ";
    struct Case {
        const char* name;
        QByteArray head;  // shifts the cut into the middle of a character
        QByteArray line;
    };
    QStringEncoder sjis("Shift_JIS");
    QVERIFY(sjis.isValid());
    const Case cases[] = {{"utf8.txt", "", (line + "\n").toUtf8()},
                          {"sjis.txt", "abcd\n", sjis.encode(line + "\r\n")}};
    for (const Case& c : cases) {
        QByteArray bytes = c.head;
        while (bytes.size() < 4 * 1024 * 1024 + 100)
            bytes += c.line;
        QFile file(dir_->filePath(c.name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        TextViewer viewer(file.fileName());
        const QStringList lines = viewer.findChild<QPlainTextEdit*>("TextView")->toPlainText().split('\n');
        QVERIFY2(lines.size() > 200000, c.name);
        QCOMPARE(lines[lines.size() - 2], line);
        QVERIFY2(!lines.last().isEmpty() && line.startsWith(lines.last()), qPrintable(lines.last()));
        QVERIFY(viewer.findChild<QLabel*>("LabelTextNote")->text().startsWith("先頭の 4194304 バイトだけを表示しています"));
    }
}

// The manual's widest pictures (960 pixels) are shown at the window's width,
// so a page never scrolls sideways; in a wide window at their own size.
void HelpTest::picturesFitTheHelpWindowsWidth() {
    action("mnuHelp")->trigger();
    HelpWindow* help = helpWindow();
    help->browser()->setSource(QUrl::fromLocalFile(manual() + "/firstrun.html"));
    const auto widest = [help] {
        qreal widest = 0;
        for (QTextBlock block = help->browser()->document()->begin(); block.isValid(); block = block.next())
            for (auto it = block.begin(); !it.atEnd(); ++it)
                if (const QTextImageFormat image = it.fragment().charFormat().toImageFormat(); image.isValid())
                    widest = std::max(widest, image.width());
        return widest;
    };
    for (const int width : {820, 500, 1400}) {
        help->resize(width, 640);
        QCoreApplication::processEvents();
        QCOMPARE(help->browser()->horizontalScrollBar()->maximum(), 0);
        QVERIFY(widest() <= help->browser()->viewport()->width());
    }
    QCOMPARE(widest(), qreal(960));
}

QTEST_MAIN(HelpTest)
#include "help_test.moc"
