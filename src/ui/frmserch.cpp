#include "ui/frmserch.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "session/session.h"

namespace vx {

namespace {
// The result box's margins are kept in twips, 15 to the pixel at 96 dpi.
constexpr int kTwipsPerPixel = 15;
constexpr int kResultRightTwips = 100;
constexpr int kResultBottomTwips = 380;

QString Q(const std::string& text) { return QString::fromStdString(text); }
}  // namespace

FrmSerch::FrmSerch(Session& session, QWidget* parent) : QWidget(parent, Qt::Window), s(session) {
    setObjectName("frmSerch");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("置き換え可能アドレスの検索");

    top = new QWidget(this);
    auto* grid = new QGridLayout(top);
    auto* explanation = new QLabel(
        "指定されたコードに上書き可能なアドレスを検索します。下部のテキストボックスに書き換え後のコードを１６進数で４桁で入力"
        "してください。一度に４つまで検索できます。(14bitコア製品のみ対応。)",
        top);
    explanation->setObjectName("Label1");
    explanation->setWordWrap(true);
    grid->addWidget(explanation, 0, 0, 1, 4);
    for (int i = 0; i < kSearchCodes; ++i) {
        SerchCode[i] = new QLineEdit(top);
        SerchCode[i]->setObjectName(QString("SerchCode%1").arg(i + 1));
        grid->addWidget(SerchCode[i], 1, i);
    }
    auto* buttons = new QHBoxLayout;
    CmdSerch = new QPushButton("検索", top);
    CmdSerch->setObjectName("CmdSerch");
    CmdSaveAsm = new QPushButton("保存", top);
    CmdSaveAsm->setObjectName("CmdSaveAsm");
    CmdEnd = new QPushButton("閉じる", top);
    CmdEnd->setObjectName("CmdEnd");
    Lbl_flag_cnt = new QLabel(top);
    Lbl_flag_cnt->setObjectName("Lbl_flag_cnt");
    buttons->addWidget(CmdSerch);
    buttons->addWidget(CmdSaveAsm);
    buttons->addWidget(CmdEnd);
    buttons->addWidget(Lbl_flag_cnt, 1);
    grid->addLayout(buttons, 2, 0, 1, 4);

    RichResult = new QPlainTextEdit(this);
    RichResult->setObjectName("RichResult");
    RichResult->setReadOnly(true);
    RichResult->setLineWrapMode(QPlainTextEdit::NoWrap);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    RichResult->setFont(fixed);
    // The listing's columns assume tab stops every 8 characters.
    RichResult->setTabStopDistance(8 * QFontMetricsF(fixed).horizontalAdvance(' '));

    connect(CmdSerch, &QPushButton::clicked, this, &FrmSerch::search);
    connect(CmdSaveAsm, &QPushButton::clicked, this, &FrmSerch::save);
    connect(CmdEnd, &QPushButton::clicked, this, &QWidget::close);

    Mcu_id = s.device.name.size() > 3 ? s.device.name.substr(3) : "";
    Core_select = CoreSelectFor(Mcu_id);
    CmdSerch->setEnabled(Core_select == "14");

    top->adjustSize();
    resize(720, 520);
    placeResult();
}

void FrmSerch::search() {
    if (searching)
        return;
    searching = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    CmdSerch->setEnabled(false);
    Lbl_flag_cnt->clear();
    RichResult->setPlainText("検索中。しばらくお待ちください．．．．．");
    if (Core_select == "14") {
        SearchCodes codes;
        for (int i = 0; i < kSearchCodes; ++i)
            codes[i] = SerchCode[i]->text().toStdString();
        DisasmProgress progress;
        progress.label = [this](const std::string& text) { Lbl_flag_cnt->setText(Q(text)); };
        progress.processEvents = [] { QCoreApplication::processEvents(); };
        const DisasmListing listing = RunCore14Search(s, codes, progress);
        for (int i = 0; i < kSearchCodes; ++i)
            SerchCode[i]->setText(Q(listing.searchCodes[i]));
        Lbl_flag_cnt->setText(Q(listing.countText));
        RichResult->hide();
        RichResult->setPlainText(Q(listing.text));
        RichResult->show();
    }
    QApplication::restoreOverrideCursor();
    CmdSerch->setEnabled(true);
    searching = false;
    if (closePending)
        close();
}

void FrmSerch::save() { SaveListingAs(s, RichResult->toPlainText().toStdString()); }

void FrmSerch::placeResult() {
    top->setGeometry(0, 0, width(), top->sizeHint().height());
    const int y = top->height();
    const int w = width() - kResultRightTwips / kTwipsPerPixel;
    const int h = height() - y - kResultBottomTwips / kTwipsPerPixel;
    if (w > 0 && h > 0)  // a window too small for the box keeps its last size
        RichResult->setGeometry(0, y, w, h);
}

void FrmSerch::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeResult();
}

void FrmSerch::closeEvent(QCloseEvent* event) {
    if (searching) {
        // The listing still runs inside this window's handler; finish it first.
        closePending = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void ShowFrmSerch(Session& s, QWidget* mainWindow) {
    auto* window = mainWindow->findChild<FrmSerch*>("frmSerch", Qt::FindDirectChildrenOnly);
    if (!window)
        window = new FrmSerch(s, mainWindow);
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace vx
