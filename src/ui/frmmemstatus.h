// frmMemStatus: the program memory map, drawn only when "表示" is pressed.
#pragma once

#include <QFrame>
#include <QWidget>
#include <array>

#include "image/memstatus.h"
#include "session/session.h"

namespace vx {

// One 2048-word page: light red where the device has memory, black lines
// at blank words, button face beyond the device.
class MemoryStripView : public QFrame {
    Q_OBJECT
public:
    explicit MemoryStripView(QWidget* parent = nullptr);
    void setStrip(const MemoryStrip& strip);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MemoryStrip strip_;
};

class FrmMemStatus : public QWidget {
    Q_OBJECT
public:
    FrmMemStatus(Session& s, QWidget* parent);
    void display();  // CmdDisplay

private:
    Session& s_;
    std::array<MemoryStripView*, 4> strips_{};
};

}  // namespace vx
