#include "ui/portwindow.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/portdoctor.h"
#include "qtplatform/qtportlist.h"
#include "ui/widgethelpers.h"

namespace vx {

PortWindow::PortWindow(Session& s, QWidget* parent, PortLister* lister)
    : QDialog(parent),
      s_(s),
      ownLister_(lister ? nullptr : std::make_unique<QtPortLister>()),
      lister_(lister ? *lister : *ownLister_) {
    setObjectName("frmOption");
    setWindowTitle("通信ポート選択して下さい。");

    auto* grid = new QGridLayout;
    auto* group = buildComOptions(grid);
    buildPortList();
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(device_, 1);
    QLayout* buttons = buildButtons(listButtons);
    auto* root = new QVBoxLayout(this);
    root->addLayout(grid);
    root->addWidget(list_);
    root->addLayout(listButtons);
    root->addWidget(info_);
    root->addLayout(buttons);

    PortWindowLoad(s_, model_);
    const PortWindowModel loaded = model_;
    group->setExclusive(false);
    for (int i = 0; i < kMaxComPort; ++i)
        options_[static_cast<std::size_t>(i)]->setChecked(loaded.selected[static_cast<std::size_t>(i)]);
    group->setExclusive(true);
    model_ = loaded;
    refreshList();
}

// COM1..COM20 in columns of five.
QButtonGroup* PortWindow::buildComOptions(QGridLayout* grid) {
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
    return group;
}

// The system's ports, the path box and the information line.
void PortWindow::buildPortList() {
    list_ = new QTreeWidget(this);
    list_->setObjectName("List_Ports");
    list_->setRootIsDecorated(false);
    list_->setHeaderLabels({"ポート", "説明・メーカー・シリアル番号"});
    list_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    list_->setMinimumHeight(110);
    connect(list_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        ChooseListedPort(model_, static_cast<std::size_t>(list_->indexOfTopLevelItem(item)));
        showChosenNumber();
        showDevicePath();
    });

    device_ = new QComboBox(this);
    device_->setObjectName("Combo_ComDevice");
    device_->setEditable(true);  // any path can still be typed
    device_->setMinimumContentsLength(24);
    connect(device_, &QComboBox::currentTextChanged, this, [this](const QString& text) {
        model_.setChosenPath(text.trimmed().toStdString());
        showListedRow();
    });

    info_ = new QLabel(this);
    info_->setObjectName("Label_PortInfo");
    info_->setWordWrap(true);
    info_->setTextInteractionFlags(Qt::TextSelectableByMouse);
}

// 自動検出 and 一覧を更新 beside the path box; OK and CANCEL in the row returned.
QLayout* PortWindow::buildButtons(QHBoxLayout* listButtons) {
    auto* detect = new QPushButton("自動検出", this);
    detect->setObjectName("Command_AutoDetect");
    detect->setToolTip("一覧のポートに順にライターを問い合わせ、応答したポートを選びます。");
    auto* doctor = new QPushButton("診断", this);
    doctor->setObjectName("Command_Doctor");
    doctor->setToolTip("シリアルポートと、その使用を妨げるものを調べ、対処を表示します。システムは変えません。");
    auto* refresh = new QPushButton("一覧を更新", this);
    refresh->setObjectName("Command_PortList");
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("Command_Ok");
    ok->setDefault(true);
    auto* cancel = new QPushButton("CANCEL", this);
    cancel->setObjectName("Command1");
    for (QPushButton* button : {detect, doctor, refresh, cancel})
        button->setAutoDefault(false);
    connect(detect, &QPushButton::clicked, this, &PortWindow::autoDetect);
    connect(doctor, &QPushButton::clicked, this, &PortWindow::diagnose);
    connect(refresh, &QPushButton::clicked, this, &PortWindow::refreshList);
    connect(ok, &QPushButton::clicked, this, &PortWindow::ok);
    connect(cancel, &QPushButton::clicked, this, &PortWindow::reject);

    listButtons->addWidget(detect);
    listButtons->addWidget(doctor);
    listButtons->addWidget(refresh);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    return buttons;
}

PortWindow::~PortWindow() = default;

void PortWindow::refreshList() {
    model_.choices = PortChoices(lister_.ports());
    {
        QSignalBlocker blocked(device_);
        const QString typed = device_->currentText();
        device_->clear();
        for (const PortChoice& choice : model_.choices)
            device_->addItem(QString::fromStdString(choice.path));
        device_->setEditText(typed);
    }
    list_->clear();
    for (const PortChoice& choice : model_.choices) {
        auto* item = new QTreeWidgetItem(list_, {QString::fromStdString(choice.path), QString::fromStdString(choice.detail)});
        if (choice.path != choice.device)
            item->setToolTip(0, QString::fromStdString(choice.device));
    }
    showDevicePath();
}

void PortWindow::showDevicePath() {
    device_->setEnabled(model_.chosen() != 0);
    {
        QSignalBlocker blocked(device_);
        device_->setEditText(QString::fromStdString(model_.chosenPath()));
    }
    showListedRow();
}

void PortWindow::showListedRow() {
    const int row = model_.listedRow();
    QSignalBlocker blocked(list_);
    list_->setCurrentItem(row < 0 ? nullptr : list_->topLevelItem(row));
    if (row < 0)
        list_->clearSelection();
}

void PortWindow::autoDetect() {
    info_->setText("ライターを探しています..... ");
    // Nothing else may use the port while the ports are asked in turn.
    setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::string result = AutoDetectPort(s_, model_);
    QApplication::restoreOverrideCursor();
    setEnabled(true);
    info_->setText(DisplayText(result));
    showChosenNumber();
    showDevicePath();
}

// The findings in a window of their own, as text, so that the commands and
// rules can be copied.
void PortWindow::diagnose() {
    info_->setText("診断しています..... ");
    setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::vector<Finding> findings = DiagnoseSerialPorts(s_, "/", model_.chosenPath());
    QApplication::restoreOverrideCursor();
    setEnabled(true);
    info_->clear();

    QStringList lines;
    for (const std::string& line : FindingLines(findings))
        lines << QString::fromStdString(line);
    auto* report = new QDialog(this);
    report->setObjectName("frmDoctor");
    report->setWindowTitle("診断");
    report->setAttribute(Qt::WA_DeleteOnClose);
    auto* text = new QPlainTextEdit(lines.join('\n'), report);
    text->setObjectName("Text_Doctor");
    text->setReadOnly(true);
    auto* close = new QPushButton("閉じる", report);
    connect(close, &QPushButton::clicked, report, &QDialog::accept);
    auto* layout = new QVBoxLayout(report);
    layout->addWidget(text);
    layout->addWidget(close, 0, Qt::AlignRight);
    report->resize(760, 420);
    report->open();
}

void PortWindow::showChosenNumber() {
    const int n = model_.chosen();
    if (n == 0)
        return;
    QSignalBlocker blocked(options_[static_cast<std::size_t>(n - 1)]->group());
    options_[static_cast<std::size_t>(n - 1)]->setChecked(true);
}

void PortWindow::ok() {
    if (PortWindowOk(s_, model_))
        accept();
}

void PortWindow::reject() {
    PortWindowCancel(s_, model_);
    QDialog::reject();
}

}  // namespace vx
