// vormex-shots OUTDIR: the manual's pictures, taken from the running program
// on the built-in simulated board (run offscreen by docs/screenshots.sh).
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QHash>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <functional>

#include "image/hexfile.h"
#include "ops/workflows.h"
#include "qtplatform/qtseams.h"
#include "ui/boardwindow.h"
#include "ui/guiapp.h"
#include "ui/helpwindow.h"
#include "ui/serialwindow.h"
#include "ui/textviewer.h"
#include "ui/viewers.h"

using namespace vx;

namespace {

QString outDir;
int failures = 0;

// A palette of the 256 most frequent colours (exact for the few colours of
// unantialiased text; the nearest for the rest): a fraction of the bytes.
QImage palettized(const QImage& rgb) {
    QHash<QRgb, int> counts;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            ++counts[line[x]];
    }
    QList<QRgb> table = counts.keys();
    // Ties broken by colour: the same window gives the same bytes on every run.
    std::sort(table.begin(), table.end(), [&counts](QRgb a, QRgb b) {
        return counts[a] != counts[b] ? counts[a] > counts[b] : a < b;
    });
    if (table.size() > 256)
        table.resize(256);
    QHash<QRgb, int> index;
    for (int i = 0; i < table.size(); ++i)
        index[table[i]] = i;
    QImage out(rgb.size(), QImage::Format_Indexed8);
    out.setColorTable(table);
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        uchar* to = out.scanLine(y);
        for (int x = 0; x < rgb.width(); ++x) {
            auto it = index.find(line[x]);
            if (it == index.end()) {
                int best = 0, bestDistance = INT_MAX;
                for (int i = 0; i < table.size(); ++i) {
                    const int dr = qRed(table[i]) - qRed(line[x]), dg = qGreen(table[i]) - qGreen(line[x]),
                              db = qBlue(table[i]) - qBlue(line[x]);
                    if (dr * dr + dg * dg + db * db < bestDistance) {
                        bestDistance = dr * dr + dg * dg + db * db;
                        best = i;
                    }
                }
                it = index.insert(line[x], best);
            }
            to[x] = static_cast<uchar>(*it);
        }
    }
    return out;
}

void save(QWidget* widget, const QString& name) {
    if (!widget) {
        std::fprintf(stderr, "vormex-shots: no window for %s\n", qPrintable(name));
        ++failures;
        return;
    }
    QCoreApplication::processEvents();
    QImageWriter writer(outDir + "/" + name);
    writer.setQuality(0);  // the smallest file; PNG stays lossless
    if (!writer.write(palettized(widget->grab().toImage().convertToFormat(QImage::Format_RGB32)))) {
        std::fprintf(stderr, "vormex-shots: %s: %s\n", qPrintable(name), qPrintable(writer.errorString()));
        ++failures;
    }
}

// A modal window opened by `open`: photographed, then closed by `closeWith` (a button's name).
bool expectingModal = false;

void saveModal(const QString& name, const char* closeWith, const std::function<void()>& open) {
    expectingModal = true;
    QTimer::singleShot(400, [name, closeWith] {
        expectingModal = false;
        QWidget* modal = QApplication::activeModalWidget();
        save(modal, name);
        if (!modal)
            return;
        if (auto* button = modal->findChild<QAbstractButton*>(closeWith))
            button->click();
        else
            modal->close();
    });
    open();
}

void settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    vx::SetApplicationIdentity();
    vx::InstallQtTranslations();
    if (argc != 2) {
        std::fprintf(stderr, "usage: vormex-shots OUTDIR\n");
        return 2;
    }
    outDir = QString::fromLocal8Bit(argv[1]);
    // A box nobody asked for would wait for a click forever: named, closed, counted.
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || expectingModal)
            return;
        std::fprintf(stderr, "vormex-shots: unexpected window '%s'\n", qPrintable(modal->windowTitle()));
        for (QLabel* label : modal->findChildren<QLabel*>())
            std::fprintf(stderr, "    %s\n", qPrintable(label->text()));
        ++failures;
        modal->close();
    });
    guard.start(1000);
    QDir().mkpath(outDir);
    QFont font = QApplication::font();
    font.setStyleStrategy(QFont::NoAntialias);
    QApplication::setFont(font);

    // A fresh program folder and settings: the simulated board on COM1.
    QTemporaryDir dir;
    const QString appDir = dir.path() + "/";
    QFile::copy(VORMEX_SOURCE_DIR "/data/device.ini", appDir + "device.ini");
    QDir().mkpath(appDir + "manual/images");
    for (const QString& page : QDir(VORMEX_SOURCE_DIR "/docs/manual").entryList({"*.html"}))
        QFile::copy(VORMEX_SOURCE_DIR "/docs/manual/" + page, appDir + "manual/" + page);
    for (const QString& picture : QDir(outDir).entryList({"*.png"}))
        QFile::copy(outDir + "/" + picture, appDir + "manual/images/" + picture);
    QFile hex(appDir + "blink.hex");
    hex.open(QIODevice::WriteOnly);
    hex.write(":020000040000FA\n:0A0000008316860183128609032887\n:02400E00F13F80\n:00000001FF\n");
    hex.close();
    QtSettingsStore settings(appDir + "settings.ini");
    settings.setValue("ComNo", "1");
    settings.setValue("ComDevice1", "sim");
    settings.setValue("OPEN_DIR1", dir.path().toStdString());

    GuiApp gui(settings, appDir.toStdString());
    MainWindow& w = gui.window();
    Session& s = gui.session();
    gui.start("");
    w.move(120, 80);
    auto* devices = w.findChild<QComboBox*>("Combo_device");
    const int pic16f84a = devices->findText("PIC16F84A");
    devices->setCurrentIndex(pic16f84a);
    emit devices->activated(pic16f84a);
    s.loader.hexPath = (appDir + "blink.hex").toStdString();
    s.loader.skipHexDialog = true;
    LoadHexFile(s);
    s.loader.skipHexDialog = false;
    w.render();
    settle(200);
    save(&w, "main.png");
    save(&w.boardWindow(), "board.png");

    RunProgram(s);
    w.render();
    save(&w, "program.png");
    // The same chip again: it holds code now, so the overwrite question comes.
    saveModal("hint.png", "Command_cancel", [&s] { RunProgram(s); });

    saveModal("port.png", "Command1", [&w] { w.findChild<QAction*>("confirm")->trigger(); });
    saveModal("tools.png", "CancelButton", [&w] { w.findChild<QAction*>("mnuMPASMsetting")->trigger(); });

    w.findChild<QAction*>("mnuSerch")->trigger();
    QWidget* search = w.findChild<QWidget*>("frmSerch");
    search->findChild<QLineEdit*>("SerchCode1")->setText("3FFF");
    search->findChild<QPushButton*>("CmdSerch")->click();
    save(search, "search.png");
    search->close();

    w.findChild<QAction*>("nmuMemStatus")->trigger();
    QWidget* memory = w.findChild<QWidget*>("frmMemStatus");
    if (auto* show = memory ? memory->findChild<QPushButton*>("CmdDisplay") : nullptr)
        show->click();
    save(memory, "memstatus.png");
    if (memory)
        memory->close();

    // A run of 100 numbers from 1000 as a RETLW table at 0x3F0.
    SerialWindow& serial = gui.serialWindow();
    serial.open();
    for (const auto& [box, text] : {std::pair{"TxtDataStart", "1000"}, {"TxtDataFinsh", "100"}, {"TxtStartAddress", "3F0"}}) {
        auto* edit = serial.findChild<QLineEdit*>(box);
        edit->setText(text);
        emit edit->textEdited(text);
    }
    for (const auto& [box, index] : {std::pair{"TxtWriteByteNumber", 1}, {"CmbWriteMode", 1}}) {
        auto* combo = serial.findChild<QComboBox*>(box);
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    save(&serial, "serial.png");
    gui.serialWindow().close();

    auto* viewers = w.findChild<Viewers*>();
    viewers->showInProgram(appDir + "LOG.txt");
    save(w.findChild<TextViewer*>(), "textview.png");

    w.findChild<QAction*>("mnuHelp")->trigger();
    save(viewers->helpWindow(), "help.png");

    w.close();
    return failures ? 1 : 0;
}
