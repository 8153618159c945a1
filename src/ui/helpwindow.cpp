#include "ui/helpwindow.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vx {

namespace {

QString missingNote(const QString& path) {
    return QString("マニュアルのファイル '%1' が見つかりません。インストールし直してください。").arg(path);
}

}  // namespace

QVariant HelpBrowser::loadResource(int type, const QUrl& name) {
    const QUrl url = source().resolved(name);
    if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile())) {
        emit missing(url.toLocalFile());
        if (type == QTextDocument::ImageResource) {
            QImage placeholder(24, 24, QImage::Format_RGB32);
            placeholder.fill(Qt::lightGray);
            return placeholder;
        }
        return {};
    }
    return QTextBrowser::loadResource(type, name);
}

void HelpBrowser::doSetSource(const QUrl& name, QTextDocument::ResourceType type) {
    // A missing page keeps the current one on screen instead of an empty window.
    if (name.isLocalFile() && !QFileInfo::exists(name.toLocalFile())) {
        emit missing(name.toLocalFile());
        return;
    }
    emit loading();
    QTextBrowser::doSetSource(name, type);
}

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("frmHelp");
    setWindowTitle("Vormex V3 ヘルプ");
    resize(820, 640);
    browser_ = new HelpBrowser(this);
    browser_->setObjectName("TextHelp");
    browser_->setOpenExternalLinks(true);
    note_ = new QLabel(this);
    note_->setObjectName("LabelHelpNote");
    note_->setStyleSheet("color: rgb(255, 0, 0);");
    note_->setWordWrap(true);
    note_->hide();

    auto* contents = new QPushButton("目次(&C)", this);
    contents->setObjectName("Command_contents");
    auto* back = new QPushButton("戻る(&B)", this);
    back->setObjectName("Command_back");
    auto* forward = new QPushButton("進む(&F)", this);
    forward->setObjectName("Command_forward");
    auto* close = new QPushButton("閉じる", this);
    close->setObjectName("Command_close");
    for (QPushButton* button : {contents, back, forward, close})
        button->setAutoDefault(false);
    back->setEnabled(false);
    forward->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents);
    buttons->addWidget(back);
    buttons->addWidget(forward);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(browser_, 1);
    layout->addWidget(note_);

    connect(contents, &QPushButton::clicked, this, [this] {
        if (!contents_.isEmpty())
            showPage(contents_);
    });
    connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, browser_, &QTextBrowser::forward);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QWidget::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward, &QWidget::setEnabled);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(browser_, &HelpBrowser::missing, this, [this](const QString& path) { showNote(missingNote(path)); });
    connect(browser_, &HelpBrowser::loading, note_, &QWidget::hide);
}

void HelpWindow::showPage(const QString& path) {
    const QFileInfo page(path);
    contents_ = page.absolutePath() + "/index.html";
    note_->hide();
    if (!page.exists())
        showNote(missingNote(path));
    else if (browser_->source() == QUrl::fromLocalFile(page.absoluteFilePath()))
        browser_->reload();
    else
        browser_->setSource(QUrl::fromLocalFile(page.absoluteFilePath()));
    show();
    raise();
    activateWindow();
}

void HelpWindow::showNote(const QString& note) {
    note_->setText(note);
    note_->show();
}

}  // namespace vx
