#include "ui/mainwindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/startup.h"
#include "image/grid.h"
#include "image/selection.h"
#include "session/status.h"
#include "ui/boardwindow.h"
#include "ui/clickablelabel.h"
#include "ui/widgethelpers.h"

namespace vx {

namespace {

struct MenuEntry {
    const char* name;  // "-" is an unnamed separator
    const char* caption;
    bool checkable = false;
};

struct MenuDef {
    const char* name;
    const char* title;
    std::vector<MenuEntry> entries;
};

const std::vector<MenuDef>& menuBarLayout() {
    static const std::vector<MenuDef> layout = {
        {"file", "ﾌｧｲﾙ(&F)",
         {{"mnuFileOpen", "HEXファイルをロード(&O)"},
          {"mnuFileSave", "名前を付けてHEXファイルを保存(&S)"},
          {"-", ""},
          {"nmuFile1", ""}, {"nmuFile2", ""}, {"nmuFile3", ""}, {"nmuFile4", ""}, {"nmuFile5", ""},
          {"nmuDevice1", ""}, {"nmuDevice2", ""}, {"nmuDevice3", ""}, {"nmuDevice4", ""}, {"nmuDevice5", ""},
          {"-", ""},
          {"nmuHistryClear", "履歴のクリア(&C)"},
          {"-", ""},
          {"mnuEditer", "テキストエディタを起動(&E)"},
          {"mnuLogFileOpen", "ログファイルを開く(&L)"},
          {"-", ""},
          {"exit", "終了(&X)"}}},
        {"option", "ｵﾌﾟｼｮﾝ(&O)",
         {{"confirm", "COMポート設定(&C)"},
          {"-", ""},
          {"mnuPcBufferMemoryClear", "PC バッファメモリクリア(&P)"},
          {"mnuDevice_clear", "PIC フラッシュメモリ消去(&E)"},
          {"mnuDeviceId", "デバイスIDを確認(&D)"},
          {"-", ""},
          {"mnuSerch", "置き換え可能アドレスの検索"},
          {"nmuMemStatus", "プログラムメモリ使用状況表示"},
          {"-", ""},
          {"mnuBlankSkip", "\"PIC16F\" プログラム時のブランクチェックをスキップ", true},
          {"nmuI", ""},
          {"mnuSerialPgmSetting", "シリアルデータプログラミング"},
          {"-", ""},
          {"mnuComMode1", "通信モードその１", true},
          {"mnuBoardInfomation", "ボード情報ウインドウの表示", true},
          {"-", ""},
          {"mnuWatchHex", "HEXファイルの変更を監視", true},
          {"mnuAutoProgram", "変更時に自動書込み", true},
          {"mnuKeepEeprom", "EEPROMデータを保持", true}}},
        {"mnuAsmC", "ｱｾﾝﾌﾞﾗ・ｺﾝﾊﾟｲﾗ(&C)",
         {{"mnuSourceOpen", "アセンブル・コンパイルするファイルを指定(&A)"},
          {"mnuMPASMsetting", "アセンブラ・コンパイラの設定(&S)"},
          {"-", ""},
          {"mnuRELOAD", "【HEXﾌｧｲﾙ再ﾛｰﾄﾞ】(&L)"},
          {"mnuASMwithRELOAD", "【HEXﾌｧｲﾙの再生成とﾛｰﾄﾞ】(&B)"}}},
        {"nmuHelp", "ﾍﾙﾌﾟ(&H)",
         {{"info", "インフォメーション(&P)"},
          {"nmuindex", "デバイス インデックス(&I)"},
          {"mnuHelp", "ヘルプ(&H)"},
          {"-", ""},
          {"version", "バージョン情報(&V)"}}},
    };
    return layout;
}

// Entries that are hidden until the core says otherwise.
bool hiddenByDefault(const QString& name) {
    return name.startsWith("nmuFile") || name.startsWith("nmuDevice") || name == "mnuSerialPgmSetting" ||
           name == "nmuI";
}

QColor toColour(std::uint32_t rgb) { return QColor::fromRgb(rgb & 0xFFFFFF); }

void setTextIfChanged(QLabel* label, const std::string& text) {
    const QString shown = DisplayText(text);
    if (label->text() != shown)
        label->setText(shown);
}

void applyLabel(QLabel* label, const LabelView& view) {
    setTextIfChanged(label, view.caption);
    QPalette palette = label->palette();
    if (view.backColour == kColourButtonFace) {
        label->setAutoFillBackground(false);
    } else {
        label->setAutoFillBackground(true);
        palette.setColor(QPalette::Window, toColour(view.backColour));
    }
    label->setPalette(palette);
    label->setVisible(view.visible);
}

void applyTextBox(QPlainTextEdit* box, const TextBoxView& view, std::string& drawn) {
    if (drawn != view.text) {
        box->setPlainText(QString::fromStdString(view.text));
        drawn = view.text;
    }
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, toColour(view.backColour));
    box->setPalette(palette);
    box->setEnabled(view.enabled);
    box->setVisible(view.visible);
    // The window is resizable: the laid-out height is the least the box gets.
    box->setMinimumHeight(view.heightTwips > 0 ? static_cast<int>(view.heightTwips / kTwipsPerPixel) : 0);
}

QPlainTextEdit* dumpBox(const char* name, QWidget* parent) {
    auto* box = new QPlainTextEdit(parent);
    box->setObjectName(name);
    box->setReadOnly(true);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return box;
}

QLabel* label(const char* name, QWidget* parent, const QString& text = {}) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

ClickableLabel* clickable(const char* name, QWidget* parent) {
    auto* l = new ClickableLabel(parent);
    l->setObjectName(name);
    return l;
}

QPushButton* button(const char* name, const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setEnabled(false);
    return b;
}

}  // namespace

