#include "ui/serialwindow.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/menus.h"
#include "app/productionmode.h"
#include "app/startup.h"
#include "session/status.h"
#include "ui/screenplace.h"
#include "ui/widgethelpers.h"

namespace vx {

namespace {
// The longest message (a note on the run file and the run kept) wraps to four lines.
constexpr int kMessageLines = 4;
}  // namespace

SerialWindow::SerialWindow(Session& s, QWidget* parent) : QDialog(parent), s_(s) {
    setObjectName("frmSerialPgmSetting");
    setWindowTitle("シリアルデータプログラミング");
    setModal(false);

    QWidget* data = buildDataFrame();
    QWidget* address = buildAddressFrame();
    enable_ = named(new QCheckBox("設定を有効にする。", this), "ChkSettingEnable");
    QWidget* status = buildStatusFrame();
    QLayout* buttons = buildButtons();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(data);
    layout->addWidget(address);
    layout->addWidget(enable_);
    layout->addWidget(status);
    layout->addLayout(buttons);

    connectBoxes();
    for (QLineEdit* box : {dataStart_, dataIncrement_, dataFinish_, startAddress_})
        box->installEventFilter(this);
}

// 書込みデータ設定: start value, increment, quantity and the radix.
QWidget* SerialWindow::buildDataFrame() {
    auto* data = new QGroupBox("書込みデータ設定", this);
    auto* dataGrid = new QGridLayout(data);
    dataStart_ = named(new QLineEdit(data), "TxtDataStart");
    dataIncrement_ = named(new QLineEdit(data), "TxtDataIncrement");
    dataFinish_ = named(new QLineEdit(data), "TxtDataFinsh");
    optionDec_ = named(new QRadioButton("(10進数)表示", data), "Option_Dec");
    optionHex_ = named(new QRadioButton("(16進数)表示", data), "Option_Hex");
    dataGrid->addWidget(new QLabel("開始データ値", data), 0, 0);
    dataGrid->addWidget(dataStart_, 0, 1);
    dataGrid->addWidget(new QLabel("増分データ値", data), 1, 0);
    dataGrid->addWidget(dataIncrement_, 1, 1);
    dataGrid->addWidget(new QLabel("数量", data), 2, 0);
    dataGrid->addWidget(dataFinish_, 2, 1);
    dataGrid->addWidget(optionDec_, 0, 2);
    dataGrid->addWidget(optionHex_, 1, 2);
    // A customer's list instead of start and increment.
    auto* list = named(new QPushButton("リスト...", data), "CmdSqtpList");
    list->setAutoDefault(false);
    dataGrid->addWidget(list, 0, 3);
    connect(list, &QPushButton::clicked, this, [this] {
        const auto path = s_.ui.openFileDialog(
            {"シリアル番号のリスト (SQTP) を読み込む", s_.run.appDir, "SQTP ファイル|*.num|全てのファイル|*.*", ""});
        if (path)
            change([&] { model_->chooseList(*path); });
    });
    return data;
}

// 書込みアドレス設定: where the number goes, its width and the write mode.
QWidget* SerialWindow::buildAddressFrame() {
    auto* address = new QGroupBox("書込みアドレス設定", this);
    auto* addressGrid = new QGridLayout(address);
    startAddress_ = named(new QLineEdit(address), "TxtStartAddress");
    byteNumber_ = named(new QComboBox(address), "TxtWriteByteNumber");
    byteNumber_->addItems({"1", "2", "3", "4"});
    endAddress_ = named(new QLabel(address), "TxtEndAddress");
    addressGrid->addWidget(new QLabel("書込みアドレス (16進数)", address), 0, 0);
    addressGrid->addWidget(startAddress_, 0, 1);
    addressGrid->addWidget(new QLabel("終了：", address), 0, 2);
    addressGrid->addWidget(endAddress_, 0, 3);
    addressGrid->addWidget(new QLabel("書込みバイト数 ", address), 1, 0);
    addressGrid->addWidget(byteNumber_, 1, 1);
    writeMode_ = named(new QComboBox(address), "CmbWriteMode");
    writeMode_->addItems({"表示のみ", "プログラムメモリ (RETLW)", "EEPROM"});
    addressGrid->addWidget(new QLabel("書込み方法", address), 2, 0);
    addressGrid->addWidget(writeMode_, 2, 1, 1, 3);
    return address;
}

// ステータス: the count, the last number written, the next one and the message line.
QWidget* SerialWindow::buildStatusFrame() {
    auto* status = new QGroupBox("ステータス", this);
    auto* statusGrid = new QGridLayout(status);
    finishCount_ = named(new QLineEdit(status), "TxtFinshCount");
    finishCount_->setReadOnly(true);
    wroteHex_ = named(new QLabel(status), "TxtWrotDataHex");
    wroteDec_ = named(new QLabel(status), "TxtWrotDataDec");
    message_ = named(new QLabel(status), "Label2");
    message_->setWordWrap(true);
    // Room for the longest message, at the top of its row: a message of
    // another length moves no row of the window.
    message_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    message_->setMinimumHeight(message_->fontMetrics().lineSpacing() * kMessageLines);
    statusGrid->addWidget(new QLabel("書込み済 ＩＣ数量", status), 0, 0);
    statusGrid->addWidget(finishCount_, 0, 1);
    statusGrid->addWidget(new QLabel("(個)", status), 0, 2);
    statusGrid->addWidget(wroteHex_, 1, 0, 1, 2);
    statusGrid->addWidget(wroteDec_, 1, 2);
    nextData_ = named(new QLabel(status), "TxtNextData");
    statusGrid->addWidget(new QLabel("次の番号：", status), 2, 0);
    statusGrid->addWidget(nextData_, 2, 1, 1, 2);
    statusGrid->addWidget(settleRow(status), 3, 0, 1, 3);
    statusGrid->addWidget(message_, 4, 0, 1, 3);
    statusGrid->setRowStretch(4, 1);
    return status;
}

QLayout* SerialWindow::buildButtons() {
    auto* chk = named(new QPushButton("chk", this), "Command1");
    auto* ok = named(new QPushButton("終了", this), "OKButton");
    auto* exportRun = named(new QPushButton("書出し...", this), "CmdExportRun");
    auto* importRun = named(new QPushButton("読込み...", this), "CmdImportRun");
    auto* report = named(new QPushButton("レポート", this), "CmdReport");
    production_ = named(new QPushButton("生産モード...", this), "CmdProduction");
    auto* pin = named(new QPushButton("暗証番号...", this), "CmdProductionPin");
    pin->setToolTip("生産モードを終了するときの暗証番号を設定します。空欄で解除します。");
    operator_ = named(new QLineEdit(this), "TxtOperator");
    operator_->setPlaceholderText("作業者");
    lockable_ = {chk, ok, exportRun, importRun, pin, operator_, findChild<QPushButton*>("CmdSqtpList")};
    // Enter in a box must never record a device: no button is the default.
    for (QPushButton* button : {chk, ok, exportRun, importRun, report, production_, pin}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(exportRun);
    buttons->addWidget(importRun);
    buttons->addWidget(report);
    buttons->addWidget(production_);
    buttons->addWidget(pin);
    buttons->addWidget(operator_);
    buttons->addStretch();
    buttons->addWidget(chk);
    buttons->addWidget(ok);

    connect(exportRun, &QPushButton::clicked, this, [this] {
        const auto path = s_.ui.saveFileDialog({"シリアル番号の管理ファイルを書き出す", s_.run.appDir,
                                                "管理ファイル|*.db|全てのファイル|*.*", "serial_run.db"});
        if (path)
            change([&] { model_->exportRun(*path); });
    });
    connect(report, &QPushButton::clicked, this, [this] { handle([&] { model_->writeReport(); }); });
    connect(operator_, &QLineEdit::textEdited, this,
            [this](const QString& name) { change([&] { model_->setOperatorName(name.trimmed().toStdString()); }); });
    connect(production_, &QPushButton::clicked, this, [this] {
        if (openProduction)
            openProduction();
    });
    connect(pin, &QPushButton::clicked, this, &SerialWindow::askPin);
    connect(importRun, &QPushButton::clicked, this, [this] {
        const auto path = s_.ui.openFileDialog(
            {"シリアル番号の管理ファイルを読み込む", s_.run.appDir, "管理ファイル|*.db;*.txt|全てのファイル|*.*", ""});
        if (path)
            change([&] { model_->importRun(*path); });
    });
    connect(chk, &QPushButton::clicked, this, [this] { change([&] { model_->recordDevice(); }); });
    connect(ok, &QPushButton::clicked, this, &QWidget::close);
    return buttons;
}

// Each box, option and list runs its handler of the model.
void SerialWindow::connectBoxes() {
    connect(dataStart_, &QLineEdit::textEdited, this,
            [this](const QString& t) { change([&] { model_->setDataStart(t.toStdString()); }); });
    connect(dataIncrement_, &QLineEdit::textEdited, this,
            [this](const QString& t) { change([&] { model_->setDataIncrement(t.toStdString()); }); });
    connect(dataFinish_, &QLineEdit::textEdited, this,
            [this](const QString& t) { change([&] { model_->setDataFinish(t.toStdString()); }); });
    connect(startAddress_, &QLineEdit::textEdited, this,
            [this](const QString& t) { change([&] { model_->setStartAddress(t.toStdString()); }); });
    connect(optionDec_, &QRadioButton::clicked, this, [this] { change([&] { model_->setHexMode(false); }); });
    connect(optionHex_, &QRadioButton::clicked, this, [this] { change([&] { model_->setHexMode(true); }); });
    connect(byteNumber_, &QComboBox::activated, this,
            [this](int index) { change([&] { model_->selectByteCount(index + 1); }); });
    connect(writeMode_, &QComboBox::activated, this,
            [this](int index) { change([&] { model_->selectWriteMode(static_cast<SerialMode>(index)); }); });
    connect(enable_, &QCheckBox::clicked, this, [this](bool on) { change([&] { model_->setEnabled(on); }); });
}

QWidget* SerialWindow::settleRow(QWidget* parent) {
    settleRow_ = new QWidget(parent);
    auto* row = new QHBoxLayout(settleRow_);
    row->setContentsMargins(0, 0, 0, 0);
    settle_ = named(new QComboBox(settleRow_), "CmbSettle");
    auto* used = named(new QPushButton("書込み済み", settleRow_), "CmdSettleUsed");
    auto* free = named(new QPushButton("未使用", settleRow_), "CmdSettleFree");
    used->setToolTip("この番号の IC は合格品です。記録します。");
    free->setToolTip("この番号は IC に入っていないか、その IC は廃棄しました。番号を戻します。");
    row->addWidget(new QLabel("確認待ちの番号：", settleRow_));
    row->addWidget(settle_, 1);
    row->addWidget(used);
    row->addWidget(free);
    for (auto [button, asUsed] : {std::pair{used, true}, std::pair{free, false}}) {
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, asUsed = asUsed] {
            if (settle_->currentIndex() >= 0)
                handle([&] { model_->settle(settle_->currentData().toLongLong(), asUsed); });
        });
    }
    settleRow_->hide();
    return settleRow_;
}

