#include "ui/screenplace.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace vx {

PixelRect AvailableArea(const QWidget& window) {
    const QScreen* screen = window.isVisible() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    const QRect area = screen->availableGeometry();
    return {area.x(), area.y(), area.width(), area.height()};
}

QSize FramedSize(const QWidget& window, const QWidget* shown) {
    if (window.isVisible() || !shown || !shown->isVisible())
        return window.frameGeometry().size();
    return window.size() + shown->frameGeometry().size() - shown->size();
}

void MoveTo(QWidget& window, PixelPoint at) { window.move(at.x, at.y); }

void KeepOnScreen(QWidget& window) {
    const QSize frame = window.frameGeometry().size();
    const PixelPoint at{window.pos().x(), window.pos().y()};
    const PixelPoint inside = KeepInside(at, frame.width(), frame.height(), AvailableArea(window));
    if (!(inside == at))
        MoveTo(window, inside);
}

void KeepClearOfQuestion(QWidget& window) {
    QWidget* question = QApplication::activeModalWidget();
    if (!question || question == &window || !question->isVisible())
        return;
    const QRect q = question->frameGeometry();
    const QSize frame = window.frameGeometry().size();
    const QSize border = frame - window.size();
    const PixelRect place =
        UncoveringRect({q.x(), q.y(), q.width(), q.height()}, frame.width(), frame.height(), AvailableArea(*question));
    window.resize(place.width - border.width(), place.height - border.height());
    MoveTo(window, {place.x, place.y});
}

}  // namespace vx
