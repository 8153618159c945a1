#include "ui/helpwindow.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>
#include <vector>

namespace vx {

namespace {

QString missingNote(const QString& path) {
    return QString("マニュアルのファイル '%1' が見つかりません。インストールし直してください。").arg(path);
}

// A picture as the document holds it: the file's bytes, or already decoded.
QSize imageSize(const QVariant& resource) {
    if (resource.userType() == QMetaType::QImage)
        return resource.value<QImage>().size();
    if (resource.userType() == QMetaType::QPixmap)
        return resource.value<QPixmap>().size();
    if (resource.userType() == QMetaType::QByteArray)
        return QImage::fromData(resource.toByteArray()).size();
    return {};
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
    fitImages();
}

void HelpBrowser::resizeEvent(QResizeEvent* event) {
    QTextBrowser::resizeEvent(event);
    // Not at once: a resize may come in the middle of laying the page out
    // (a missing picture's note appears), and the page must not change then.
    if (!fitPending_) {
        fitPending_ = true;
        QMetaObject::invokeMethod(this, [this] {
            fitPending_ = false;
            fitImages();
        }, Qt::QueuedConnection);
    }
}

void HelpBrowser::fitImages() {
    const qreal room = viewport()->width() - 2 * document()->documentMargin() - 2;
    if (room <= 0)
        return;
    // Collected first: changing a format may merge or split the fragments walked.
    std::vector<std::pair<int, QTextImageFormat>> changes;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            QTextImageFormat image = it.fragment().charFormat().toImageFormat();
            if (!image.isValid())
                continue;
            const QSize natural = imageSize(document()->resource(QTextDocument::ImageResource, QUrl(image.name())));
            if (natural.isEmpty())
                continue;
            const qreal width = std::min<qreal>(natural.width(), room);
            if (qFuzzyCompare(image.width(), width))
                continue;
            image.setWidth(width);
            image.setHeight(natural.height() * width / natural.width());
            changes.emplace_back(it.fragment().position(), image);
        }
    }
    QTextCursor cursor(document());
    for (const auto& [position, image] : changes) {
        cursor.setPosition(position);
        cursor.setPosition(position + 1, QTextCursor::KeepAnchor);  // an image is one character
        cursor.setCharFormat(image);
    }
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
