#include "ui/boardwindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPainter>

#include "app/startup.h"
#include "ui/screenplace.h"

namespace vx {

namespace {
constexpr int kZifPins = 40;  // the board's socket; smaller chips sit at its top
constexpr int kPitch = 12;
constexpr int kSocketTop = 30;
constexpr int kSocketLeft = 40;
constexpr int kSocketWidth = 90;

// Pin count and the first socket row the chip occupies.
bool chipPlacement(const std::string& package, int& pins, int& firstRow) {
    firstRow = 0;
    if (package == "8")
        pins = 8;
    else if (package == "18")
        pins = 18;
    else if (package == "28")
        pins = 28;
    else if (package == "28A") {
        pins = 28;
        firstRow = kZifPins / 2 - 14;  // the second 28-pin position sits at the socket's bottom
    } else if (package == "40")
        pins = 40;
    else
        return false;
    return true;
}
}  // namespace

BoardWindow::BoardWindow(Session& s, QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Window), s_(s), mainWindow_(mainWindow) {
    setObjectName("frmBoard");
    setWindowTitle("ボード情報");
    // Shown on top without taking the focus from the main window: activating
    // the main window afterwards would raise it over the board window, which
    // on a small screen lies partly over it.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(kSocketLeft * 2 + kSocketWidth + 90, kSocketTop + kZifPins / 2 * kPitch + 40);
    anyPosition_ = new QLabel("どちらでも可", this);
    anyPosition_->setObjectName("Label_sel");
    anyPosition_->move(kSocketLeft + kSocketWidth + 22, kSocketTop + 60);
    anyPosition_->hide();
}

void BoardWindow::render(const BoardWindowView& view) {
    if (view.package != drawn_.package || view.jumper != drawn_.jumper) {
        anyPosition_->setVisible(view.jumper == "NON");
        update();
    }
    if (view.visible && !isVisible()) {
        if (!placed_) {
            const QRect main = mainWindow_->frameGeometry();
            const QSize frame = FramedSize(*this, mainWindow_);
            MoveTo(*this, BoardWindowFirstPosition(s_.settings, {main.x(), main.y(), main.width(), main.height()},
                                                   frame.width(), frame.height(), AvailableArea(*mainWindow_)));
        }
        show();
        raise();
        if (!placed_)
            KeepOnScreen(*this);
        placed_ = true;
    } else if (!view.visible && isVisible()) {
        hide();
    }
    drawn_ = view;
}

void BoardWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int socketHeight = kZifPins / 2 * kPitch;

    // The ZIF socket with its lever.
    p.setPen(QPen(Qt::darkGray, 1));
    p.setBrush(QColor(0x30, 0x60, 0x30));
    p.drawRect(kSocketLeft, kSocketTop, kSocketWidth, socketHeight);
    p.drawText(kSocketLeft, kSocketTop - 8, "ZIF");
    for (int row = 0; row < kZifPins / 2; ++row) {
        const int y = kSocketTop + row * kPitch + kPitch / 2;
        p.setBrush(Qt::lightGray);
        p.drawEllipse(QPoint(kSocketLeft + 10, y), 3, 3);
        p.drawEllipse(QPoint(kSocketLeft + kSocketWidth - 10, y), 3, 3);
    }

    int pins = 0;
    int firstRow = 0;
    if (chipPlacement(drawn_.package, pins, firstRow)) {
        const QRect chip(kSocketLeft + 18, kSocketTop + firstRow * kPitch + 1, kSocketWidth - 36,
                         pins / 2 * kPitch - 2);
        p.setPen(QPen(Qt::yellow, 2));
        p.setBrush(QColor(0x20, 0x20, 0x20));
        p.drawRect(chip);
        p.drawArc(QRect(chip.center().x() - 6, chip.top() - 6, 12, 12), 180 * 16, 180 * 16);
        p.setPen(Qt::white);
        p.drawText(chip, Qt::AlignCenter, QString::fromStdString(drawn_.package) + "P");
    }

    // JP2: three pins; the cap bridges 1-2 or 2-3.
    const int jx = kSocketLeft + kSocketWidth + 30;
    const int jy = kSocketTop + 10;
    p.setPen(Qt::black);
    p.drawText(jx - 4, jy - 4, "JP2");
    for (int pin = 0; pin < 3; ++pin) {
        p.setBrush(Qt::darkGray);
        p.drawRect(jx + 4, jy + 6 + pin * 14, 6, 6);
        p.drawText(jx + 16, jy + 13 + pin * 14, QString::number(pin + 1));
    }
    int capPin = -1;
    if (drawn_.jumper == "1-2")
        capPin = 0;
    else if (drawn_.jumper == "2-3")
        capPin = 1;
    if (capPin >= 0) {
        p.setPen(QPen(Qt::red, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(jx, jy + 2 + capPin * 14, 14, 28);
    }
}

void BoardWindow::savePosition() {
    SaveBoardWindowPosition(s_.settings, {pos().x() * kTwipsPerPixel, pos().y() * kTwipsPerPixel, isMinimized()});
}

void BoardWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && isVisible())
        savePosition();
    QWidget::changeEvent(event);
}

void BoardWindow::closeEvent(QCloseEvent* event) {
    savePosition();
    s_.view.board.visible = false;
    drawn_.visible = false;
    event->accept();
}

void BoardWindow::unload() {
    if (placed_)
        savePosition();
    hide();
}

}  // namespace vx
