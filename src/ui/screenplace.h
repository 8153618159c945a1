// The screen as the core's window placement sees it.
#pragma once

#include <QSize>

#include "base/placement.h"

class QWidget;

namespace vx {

// The available area (without panels and docks) of the screen the window is
// on, the primary one for a window not shown yet.
PixelRect AvailableArea(const QWidget& window);

// The window's frame size. A window not shown yet has no frame of its own:
// it gets the border the window system gave `shown`, a window on screen.
QSize FramedSize(const QWidget& window, const QWidget* shown = nullptr);

void MoveTo(QWidget& window, PixelPoint at);

// Moves a shown window, now that its frame is known, inside its screen.
void KeepOnScreen(QWidget& window);

// A shown window opened while a question waits (the hint from the overwrite
// question): moved, and shrunk where it must, so it does not cover the question.
void KeepClearOfQuestion(QWidget& window);

}  // namespace vx
