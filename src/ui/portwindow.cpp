#include "ui/portwindow.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSerialPortInfo>
#include <QVBoxLayout>

namespace vx {

PortWindow::PortWindow(Session& s, QWidget* parent) : QDialog(parent), s_(s) {
    setObjectName("frmOption");
    setWindowTitle("通信ポート選択して下さい。");

    auto* grid = new QGridLayout;
    auto* group = new QButtonGroup(this);
    for (int i = 0; i < kMaxComPort; ++i) {
        auto* option = new QRadioButton(QString("COM%1").arg(i + 1), this);
        option->setObjectName("Option_Com");
        option->setProperty("index", i);
        group->addButton(option, i);
        grid->addWidget(option, i % 5, i / 5);
        options_.push_back(option);
    }
    connect(group, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on)
            model_.selected.fill(false);
        model_.selected[static_cast<std::size_t>(id)] = on;
        if (on)
            showDevicePath();
    });

    device_ = new QComboBox(this);
    device_->setObjectName("Combo_ComDevice");
    device_->setEditable(true);
    device_->setMinimumContentsLength(16);
    for (const auto& path : PortDeviceChoices(SystemPorts()))
        device_->addItem(QString::fromStdString(path));
    connect(device_, &QComboBox::currentTextChanged, this, [this](const QString& text) {
        model_.setChosenPath(text.trimmed().toStdString());
    });

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("Command_Ok");
    ok->setDefault(true);
    auto* cancel = new QPushButton("CANCEL", this);
    cancel->setObjectName("Command1");
    connect(ok, &QPushButton::clicked, this, &PortWindow::ok);
    connect(cancel, &QPushButton::clicked, this, &PortWindow::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(device_, 1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* root = new QVBoxLayout(this);
    root->addLayout(grid);
    root->addLayout(buttons);

    PortWindowLoad(s_, model_);
    const PortWindowModel loaded = model_;
    group->setExclusive(false);
    for (int i = 0; i < kMaxComPort; ++i)
        options_[static_cast<std::size_t>(i)]->setChecked(loaded.selected[static_cast<std::size_t>(i)]);
    group->setExclusive(true);
    model_ = loaded;
    showDevicePath();
}

std::vector<std::string> PortWindow::SystemPorts() {
    std::vector<std::string> ports;
    for (const auto& info : QSerialPortInfo::availablePorts())
        ports.push_back(info.systemLocation().toStdString());
    return ports;
}

void PortWindow::showDevicePath() {
    const int n = model_.chosen();
    const QString path = QString::fromStdString(model_.chosenPath());
    device_->setEnabled(n != 0);
    device_->setEditText(path);
}

void PortWindow::ok() {
    if (PortWindowOk(s_, model_))
        accept();
}

void PortWindow::reject() {
    PortWindowCancel(s_);
    QDialog::reject();
}

}  // namespace vx