MainWindow::MainWindow(Session& s, QWidget* parent) : QMainWindow(parent), s_(s) {
    setObjectName("frmMain");
    buildMenus();
    buildWidgets();
    board_ = new BoardWindow(s_, this);
    render();
}

void MainWindow::buildMenus() {
    for (const MenuDef& def : menuBarLayout()) {
        QMenu* menu = menuBar()->addMenu(QString::fromUtf8(def.title));
        menu->setObjectName(def.name);
        for (const MenuEntry& entry : def.entries) {
            QAction* action = nullptr;
            const QString name = QString::fromUtf8(entry.name);
            if (name == "-") {
                menu->addSeparator();
                continue;
            }
            if (name == "nmuI") {
                action = menu->addSeparator();
            } else {
                action = menu->addAction(QString::fromUtf8(entry.caption));
                action->setCheckable(entry.checkable);
                action->setEnabled(false);
            }
            action->setObjectName(name);
            action->setVisible(!hiddenByDefault(name));
            actions_[name] = action;
        }
    }
}

void MainWindow::buildWidgets() {
    auto* central = new QWidget(this);
    setCentralWidget(central);
    buildDeviceRow(central);
    buildDumps(central);
    buildGrid(central);
    buildIdAndConfig(central);
    buildCommandButtons(central);
    buildStatus(central);
    layOutWidgets(central);
    resize(960, 640);
}

void MainWindow::buildDeviceRow(QWidget* central) {
    comboDevice_ = new QComboBox(central);
    comboDevice_->setObjectName("Combo_device");
    comboDevice_->setMinimumContentsLength(16);
    connect(comboDevice_, &QComboBox::activated, this, [this](int index) {
        SelectDeviceIndex(s_, index);
        render();
    });
    pmSize_ = label("Label_pm_size", central);
    edSize_ = label("Label_ed_size", central);
    ver_ = clickable("Label_Ver", central);
    checksum_ = clickable("LblCheckSUM", central);
    checksum_->setFrameShape(QFrame::Panel);
    checksum_->setFrameShadow(QFrame::Sunken);
    checksum_->setMinimumWidth(60);
}

void MainWindow::buildDumps(QWidget* central) {
    programMemory_ = dumpBox("RichTxtPgmMem", central);
    programMemory_->setMinimumWidth(programMemory_->fontMetrics().horizontalAdvance(QString(70, 'W')));
    eepromHeading_ = label("Label4", central, "EEPROM");
    eeprom_ = dumpBox("rText_EepromMem", central);
    eeprom_->setMaximumHeight(140);
}

void MainWindow::buildGrid(QWidget* central) {
    grid_ = new QTableWidget(central);
    grid_->setObjectName("HFGrid1");
    grid_->setColumnCount(2);
    grid_->horizontalHeader()->hide();
    grid_->verticalHeader()->hide();
    grid_->horizontalHeader()->setStretchLastSection(true);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setMinimumWidth(300);
}

