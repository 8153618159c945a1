#include "ui/imagewiring.h"

#include <QComboBox>
#include <algorithm>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>

#include "image/display.h"
#include "image/grid.h"
#include "image/hexfile.h"
#include "image/pcbufferops.h"
#include "session/status.h"
#include "ui/frmmemstatus.h"
#include "ui/mainwindow.h"

namespace vx {

ImageWiring::ImageWiring(MainWindow& window, Session& s) : QObject(&window), w_(window), s_(s) {
    grid_ = w_.findChild<QTableWidget*>("HFGrid1");
    idBox_ = w_.findChild<QLineEdit*>("Text_ID");
    buildGridEditors();
    connectGrid();
    buildToolButtons();

    memStatus_ = new FrmMemStatus(s_, &w_);
    w_.connectCommand("mnuFileOpen", [this] { LoadHexFile(s_); });
    w_.connectCommand("mnuFileSave", [this] { SaveHexFile(s_); });
    w_.connectCommand("mnuPcBufferMemoryClear", [this] { ClearPcBuffer(s_); });
    w_.connectCommand("Text_Config", [this] { ToggleConfigDisplay(s_); });
    w_.connectCommand("nmuMemStatus", [this] {
        memStatus_->show();
        memStatus_->raise();
    });
}

// The grid's in-place editors CmbInit and TxtInit, and Text_ID's filter.
void ImageWiring::buildGridEditors() {
    cmbInit_ = new QComboBox(grid_->viewport());
    cmbInit_->setObjectName("CmbInit");
    cmbInit_->setEditable(true);
    cmbInit_->setInsertPolicy(QComboBox::NoInsert);
    cmbInit_->hide();
    connect(cmbInit_, &QComboBox::activated, this, [this](int index) {
        ComboOptionChosen(s_, cmbInit_->itemText(index).toStdString());
        w_.render();
    });
    connect(cmbInit_, &QComboBox::editTextChanged, this, [this](const QString& text) {
        if (!placing_)
            s_.grid.comboText = text.toStdString();
    });

    txtInit_ = new QLineEdit(grid_->viewport());
    txtInit_->setObjectName("TxtInit");
    txtInit_->setMaxLength(2);
    txtInit_->hide();
    txtInit_->installEventFilter(this);
    idBox_->installEventFilter(this);
    // Every change of the text reaches the core, also those made without keys
    // (Delete, paste, cut, the context menu, a middle click).
    connect(txtInit_, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (!placing_)
            s_.grid.editorText = admitted(txtInit_, text);
    });
    connect(idBox_, &QLineEdit::textEdited, this,
            [this](const QString& text) { s_.view.idText = admitted(idBox_, text); });
}

void ImageWiring::connectGrid() {
    connect(grid_, &QTableWidget::currentCellChanged, this, [this](int row, int col, int, int) {
        const QRect cell = grid_->visualRect(grid_->model()->index(row, 1));
        GridCellChanged(s_, row, col, grid_->viewport()->rect().intersects(cell));
        w_.render();
    });
    connect(grid_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { placeEditors(); });
    w_.afterRender.push_back([this] { placeEditors(); });
}

// The tool buttons beside the menu commands.
void ImageWiring::buildToolButtons() {
    QToolBar* tools = w_.addToolBar("tools");
    tools->setObjectName("tools");
    tools->setMovable(false);
    const struct {
        const char* name;
        QStyle::StandardPixmap icon;
        const char* tip;
        void (*command)(Session&);
    } buttons[] = {{"Cmd_open", QStyle::SP_DialogOpenButton, "HEXファイルをロード", &LoadHexFile},
                   {"Cmd_save", QStyle::SP_DialogSaveButton, "名前を付けてHEXファイルを保存", &SaveHexFile}};
    for (const auto& b : buttons) {
        auto* button = new QToolButton(tools);
        button->setObjectName(b.name);
        button->setIcon(w_.style()->standardIcon(b.icon));
        button->setToolTip(b.tip);
        tools->addWidget(button);
        toolButtons_.push_back(button);
        connect(button, &QToolButton::clicked, this, [this, command = b.command] {
            command(s_);
            w_.render();
        });
    }
}

