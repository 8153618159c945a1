#include "ui/viewers.h"

#include <QFileInfo>

#include "qtplatform/qtprocesses.h"
#include "ui/helpwindow.h"
#include "ui/screenplace.h"
#include "ui/textviewer.h"

namespace vx {

Viewers::Viewers(Session& s, QWidget* mainWindow) : QObject(mainWindow), s_(s), main_(mainWindow) {}

Viewers::~Viewers() { delete help_; }

void Viewers::install(QtProcesses& processes) {
    processes.help = [this](const std::string& path) { return showHelp(QString::fromStdString(path)); };
    processes.inProgram = [this](const std::string& path, const std::string& why) {
        return showInProgram(QString::fromStdString(path), QString::fromStdString(why));
    };
}

QString Viewers::manualDir() const {
    return QString::fromStdString(s_.run.manualDir.empty() ? s_.run.appDir + "manual/" : s_.run.manualDir);
}

bool Viewers::showHelp(const QString& page) {
    if (!help_) {
        // A window of its own, not the main window's: a question box blocks
        // only the main window and its children, so the hint it offers can
        // be read beside it. It does not keep the program running.
        help_ = new HelpWindow;
        help_->setAttribute(Qt::WA_QuitOnClose, false);
    }
    help_->showPage(page);
    KeepClearOfQuestion(*help_);
    return true;
}

bool Viewers::showInProgram(const QString& path, const QString& why) {
    const QFileInfo file(path);
    const QString suffix = file.suffix().toLower();
    if (suffix == "html" || suffix == "htm")
        return showHelp(path);
    if (suffix == "pdf") {
        const QString source = manualDir() + file.completeBaseName() + ".html";
        showHelp(source);
        if (!QFileInfo::exists(source))
            help_->showNote(QString("'%1' を開くアプリケーションがありません。").arg(file.fileName()));
        return true;
    }
    // One window per file: opening it again brings it up with the file read afresh.
    for (TextViewer* viewer : main_->findChildren<TextViewer*>()) {
        if (viewer->path() == file.absoluteFilePath()) {
            viewer->setReason(why);
            viewer->reload();
            viewer->show();
            viewer->raise();
            return true;
        }
    }
    auto* viewer = new TextViewer(file.absoluteFilePath(), main_);
    viewer->setReason(why);
    viewer->reload();
    viewer->show();
    return true;
}

}  // namespace vx
