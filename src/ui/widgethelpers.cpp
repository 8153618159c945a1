#include "ui/widgethelpers.h"

#include <QScreen>
#include <algorithm>

namespace vx {

QPoint BesideWindow(const QWidget* main, QSize size) {
    constexpr int kGap = 8;
    const QRect frame = main->frameGeometry();
    const QRect screen = main->screen() ? main->screen()->availableGeometry() : QRect();
    QPoint at(frame.right() + 1 + kGap, frame.top());
    if (screen.isValid() && at.x() + size.width() - 1 > screen.right()) {
        // No room on the right: on the left, else at the screen's right edge
        // (over the main window then, but as its own window always above it).
        at.setX(frame.left() - kGap - size.width());
        if (at.x() < screen.left())
            at.setX(screen.right() + 1 - size.width());
    }
    if (screen.isValid())
        at.setY(std::clamp(at.y(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - size.height())));
    return at;
}

}  // namespace vx