void MainWindow::buildIdAndConfig(QWidget* central) {
    idBox_ = new QLineEdit(central);
    idBox_->setObjectName("Text_ID");
    idBox_->setMaxLength(4);
    idBox_->setMaximumWidth(70);
    configLabel_ = clickable("Text_Config", central);
    configLabel_->setFrameShape(QFrame::Panel);
    configLabel_->setFrameShadow(QFrame::Sunken);
    configLabel_->setMinimumWidth(120);
    configLabel_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    bandGap_ = new QLineEdit(central);
    bandGap_->setObjectName("Txt_12F_BG_data");
    bandGap_->setMaximumWidth(40);
    connect(bandGap_, &QLineEdit::textEdited, this,
            [this](const QString& text) { BandGapTyped(s_, text.toStdString()); });
    osccalHi_ = new QLineEdit(central);
    osccalHi_->setObjectName("Txt_12F_OSCCAL_data_HI");
    osccalHi_->setReadOnly(true);
    osccalHi_->setMaximumWidth(50);
    osccalLo_ = new QLineEdit(central);
    osccalLo_->setObjectName("Txt_12F_OSCCAL_data_LO");
    osccalLo_->setReadOnly(true);
    osccalLo_->setMaximumWidth(50);
    calib_ = label("Label_calib_check", central);
}

void MainWindow::buildCommandButtons(QWidget* central) {
    program_ = button("Command_pogram", "プログラム(&P)", central);
    buttons_ = {program_, button("Command_read", "リード(&R)", central),
                button("Command_Vrify", "ベリファイ(&V)", central),
                button("Command_blank", "ブランクチェック(&B)", central),
                button("Command_com", "通信", central), button("Command_OPEN", "解放", central)};
    buttons_[4]->setToolTip("通信ポートの設定を行います。");
    buttons_[5]->setToolTip("他のアプリケーションが通信ポートを使用できるように、ポートを開放します。");
}

void MainWindow::buildStatus(QWidget* central) {
    note_ = label("LabelCmt", central);
    note_->setWordWrap(true);
    note_->setFrameShape(QFrame::Panel);
    note_->setFrameShadow(QFrame::Sunken);
    note_->setMinimumHeight(note_->fontMetrics().height() * 2 + 6);
    hexSummary_ = label("Label_hexSummary", central);
    hexSummary_->setWordWrap(true);
    // Two lines kept whether the summary takes one, two or none: the memory
    // panes above never shrink or grow with it.
    hexSummary_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    hexSummary_->setFixedHeight(hexSummary_->fontMetrics().lineSpacing() * 2);
    QSizePolicy keepRoom = hexSummary_->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    hexSummary_->setSizePolicy(keepRoom);
    progress_ = new QProgressBar(central);
    progress_->setObjectName("P_Bar");
    progress_->setTextVisible(false);
    percent_ = label("Lbl_Persent", central);
    percent_->setMinimumWidth(40);
    firmware_ = clickable("Label_FirmwareVersion", central);
    firmware_->setFrameShape(QFrame::Panel);
    firmware_->setFrameShadow(QFrame::Sunken);

    debug_ = new QPlainTextEdit(central);
    debug_->setObjectName("Text_debug");
    debug_->hide();
}

// Device row on top, dumps left, grid and commands right, status below.
void MainWindow::layOutWidgets(QWidget* central) {
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel("デバイス", central));
    top->addWidget(comboDevice_);
    top->addWidget(pmSize_);
    top->addWidget(edSize_);
    top->addStretch();
    top->addWidget(new QLabel("SUM", central));
    top->addWidget(checksum_);
    top->addWidget(ver_);

    auto* dumps = new QVBoxLayout;
    dumps->addWidget(new QLabel("プログラムメモリ", central));
    dumps->addWidget(programMemory_, 3);
    dumps->addWidget(eepromHeading_);
    dumps->addWidget(eeprom_, 1);

    auto* middle = new QHBoxLayout;
    middle->addLayout(dumps, 3);
    middle->addLayout(sideLayout(central), 2);

    auto* status = new QHBoxLayout;
    status->addWidget(progress_, 1);
    status->addWidget(percent_);
    status->addWidget(firmware_, 1);

    auto* root = new QVBoxLayout(central);
    root->addLayout(top);
    root->addLayout(middle, 1);
    root->addWidget(note_);
    root->addWidget(hexSummary_);
    root->addLayout(status);
    root->addWidget(debug_);
}