template <typename Fn>
void SerialWindow::handle(Fn fn) {
    if (!model_)
        return;
    fn();
    render();
}

template <typename Fn>
void SerialWindow::change(Fn fn) {
    if (RefuseWhileLocked(s_)) {
        render();
        return;
    }
    handle(fn);
}

void SerialWindow::askPin() {
    if (RefuseWhileLocked(s_))
        return;
    QInputDialog first;
    first.setWindowTitle("生産モードの暗証番号");
    first.setLabelText("生産モードを終了するときの暗証番号 (空欄で解除)：");
    first.setTextEchoMode(QLineEdit::Password);
    if (ExecQuestion(first, this) != QDialog::Accepted)
        return;
    const QString pin = first.textValue();
    if (!pin.isEmpty()) {
        QInputDialog again;
        again.setWindowTitle("生産モードの暗証番号");
        again.setLabelText("確認のため、もう一度入力してください：");
        again.setTextEchoMode(QLineEdit::Password);
        if (ExecQuestion(again, this) != QDialog::Accepted)
            return;
        if (again.textValue() != pin) {
            ShowNote(s_, Tone::Alert, "二つの暗証番号が違います。暗証番号は変わっていません。");
            return;
        }
    }
    SetProductionPin(s_, pin.toStdString());
}

