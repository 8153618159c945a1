// frmBoard: the socket the chip goes into and the JP2 jumper position.
#pragma once

#include <QWidget>

#include "session/session.h"

class QLabel;

namespace vx {

class BoardWindow : public QWidget {
    Q_OBJECT
public:
    BoardWindow(Session& s, QWidget* mainWindow);

    void render(const BoardWindowView& view);
    // Saves the position (unless minimized); called when the program ends.
    void unload();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void savePosition();

    Session& s_;
    QWidget* mainWindow_;
    QLabel* anyPosition_;  // Label_sel
    BoardWindowView drawn_;
    bool placed_ = false;
};

}  // namespace vx
