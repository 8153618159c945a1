// frmOption: the COM port choice. The rules live in app/portselect.
#pragma once

#include <QDialog>
#include <memory>
#include <vector>

#include "app/portselect.h"

class QButtonGroup;
class QComboBox;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLayout;
class QRadioButton;
class QTreeWidget;

namespace vx {

class PortWindow : public QDialog {
    Q_OBJECT
public:
    // The list comes from lister, else from the system (QtPortLister).
    explicit PortWindow(Session& s, QWidget* parent = nullptr, PortLister* lister = nullptr);
    ~PortWindow() override;

public slots:
    void reject() override;  // Esc and CANCEL

private:
    QButtonGroup* buildComOptions(QGridLayout* grid);
    void buildPortList();
    QLayout* buildButtons(QHBoxLayout* listButtons);
    void ok();
    void autoDetect();
    void diagnose();
    void refreshList();
    void showChosenNumber();
    void showDevicePath();
    void showListedRow();

    Session& s_;
    std::unique_ptr<PortLister> ownLister_;
    PortLister& lister_;
    PortWindowModel model_;
    std::vector<QRadioButton*> options_;
    QTreeWidget* list_ = nullptr;
    QComboBox* device_ = nullptr;
    QLabel* info_ = nullptr;
};

}  // namespace vx