void SerialWindow::open() {
    if (!model_) {
        model_ = std::make_unique<SerialProgramming>(s_);
        model_->changed = [this] { render(); };
        model_->setOperatorName(operator_->text().trimmed().toStdString());
        render();
        // Where it was left; the first time beside the main window, not over
        // its dumps. On the screen either way.
        adjustSize();
        const QWidget& main = *parentWidget();
        const QSize frame = FramedSize(*this, &main);
        const PixelRect area = AvailableArea(main);
        const QRect beside = main.frameGeometry();
        MoveTo(*this, model_->positionSaved
                          ? FirstPosition({model_->left, model_->top}, {x(), y()}, frame.width(), frame.height(), area)
                          : BesidePosition({beside.x(), beside.y(), beside.width(), beside.height()}, frame.width(),
                                           frame.height(), area));
        show();
        KeepOnScreen(*this);
    }
    show();
    raise();
    activateWindow();
}

bool SerialWindow::unload() {
    if (!model_)
        return true;
    if (!model_->unload({pos().x() * kTwipsPerPixel, pos().y() * kTwipsPerPixel, isMinimized()})) {
        render();
        return false;
    }
    model_.reset();
    hide();
    return true;
}

void SerialWindow::offerSavedRun() {
    const auto question = SavedSerialRunQuestion(s_);
    if (!question ||
        s_.ui.messageBox(MsgIcon::Question, "シリアルデータプログラミング", *question, MsgButtons::YesNo) != MsgAnswer::Yes)
        return;
    RevealSerialProgramming(s_);
    s_.ui.viewChanged();
    open();  // the window's model takes the run up itself
}

