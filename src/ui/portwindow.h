// frmOption: the COM port choice. The rules live in app/portselect.
#pragma once

#include <QDialog>
#include <vector>

#include "app/portselect.h"

class QComboBox;
class QRadioButton;

namespace vx {

class PortWindow : public QDialog {
    Q_OBJECT
public:
    explicit PortWindow(Session& s, QWidget* parent = nullptr);

    // The ports the system lists, as device paths.
    static std::vector<std::string> SystemPorts();

public slots:
    void reject() override;  // Esc and CANCEL

private:
    void ok();
    void showDevicePath();

    Session& s_;
    PortWindowModel model_;
    std::vector<QRadioButton*> options_;
    QComboBox* device_ = nullptr;
};

}  // namespace vx
