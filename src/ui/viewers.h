// The program's own viewers behind the process seam: the help window for the
// manual, the text viewer for files the desktop cannot open.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include "session/session.h"
#include "ui/helpwindow.h"

class QWidget;

namespace vx {

class QtProcesses;

class Viewers : public QObject {
    Q_OBJECT
public:
    Viewers(Session& s, QWidget* mainWindow);
    ~Viewers() override;

    // Routes the seam's help and in-program fallbacks here.
    void install(QtProcesses& processes);

    bool showHelp(const QString& page);
    // A file the desktop could not open: a PDF as its HTML source page of the
    // manual (hint.pdf as hint.html), HTML in the help window, anything else as text.
    bool showInProgram(const QString& path, const QString& why = {});

    HelpWindow* helpWindow() const { return help_; }

private:
    QString manualDir() const;

    Session& s_;
    QWidget* main_;
    QPointer<HelpWindow> help_;
};

}  // namespace vx
