// 生産モード: the operator's screen of a serialization run. One large
// Program button, the last verdict, the next number, the counters of this
// station and of the whole run and the last chips, all read from the run
// store (so every PC of one server shows the same run). While it is open
// the engineering window cannot change what Program writes; leaving asks,
// and asks for the PIN when one is set (app/productionmode.h).
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "ops/workflows.h"
#include "session/session.h"

class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

namespace vx {

class RunStore;
class SerialWindow;

// Other stations' chips appear within this time.
constexpr int kProductionRefreshMs = 3000;

class ProductionWindow : public QWidget {
    Q_OBJECT
public:
    // program: the engineering window's Program, with the serialization run's hook.
    ProductionWindow(Session& s, SerialWindow& serial, std::function<Outcome()> program, QWidget* parent);
    ~ProductionWindow() override;

    // Locks the engineering window and shows the screen.
    void open();
    // Asks, then the PIN when one is set; true once the locks are off and the screen is gone.
    bool leave();
    // Reads the run from the store and draws it.
    void refresh();
    // Draws what the session holds: the device, the HEX file, the note.
    void render();
    void program();
    void toggleFullScreen();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* big(const char* name, int points);
    QWidget* buildCounters();
    void showVerdict(bool passed, const QString& reason);

    Session& s_;
    SerialWindow& serial_;
    std::function<Outcome()> program_;
    std::unique_ptr<RunStore> store_;
    std::string host_, user_;
    QTimer* timer_;
    QLabel* device_;
    QLabel* hexFile_;
    QLabel* verdict_;
    QLabel* reason_;
    QLabel* next_;
    QLabel* note_;
    QLabel* storeError_;
    QPushButton* programButton_;
    QTableWidget* last_;
    // この端末 and 生産全体: passed, failed, total, yield, to settle.
    std::array<std::array<QLabel*, 5>, 2> counters_{};
};

}  // namespace vx