void SerialWindow::closeEvent(QCloseEvent* event) {
    // Closing switches the run off, under the operator's screen.
    if (!RefuseWhileLocked(s_) && unload())
        event->accept();
    else
        event->ignore();
}

bool SerialWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !model_)
        return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    // Only typed characters are filtered; cursor keys, Delete and shortcuts pass.
    const bool control = !text.isEmpty() && (text[0].unicode() < 0x20 || text[0].unicode() == 0x7F);
    if (text.size() != 1 || (control && text[0] != '\b' && text[0] != '\r'))
        return QDialog::eventFilter(watched, event);
    using F = SerialProgramming::Field;
    const F field = watched == dataStart_       ? F::DataStart
                    : watched == dataIncrement_ ? F::DataIncrement
                    : watched == dataFinish_    ? F::DataFinish
                                                : F::StartAddress;
    const char typed = text[0].unicode() < 0x80 ? static_cast<char>(text[0].unicode()) : '\0';
    const char passed = typed ? model_->filterKey(field, typed) : '\0';
    if (passed == '\0')
        return true;
    if (passed != typed) {
        QKeyEvent upper(QEvent::KeyPress, key->key(), key->modifiers(), QString(QChar(passed)));
        QCoreApplication::sendEvent(watched, &upper);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void SerialWindow::render() {
    if (!model_)
        return;
    model_->followLoads();
    const SerialProgramming& m = *model_;
    const QSignalBlocker b1(optionDec_), b2(optionHex_), b3(byteNumber_), b4(enable_), b5(writeMode_);
    setTextIfChanged(dataStart_, m.dataStart);
    setTextIfChanged(dataIncrement_, m.dataIncrement);
    setTextIfChanged(dataFinish_, m.dataFinish);
    setTextIfChanged(startAddress_, m.startAddress);
    setTextIfChanged(finishCount_, m.finishCount);
    optionHex_->setChecked(m.hexMode);
    optionDec_->setChecked(!m.hexMode);
    byteNumber_->setCurrentIndex(m.byteCount - 1);
    writeMode_->setCurrentIndex(static_cast<int>(m.writeMode));
    nextData_->setText(QString::fromStdString(m.nextData));
    endAddress_->setText(QString::fromStdString(m.endAddress));
    enable_->setChecked(m.enabled);
    enable_->setEnabled(!IsCommandRefused(s_.view, "ChkSettingEnable"));
    wroteHex_->setText(QString::fromStdString(m.wroteHex));
    wroteDec_->setText(QString::fromStdString(m.wroteDec));
    message_->setText(DisplayText(m.message));
    QStringList settle;
    for (const auto value : m.settleValues)
        settle << QString::fromStdString(m.numberText(value));
    QStringList shown;
    for (int i = 0; i < settle_->count(); ++i)
        shown << settle_->itemText(i);
    if (shown != settle) {
        settle_->clear();
        for (std::size_t i = 0; i < m.settleValues.size(); ++i)
            settle_->addItem(settle[static_cast<int>(i)], QVariant::fromValue<qlonglong>(m.settleValues[i]));
    }
    settleRow_->setVisible(!settle.isEmpty());
    for (QWidget* field : std::initializer_list<QWidget*>{dataStart_, dataIncrement_, dataFinish_, startAddress_, byteNumber_, writeMode_})
        field->setEnabled(m.fieldsEnabled && !s_.view.productionLocked);
    for (QWidget* radix : {optionDec_, optionHex_})
        radix->setEnabled(!s_.view.productionLocked);
    for (QWidget* w : lockable_)
        w->setEnabled(!IsCommandRefused(s_.view, w->objectName().toStdString()));
    production_->setEnabled(m.enabled && m.writeMode != SerialMode::Display && !s_.view.productionLocked);
}

}  // namespace vx