// The grid, the ID and configuration boxes and the command buttons.
QLayout* MainWindow::sideLayout(QWidget* central) {
    auto* idRow = new QGridLayout;
    idRow->addWidget(new QLabel("ID", central), 0, 0);
    idRow->addWidget(idBox_, 0, 1);
    idRow->addWidget(new QLabel("CONFIG", central), 0, 2);
    idRow->addWidget(configLabel_, 0, 3);
    idRow->addWidget(new QLabel("BG", central), 1, 0);
    idRow->addWidget(bandGap_, 1, 1);
    idRow->addWidget(new QLabel("OSCCAL", central), 1, 2);
    auto* osccal = new QHBoxLayout;
    osccal->addWidget(osccalHi_);
    osccal->addWidget(osccalLo_);
    osccal->addStretch();
    idRow->addLayout(osccal, 1, 3);

    auto* commands = new QGridLayout;
    for (int i = 0; i < 4; ++i)
        commands->addWidget(buttons_[i], i / 2, i % 2);
    auto* port = new QHBoxLayout;
    port->addWidget(buttons_[4]);
    port->addWidget(buttons_[5]);

    auto* side = new QVBoxLayout;
    side->addWidget(grid_, 1);
    side->addLayout(idRow);
    side->addWidget(calib_);
    side->addLayout(commands);
    side->addLayout(port);
    return side;
}

void MainWindow::connectCommand(const QString& objectName, std::function<void()> fn) {
    auto run = [this, fn = std::move(fn)] {
        fn();
        render();
    };
    // A second wiring replaces the first, so a command never runs twice.
    if (auto it = connections_.find(objectName); it != connections_.end())
        disconnect(it->second);
    QMetaObject::Connection connection;
    if (auto it = actions_.find(objectName); it != actions_.end()) {
        connection = connect(it->second, &QAction::triggered, this, run);
    } else if (auto* b = findChild<QPushButton*>(objectName)) {
        connection = connect(b, &QPushButton::clicked, this, run);
    } else if (auto* l = findChild<ClickableLabel*>(objectName)) {
        connection = connect(l, &ClickableLabel::clicked, this, run);
    } else {
        qWarning("connectCommand: no widget named %s", qPrintable(objectName));
        return;
    }
    connections_[objectName] = connection;
    render();
}

void MainWindow::connectDoubleClick(const QString& objectName, std::function<void()> fn) {
    auto* l = findChild<ClickableLabel*>(objectName);
    if (!l) {
        qWarning("connectDoubleClick: no label named %s", qPrintable(objectName));
        return;
    }
    const QString key = objectName + ":double";
    if (auto it = connections_.find(key); it != connections_.end())
        disconnect(it->second);
    connections_[key] = connect(l, &ClickableLabel::doubleClicked, this, [this, fn = std::move(fn)] {
        fn();
        render();
    });
}

bool MainWindow::commandEnabled(const QString& name, bool modelEnabled) const {
    if (!connections_.count(name) || !modelEnabled)
        return false;
    return !IsCommandRefused(s_.view, name.toStdString());
}

void MainWindow::render() {
    if (closed_)
        return;  // the ending ran; nothing is drawn (or shown) again
    const MainView& v = s_.view;
    const QString title = QString::fromStdString(v.title);
    if (windowTitle() != title)
        setWindowTitle(title);

    renderStatus();
    renderImage();
    renderDevices();
    renderCommands();
    renderMenus();
    renderGrid();
    board_->render(v.board);
    if (!v.focusRequest.empty()) {
        if (auto* target = findChild<QWidget*>(QString::fromStdString(v.focusRequest)))
            target->setFocus();
        s_.view.focusRequest.clear();
    }
    for (const auto& fn : afterRender)
        fn();
}

// The note, the progress bar and the status labels.
void MainWindow::renderStatus() {
    const MainView& v = s_.view;
    setTextIfChanged(note_, v.note);
    QPalette notePalette = note_->palette();
    notePalette.setColor(QPalette::WindowText, toColour(v.noteColour));
    note_->setPalette(notePalette);
    setTextIfChanged(hexSummary_, v.hexSummary);
    hexSummary_->setVisible(!v.hexSummary.empty());
    QPalette summaryPalette = hexSummary_->palette();
    summaryPalette.setColor(QPalette::WindowText, toColour(v.hexSummaryColour));
    hexSummary_->setPalette(summaryPalette);

    progress_->setVisible(v.progressVisible);
    percent_->setVisible(v.progressVisible);
    if (v.progressVisible) {
        progress_->setRange(v.progressMin, v.progressMax);
        progress_->setValue(v.progressValue);
        setTextIfChanged(percent_, v.percentText);
    }

    applyLabel(firmware_, v.firmwareLabel);
    applyLabel(ver_, v.verLabel);
    applyLabel(checksum_, v.checksumLabel);
    applyLabel(calib_, v.calibLabel);
    applyLabel(pmSize_, v.pmSizeLabel);
    applyLabel(edSize_, v.edSizeLabel);
    eepromHeading_->setVisible(v.eepromHeadingVisible);
}

