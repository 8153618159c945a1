#include "ui/toolsettingswindow.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "ui/screenplace.h"
#include "ui/widgethelpers.h"

namespace vx {

namespace {

QLabel* wrapped(const char* text, QWidget* parent) {
    auto* label = new QLabel(DisplayText(text), parent);
    label->setWordWrap(true);
    return label;
}

}  // namespace

ToolSettingsWindow::ToolSettingsWindow(Session& s, QWidget* parent) : QDialog(parent), model_(s) {
    setObjectName("frmMPASMWIN");
    setWindowTitle("アセンブラ・コンパイラの設定");
    setModal(true);

    QPushButton* openAsm = nullptr;
    QLayout* pathRow = buildToolRow(openAsm);
    option_ = named(new QLineEdit(this), "txtAsmOption");
    QWidget* after = buildAfterFrame();
    auto* ccscFrame = new QGroupBox("CCS C コンパイラ (ccsc) 使用時の専用オプション", this);
    ccsc_ = named(new QCheckBox("HEXファイル内のターゲットチップ名を使用してデバイス選択を行う。", ccscFrame),
                  "Check_ccsc_device_info");
    (new QVBoxLayout(ccscFrame))->addWidget(ccsc_);
    auto* info = new QGroupBox("インフォメーション", this);
    // The fixed text scrolls: on a small screen the window keeps its buttons
    // and every setting in view.
    auto* infoScroll = new QScrollArea(info);
    infoScroll->setObjectName("InfoScroll");
    infoScroll->setWidgetResizable(true);
    infoScroll->setFrameShape(QFrame::NoFrame);
    infoScroll->setWidget(wrapped(ToolSettings::kInformation, infoScroll));
    infoScroll->setMinimumHeight(infoScroll->fontMetrics().lineSpacing() * 3);
    (new QVBoxLayout(info))->addWidget(infoScroll);
    QLayout* buttons = buildButtons(openAsm);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("アセンブラ・コンパイラの場所を指定してください。", this));
    layout->addLayout(pathRow);
    layout->addWidget(wrapped("オプションを指定してください。（gpasmでは\"-a inhx8m\"を、sdccでは\"-mpic14\"を推奨します。"
                              "sdccには、選択中のデバイス (\"-p16f84a\" など) をビルドのときに付けます。)",
                              this));
    layout->addWidget(option_);
    layout->addWidget(after);
    layout->addWidget(ccscFrame);
    layout->addWidget(info);
    layout->addLayout(buttons);

    connectBoxes(openAsm);
    render();
    // Its whole text where the screen has room, else as much as fits.
    infoScroll->setMinimumHeight(infoScroll->widget()->sizeHint().height());
    adjustSize();
    infoScroll->setMinimumHeight(infoScroll->fontMetrics().lineSpacing() * 3);
    constexpr int kTitleBar = 32;  // the frame is the desktop's, unknown until shown
    const int room = AvailableArea(*(parent ? parent : this)).height - kTitleBar;
    if (height() > room)
        resize(width(), room);
}

QLayout* ToolSettingsWindow::buildToolRow(QPushButton*& openAsm) {
    asmPath_ = named(new QLineEdit(this), "txtAsmPath");
    openAsm = named(new QPushButton("開く", this), "cmdOpenAsm");
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(asmPath_, 1);
    pathRow->addWidget(openAsm);
    return pathRow;
}

// What opens after a failed build: the file's extension and the editor.
QWidget* ToolSettingsWindow::buildAfterFrame() {
    auto* after = new QGroupBox("アセンブル・コンパイルエラー時の処理", this);
    afterFile_ = named(new QLineEdit(after), "Text_After_File");
    notepad_ = named(new QRadioButton("テキストエディタで開く", after), "Option_Notopad");
    associated_ = named(new QRadioButton(DisplayText("関連付けされたアプリケーションで開く\r\n"
                                                     "(指定した拡張子が、御使いのエディタに関連付けられている必要があります。)"),
                                         after),
                        "Option_Editer");
    auto* afterLayout = new QVBoxLayout(after);
    afterLayout->addWidget(wrapped("アセンブル・コンパイルで、エラーがあったときに開きたいファイルの 拡張子を指定してください。"
                                   "　ファイルを開きたくないときは空白です。",
                                   after));
    afterLayout->addWidget(afterFile_);
    afterLayout->addWidget(notepad_);
    afterLayout->addWidget(associated_);
    return after;
}

QLayout* ToolSettingsWindow::buildButtons(QPushButton* openAsm) {
    auto* ok = named(new QPushButton("閉じる", this), "OKButton");
    auto* cancel = named(new QPushButton("ｷｬﾝｾﾙ", this), "CancelButton");
    // Enter in a text box presses no button: a dialog's buttons are
    // auto-default, and "開く" would open the file chooser.
    for (QPushButton* button : {openAsm, ok, cancel})
        button->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    return buttons;
}

// Each box and option runs its handler of the model.
void ToolSettingsWindow::connectBoxes(QPushButton* openAsm) {
    connect(option_, &QLineEdit::textEdited, this, [this](const QString& t) { model_.setOption(t.toStdString()); });
    connect(afterFile_, &QLineEdit::textEdited, this,
            [this](const QString& t) { model_.setAfterFile(t.toStdString()); });
    connect(notepad_, &QRadioButton::clicked, this, [this] { model_.chooseNotepad(); });
    connect(associated_, &QRadioButton::clicked, this, [this] { model_.chooseAssociated(); });
    connect(ccsc_, &QCheckBox::clicked, this, [this](bool on) { model_.setCcscDeviceInfo(on); });
    // A typed path counts once typing ends (Enter, or the focus elsewhere).
    connect(asmPath_, &QLineEdit::editingFinished, this, [this] {
        if (asmPath_->text().toStdString() != model_.asmPath) {
            model_.typeTool(asmPath_->text().toStdString());
            render();
        }
    });
    connect(openAsm, &QPushButton::clicked, this, [this] {
        model_.chooseTool();
        render();
    });
}

void ToolSettingsWindow::render() {
    asmPath_->setText(QString::fromStdString(model_.asmPath));
    option_->setText(QString::fromStdString(model_.option));
    afterFile_->setText(QString::fromStdString(model_.afterFile));
    notepad_->setChecked(model_.notepad);
    associated_->setChecked(model_.associated);
    if (!model_.notepad && !model_.associated) {
        // Exclusive buttons cannot show "neither" unless briefly non-exclusive.
        notepad_->setAutoExclusive(false);
        associated_->setAutoExclusive(false);
        notepad_->setChecked(false);
        associated_->setChecked(false);
        notepad_->setAutoExclusive(true);
        associated_->setAutoExclusive(true);
    }
    ccsc_->setChecked(model_.ccscDeviceInfo);
}

void ToolSettingsWindow::accept() {
    model_.close();
    QDialog::accept();
}

void ToolSettingsWindow::reject() {
    model_.cancel();
    QDialog::reject();
}

}  // namespace vx
