// frmAbout: title, version and support page; its icon opens the serial-number
// window, its system-information button starts the system's own tool.
#pragma once

#include <QDialog>
#include <functional>

class QPushButton;

namespace vx {

class AboutWindow : public QDialog {
    Q_OBJECT
public:
    // iconClicked runs after the window has closed.
    AboutWindow(QWidget* parent, std::function<void()> iconClicked);

    // The first system information program found on PATH, "" when none.
    static QString systemInfoProgram();
};

}  // namespace vx
