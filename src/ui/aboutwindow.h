// frmAbout: title, version and support page; its icon opens the serial-number
// window, its system-information button starts the system's own tool.
#pragma once

#include <QDialog>

class QPushButton;

namespace vx {

class AboutWindow : public QDialog {
    Q_OBJECT
public:
    explicit AboutWindow(QWidget* parent);

    // True when the window was closed by a click on its icon.
    bool iconClicked() const { return iconClicked_; }

    // The first system information program found on PATH, "" when none.
    static QString systemInfoProgram();

private:
    bool iconClicked_ = false;
};

}  // namespace vx