void ImageWiring::placeEditors() {
    // Disabled before they are hidden, so a box that loses the focus to a
    // running board command commits nothing.
    for (QWidget* widget : std::initializer_list<QWidget*>{toolButtons_[0], toolButtons_[1], cmbInit_, txtInit_})
        widget->setEnabled(!IsCommandRefused(s_.view, widget->objectName().toStdString()));
    const ConfigGrid& g = s_.grid;
    placing_ = true;
    const QRect cell = grid_->visualRect(grid_->model()->index(g.currentRow, 1)).adjusted(0, 0, 1, 0);
    if (g.comboVisible && g.visible) {
        if (drawnItems_ != g.comboItems) {
            cmbInit_->clear();
            for (const auto& item : g.comboItems)
                cmbInit_->addItem(QString::fromStdString(item));
            drawnItems_ = g.comboItems;
        }
        const QString text = QString::fromStdString(g.comboText);
        if (cmbInit_->currentText() != text)
            cmbInit_->setEditText(text);
        cmbInit_->setGeometry(cell);
        cmbInit_->show();
    } else {
        cmbInit_->hide();
    }
    if (g.textVisible && g.visible) {
        const QString text = QString::fromStdString(g.editorText);
        if (txtInit_->text() != text)
            txtInit_->setText(text);
        txtInit_->setGeometry(cell);
        txtInit_->show();
    } else {
        txtInit_->hide();
    }
    placing_ = false;
}

// A text that arrived without keys keeps what the key filter admits.
std::string ImageWiring::admitted(QLineEdit* box, const QString& text) {
    const std::string clean = HexFieldText(text.toStdString(), box->maxLength());
    if (clean != text.toStdString()) {
        const int caret = std::min(box->cursorPosition(), static_cast<int>(clean.size()));
        box->setText(QString::fromStdString(clean));
        box->setCursorPosition(caret);
    }
    return clean;
}

// Every character key goes through the core's filter; navigation keys and
// Tab keep their usual meaning.
bool ImageWiring::filterHexKey(QLineEdit* box, QEvent* event, int maxLength) {
    auto* key = static_cast<QKeyEvent*>(event);
    const QString typed = key->text();
    if (typed.size() != 1 || typed[0] == '\t' || key->key() == Qt::Key_Delete)
        return false;
    std::string text = box->text().toStdString();
    int start = box->hasSelectedText() ? box->selectionStart() : box->cursorPosition();
    int length = box->hasSelectedText() ? static_cast<int>(box->selectedText().size()) : 0;
    const char c = typed[0].unicode() < 128 ? static_cast<char>(typed[0].unicode()) : '\0';
    if (HexKeyFilter(text, start, length, c, maxLength)) {
        box->setText(QString::fromStdString(text));
        box->setCursorPosition(start);
        if (box == idBox_)
            s_.view.idText = text;
        else
            s_.grid.editorText = text;
    }
    return true;
}

bool ImageWiring::eventFilter(QObject* watched, QEvent* event) {
    if (watched != idBox_ && watched != txtInit_)
        return false;
    auto* box = static_cast<QLineEdit*>(watched);
    switch (event->type()) {
    case QEvent::KeyPress:
        return filterHexKey(box, event, box == idBox_ ? 4 : 2);
    case QEvent::FocusIn:
        if (box == idBox_) {
            ShowIdNote(s_);
            w_.render();
        }
        return false;
    case QEvent::MouseButtonPress:
        if (box == idBox_) {
            ShowIdNote(s_);
            w_.render();
        }
        return false;
    case QEvent::FocusOut: {
        // Switching to another window is not leaving the box.
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // A box disabled under a running board command commits nothing.
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason || !box->isEnabled())
            return false;
        if (box == idBox_)
            CommitIdText(s_, idBox_->text().toStdString());
        else
            CommitCalibration(s_);
        w_.render();
        return false;
    }
    default:
        return false;
    }
}

}  // namespace vx