// The dumps and the ID, configuration and calibration boxes.
void MainWindow::renderImage() {
    const MainView& v = s_.view;
    applyTextBox(programMemory_, v.programMemory, drawnProgramMemory_);
    applyTextBox(eeprom_, v.eeprom, drawnEeprom_);
    setTextIfChanged(idBox_, v.idText);
    setTextIfChanged(configLabel_, v.configText);
    setTextIfChanged(bandGap_, v.bandGapText);
    setTextIfChanged(osccalHi_, v.osccalHiText);
    setTextIfChanged(osccalLo_, v.osccalLoText);
}

void MainWindow::renderDevices() {
    const MainView& v = s_.view;
    if (drawnDevices_ != v.deviceList) {
        const QSignalBlocker block(comboDevice_);
        comboDevice_->clear();
        for (const auto& name : v.deviceList)
            comboDevice_->addItem(QString::fromStdString(name));
        drawnDevices_ = v.deviceList;
    }
    if (comboDevice_->currentIndex() != v.deviceIndex) {
        const QSignalBlocker block(comboDevice_);
        comboDevice_->setCurrentIndex(v.deviceIndex);
    }
}

void MainWindow::renderCommands() {
    const MainView& v = s_.view;
    // The device, the grid and the boxes the running command reads stay put.
    for (QWidget* box : std::initializer_list<QWidget*>{comboDevice_, grid_, idBox_, bandGap_})
        box->setEnabled(!IsCommandRefused(v, box->objectName().toStdString()));

    const QString programCaption = QString::fromStdString(v.programButtonCaption);
    if (program_->text() != programCaption)
        program_->setText(programCaption);
    for (QPushButton* b : buttons_)
        b->setEnabled(commandEnabled(b->objectName(), true));
}

void MainWindow::renderMenus() {
    for (const auto& [name, action] : actions_) {
        const auto it = s_.view.menus.find(name.toStdString());
        const bool modelled = it != s_.view.menus.end();
        if (name.startsWith("nmuFile") || name.startsWith("nmuDevice")) {
            const std::string caption = modelled ? it->second.caption : "";
            // A folder name may hold '&', which is not a mnemonic here.
            action->setText(QString::fromStdString(caption).replace("&", "&&"));
        }
        if (name.startsWith("nmuDevice"))
            action->setVisible(false);  // companions only carry the device index
        else
            action->setVisible(modelled ? it->second.visible : !hiddenByDefault(name));
        if (action->isCheckable())
            action->setChecked(modelled && it->second.checked);
        if (!action->isSeparator())
            action->setEnabled(commandEnabled(name, !modelled || it->second.enabled));
    }
}

void MainWindow::renderGrid() {
    const ConfigGrid& g = s_.grid;
    grid_->setVisible(g.visible);
    if (drawnGrid_ != g.cells) {
        // Redrawing the model is no user move of the current cell.
        const QSignalBlocker block(grid_);
        grid_->setRowCount(static_cast<int>(g.cells.size()));
        for (int row = 0; row < static_cast<int>(g.cells.size()); ++row) {
            for (int col = 0; col < 2; ++col) {
                auto* item = new QTableWidgetItem(QString::fromStdString(g.cells[row][col]));
                if (row == 0 || col == 0) {
                    // Row 0 and the key column are the grid's fixed cells.
                    item->setBackground(palette().button());
                    item->setFlags(row == 0 ? Qt::ItemIsEnabled : Qt::ItemIsEnabled | Qt::ItemIsSelectable);
                }
                grid_->setItem(row, col, item);
            }
        }
        grid_->resizeColumnToContents(0);
        drawnGrid_ = g.cells;
    }
    if (g.currentRow < grid_->rowCount() && (grid_->currentRow() != g.currentRow || grid_->currentColumn() != g.currentCol)) {
        const QSignalBlocker block(grid_);
        grid_->setCurrentCell(g.currentRow, g.currentCol);
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing under a running board command would pull the port and the
    // session from under it; the command ends first. The operator's screen
    // is left through its own PIN, not around it.
    if (RefuseWhileBusy(s_) || RefuseWhileLocked(s_)) {
        event->ignore();
        render();
        return;
    }
    for (const auto& fn : closing)
        fn();
    board_->unload();
    const QPoint at = pos();
    Shutdown(s_, {at.x() * kTwipsPerPixel, at.y() * kTwipsPerPixel, isMinimized()});
    closed_ = true;
    event->accept();
}

}  // namespace vx
