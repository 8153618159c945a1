#include "ui/frmmemstatus.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace vx {

namespace {

// The strip's own margin: the last word sits 5 pixels (75 twips) before the edge.
constexpr int kStripMarginPx = 5;

QColor usedColour() { return QColor::fromRgb(kColourUsedArea); }

}  // namespace

MemoryStripView::MemoryStripView(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setMinimumSize(420, 24);
}

void MemoryStripView::setStrip(const MemoryStrip& strip) {
    strip_ = strip;
    update();
}

void MemoryStripView::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setClipRect(area);
    painter.translate(area.topLeft());
    painter.fillRect(QRect(QPoint(0, 0), area.size()), palette().button());
    const int usedWidth = static_cast<int>(area.width() * strip_.usedFraction);
    painter.fillRect(QRect(0, 0, usedWidth, area.height()), usedColour());
    const double scale = static_cast<double>(area.width() - kStripMarginPx) / kWordsPerStrip;
    painter.setPen(QPen(Qt::black, 1));
    for (int offset : strip_.blankOffsets) {
        const int x = static_cast<int>(offset * scale);
        painter.drawLine(x, 0, x, area.height() - 1);
    }
}

FrmMemStatus::FrmMemStatus(Session& s, QWidget* parent) : QWidget(parent, Qt::Window), s_(s) {
    setObjectName("frmMemStatus");
    setWindowTitle("プログラムメモリ使用状況");
    auto* layout = new QVBoxLayout(this);
    auto* pages = new QGridLayout;
    const char* const captions[] = {"PAGE0 : 0x0000-0x07FF", "PAGE1 : 0x0800-0x0FFF", "PAGE2 : 0x1000-0x17FF",
                                    "PAGE3 : 0x1800-0x1FFF"};
    for (int i = 0; i < 4; ++i) {
        pages->addWidget(new QLabel(captions[i], this), i, 0);
        strips_[static_cast<std::size_t>(i)] = new MemoryStripView(this);
        strips_[static_cast<std::size_t>(i)]->setObjectName(QString("Picture%1").arg(i));
        pages->addWidget(strips_[static_cast<std::size_t>(i)], i, 1);
    }
    layout->addLayout(pages);

    auto* legend = new QHBoxLayout;
    auto* used = new QLabel("使用エリア", this);
    used->setAutoFillBackground(true);
    QPalette usedPalette = used->palette();
    usedPalette.setColor(QPalette::Window, usedColour());
    used->setPalette(usedPalette);
    auto* unused = new QLabel("未使用エリア", this);
    unused->setAutoFillBackground(true);
    QPalette unusedPalette = unused->palette();
    unusedPalette.setColor(QPalette::Window, Qt::black);
    unusedPalette.setColor(QPalette::WindowText, Qt::white);
    unused->setPalette(unusedPalette);
    legend->addWidget(used);
    legend->addWidget(unused);
    legend->addStretch();
    legend->addWidget(new QLabel("14bitコア製品のみサポート", this));
    layout->addLayout(legend);

    auto* buttons = new QHBoxLayout;
    auto* show = new QPushButton("表示", this);
    show->setObjectName("CmdDisplay");
    auto* close = new QPushButton("閉じる", this);
    close->setObjectName("Cmd_close");
    buttons->addStretch();
    buttons->addWidget(show);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(show, &QPushButton::clicked, this, &FrmMemStatus::display);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
}

void FrmMemStatus::display() {
    const auto map = MemoryUsageMap(s_);
    for (std::size_t i = 0; i < strips_.size(); ++i)
        strips_[i]->setStrip(map[i]);
}

}  // namespace vx
