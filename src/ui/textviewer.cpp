#include "ui/textviewer.h"

#include <QFile>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringDecoder>
#include <QVBoxLayout>

#include "base/textfile.h"

namespace vx {

namespace {

// A tool that printed megabytes still opens at once; its first lines say what went wrong.
constexpr qint64 kMaxShownBytes = 4 * 1024 * 1024;

}  // namespace

TextViewer::TextViewer(const QString& path, QWidget* parent) : QWidget(parent, Qt::Window), path_(path) {
    setObjectName("frmTextView");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(path);
    resize(760, 520);
    text_ = new QPlainTextEdit(this);
    text_->setObjectName("TextView");
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text_->setTabStopDistance(8 * text_->fontMetrics().horizontalAdvance(' '));
    note_ = new QLabel(this);
    note_->setObjectName("LabelTextNote");
    auto* reloadButton = new QPushButton("再読み込み(&R)", this);
    reloadButton->setObjectName("Command_reload");
    auto* close = new QPushButton("閉じる", this);
    close->setObjectName("Command_close");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(note_, 1);
    buttons->addWidget(reloadButton);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_, 1);
    layout->addLayout(buttons);
    connect(reloadButton, &QPushButton::clicked, this, &TextViewer::reload);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    reload();
}

void TextViewer::reload() {
    QFile file(path_);
    const auto showNote = [this](const QString& note) {
        note_->setText(reason_.isEmpty() || note.isEmpty() ? reason_ + note : reason_ + "\n" + note);
    };
    if (!file.open(QIODevice::ReadOnly)) {
        text_->clear();
        showNote(QString("'%1' を開けませんでした。%2").arg(path_, file.errorString()));
        return;
    }
    const qint64 size = file.size();
    const QByteArray bytes = file.read(kMaxShownBytes);
    // A cut file ends on a whole character, so that the cut does not decide
    // the encoding: UTF-8 as the program writes it, else Shift_JIS as files
    // from older Windows tools are.
    const bool cut = size > bytes.size();
    const std::string_view head(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(cut ? bytes.left(static_cast<qsizetype>(Utf8CutLength(head))) : bytes);
    if (utf8.hasError()) {
        QStringDecoder sjis("Shift_JIS");
        if (sjis.isValid())
            text = sjis.decode(cut ? bytes.left(static_cast<qsizetype>(ShiftJisCutLength(head))) : bytes);
    }
    text.replace("\r\n", "\n");
    text_->setPlainText(text);
    showNote(size > kMaxShownBytes
                 ? QString("先頭の %1 バイトだけを表示しています (全体 %2 バイト)。").arg(kMaxShownBytes).arg(size)
                 : QString());
}

}  // namespace vx
