#include "ui/productionwindow.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/productionmode.h"
#include "serialization/runstore.h"
#include "serialization/station.h"
#include "session/status.h"
#include "ui/serialwindow.h"
#include "ui/widgethelpers.h"

namespace vx {

namespace {

void setColour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

QString counterText(const LineCounters& c, int column) {
    switch (column) {
    case 0: return QString::number(c.passed);
    case 1: return QString::number(c.failed);
    case 2: return QString::number(c.total);
    case 3: return c.total ? QString::number(c.yield, 'f', 1) + " %" : QString("-");
    default: return QString::number(c.toSettle);
    }
}

// The note's first line: the reason of a verdict in one line.
QString firstLine(const std::string& note) {
    const QString text = DisplayText(note).trimmed();
    return text.section('\n', 0, 0);
}

}  // namespace

ProductionWindow::ProductionWindow(Session& s, SerialWindow& serial, std::function<Outcome()> program, QWidget* parent)
    : QWidget(parent, Qt::Window), s_(s), serial_(serial), program_(std::move(program)), host_(ThisStation().host),
      user_(StationUser()), timer_(new QTimer(this)) {
    setObjectName("frmProduction");
    setWindowTitle("生産モード");
    // Space and Enter reach the window whatever was clicked last.
    setFocusPolicy(Qt::StrongFocus);

    device_ = big("LblDevice", 16);
    hexFile_ = named(new QLabel(this), "LblHexFile");
    programButton_ = named(new QPushButton("プログラム", this), "CmdProgram");
    programButton_->setMinimumHeight(120);
    QFont font = programButton_->font();
    font.setPointSize(36);
    font.setBold(true);
    programButton_->setFont(font);
    verdict_ = big("LblVerdict", 72);
    verdict_->setAlignment(Qt::AlignCenter);
    reason_ = big("LblReason", 16);
    reason_->setAlignment(Qt::AlignCenter);
    next_ = big("LblNext", 28);
    note_ = named(new QLabel(this), "LblNote");
    storeError_ = named(new QLabel(this), "LblStoreError");
    setColour(storeError_, Qt::red);
    storeError_->setWordWrap(true);

    last_ = named(new QTableWidget(0, 6, this), "TblLastChips");
    last_->setHorizontalHeaderLabels({"時刻", "番号", "判定", "端末", "作業者", "理由"});
    last_->verticalHeader()->hide();
    last_->horizontalHeader()->setStretchLastSection(true);
    last_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    last_->setSelectionMode(QAbstractItemView::NoSelection);

    auto* fullScreen = named(new QPushButton("全画面 (F11)", this), "CmdFullScreen");
    auto* leaveButton = named(new QPushButton("生産モード終了", this), "CmdLeave");
    for (QWidget* w : std::initializer_list<QWidget*>{programButton_, fullScreen, leaveButton, last_})
        w->setFocusPolicy(Qt::NoFocus);
    connect(programButton_, &QPushButton::clicked, this, &ProductionWindow::program);
    connect(fullScreen, &QPushButton::clicked, this, &ProductionWindow::toggleFullScreen);
    connect(leaveButton, &QPushButton::clicked, this, &ProductionWindow::close);
    // Not in the middle of a chip: the store is read between chips.
    connect(timer_, &QTimer::timeout, this, [this] {
        if (!s_.view.busy)
            refresh();
    });

    auto* top = new QHBoxLayout;
    top->addWidget(device_);
    top->addWidget(hexFile_, 1);
    top->addWidget(fullScreen);
    top->addWidget(leaveButton);
    auto* nextRow = new QHBoxLayout;
    nextRow->addWidget(new QLabel("次の番号：", this));
    nextRow->addWidget(next_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(programButton_);
    layout->addWidget(verdict_);
    layout->addWidget(reason_);
    layout->addLayout(nextRow);
    layout->addWidget(buildCounters());
    layout->addWidget(storeError_);
    layout->addWidget(last_, 1);
    layout->addWidget(note_);
    resize(900, 720);
}

ProductionWindow::~ProductionWindow() = default;

QLabel* ProductionWindow::big(const char* name, int points) {
    auto* label = named(new QLabel(this), name);
    QFont font = label->font();
    font.setPointSize(points);
    font.setBold(true);
    label->setFont(font);
    return label;
}

QWidget* ProductionWindow::buildCounters() {
    auto* box = new QWidget(this);
    auto* grid = new QGridLayout(box);
    const char* columns[] = {"Passed", "Failed", "Total", "Yield", "Settle"};
    const char* captions[] = {"合格", "不合格", "合計", "歩留まり", "確認待ち"};
    const char* rows[] = {"Station", "Run"};
    const char* rowCaptions[] = {"この端末", "生産全体"};
    for (int c = 0; c < 5; ++c)
        grid->addWidget(new QLabel(captions[c], box), 0, c + 1, Qt::AlignRight);
    for (int r = 0; r < 2; ++r) {
        grid->addWidget(new QLabel(rowCaptions[r], box), r + 1, 0);
        for (int c = 0; c < 5; ++c) {
            const QByteArray name = QByteArray("Lbl") + rows[r] + columns[c];
            counters_[r][c] = big(name.constData(), 20);
            counters_[r][c]->setParent(box);
            grid->addWidget(counters_[r][c], r + 1, c + 1, Qt::AlignRight);
        }
    }
    return box;
}

void ProductionWindow::open() {
    SerialProgramming* run = serial_.model();
    if (!run || !run->enabled || run->writeMode == SerialMode::Display) {
        ShowNote(s_, Tone::Alert, "生産モードは、シリアルデータプログラミングの書込み方法を選んで有効にしてから開いてください。");
        return;
    }
    if (!s_.view.productionLocked)
        EnterProductionMode(s_);
    show();
    raise();
    activateWindow();
    setFocus();
    render();
    refresh();
    timer_->start(kProductionRefreshMs);
}

bool ProductionWindow::leave() {
    if (!s_.view.productionLocked) {
        timer_->stop();
        hide();
        return true;
    }
    if (RefuseWhileBusy(s_))
        return false;
    QMessageBox ask(QMessageBox::Question, "生産モード", "生産モードを終了しますか？", QMessageBox::Yes | QMessageBox::No);
    ask.setDefaultButton(QMessageBox::No);
    if (ExecQuestion(ask, this) != QMessageBox::Yes)
        return false;
    std::string pin;
    if (ProductionPinSet(s_)) {
        QInputDialog input;
        input.setWindowTitle("生産モード");
        input.setLabelText("暗証番号を入力してください。");
        input.setTextEchoMode(QLineEdit::Password);
        if (ExecQuestion(input, this) != QDialog::Accepted)
            return false;
        pin = input.textValue().toStdString();
    }
    if (!LeaveProductionMode(s_, pin))
        return false;
    timer_->stop();
    if (isFullScreen())
        showNormal();
    hide();
    return true;
}

void ProductionWindow::refresh() {
    SerialProgramming* run = serial_.model();
    if (!run)
        return;
    std::string error;
    if (!store_ || store_->path() != run->runPath())
        store_ = RunStore::open(run->runPath(), error);
    const auto view = store_ ? store_->lineView(host_, user_, error) : std::nullopt;
    storeError_->setText(QString::fromStdString(error));
    storeError_->setVisible(!view);
    if (!view) {
        store_.reset();  // opened again next time: a server may come back
        return;
    }
    next_->setText(view->next ? QString::fromStdString(run->numberText(*view->next)) : QString("なし"));
    const LineCounters* counters[] = {&view->station, &view->run};
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 5; ++c)
            counters_[r][c]->setText(counterText(*counters[r], c));
    last_->setRowCount(static_cast<int>(view->last.size()));
    for (int row = 0; row < static_cast<int>(view->last.size()); ++row) {
        const ChipRecord& chip = view->last[static_cast<std::size_t>(row)];
        const QString cells[] = {
            QDateTime::fromSecsSinceEpoch(chip.at).toLocalTime().toString("HH:mm:ss"),
            chip.serial ? QString::fromStdString(run->numberText(*chip.serial)) : QString(),
            chip.passed ? "合格" : "不合格",
            QString::fromStdString(chip.host + " " + chip.user),
            QString::fromStdString(chip.operatorName),
            QString::fromStdString(chip.failure)};
        for (int col = 0; col < 6; ++col) {
            auto* item = new QTableWidgetItem(cells[col]);
            if (col == 2)
                item->setForeground(chip.passed ? QColor(0, 128, 0) : QColor(Qt::red));
            last_->setItem(row, col, item);
        }
    }
}

void ProductionWindow::render() {
    if (!isVisible())
        return;
    device_->setText(QString::fromStdString(s_.device.name));
    const QFileInfo hex(QString::fromStdString(s_.loader.loadedPath));
    hexFile_->setText(s_.loader.loadedPath.empty()
                          ? QString("HEXファイルなし")
                          : QString("%1   SUM %2   %3")
                                .arg(hex.fileName(), QString::fromStdString(s_.view.checksumLabel.caption),
                                     hex.lastModified().toString("yyyy-MM-dd HH:mm:ss")));
    note_->setText(firstLine(s_.view.note));
    programButton_->setEnabled(!s_.view.busy);
}

void ProductionWindow::program() {
    // A key pressed while a chip is being written waits for nothing: it is dropped.
    if (s_.view.busy)
        return;
    verdict_->clear();
    reason_->clear();
    const Outcome outcome = program_();
    showVerdict(outcome == Outcome::Passed, outcome == Outcome::Passed ? QString() : firstLine(s_.view.note));
    render();
    refresh();
}

void ProductionWindow::showVerdict(bool passed, const QString& reason) {
    verdict_->setText(passed ? "合格" : "不合格");
    setColour(verdict_, passed ? QColor(0, 160, 0) : QColor(Qt::red));
    reason_->setText(reason);
}

void ProductionWindow::toggleFullScreen() {
    if (isFullScreen())
        showNormal();
    else
        showFullScreen();
}

void ProductionWindow::closeEvent(QCloseEvent* event) {
    if (leave())
        event->accept();
    else
        event->ignore();
}

void ProductionWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Held down, a key repeats: one press, one chip.
        if (!event->isAutoRepeat())
            program();
        return;
    case Qt::Key_F11:
        toggleFullScreen();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

}  // namespace vx
