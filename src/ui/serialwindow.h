// frmSerialPgmSetting: the serial-number window of a production run, drawn
// from its core model. Modeless; closing unloads it (the next opening starts
// afresh, as a newly loaded window does).
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <vector>

#include "serialization/serialization.h"
#include "session/session.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vx {

class SerialWindow : public QDialog {
    Q_OBJECT
public:
    SerialWindow(Session& s, QWidget* parent);

    // Loads the window when needed and shows it.
    void open();
    // Switches off and saves the position; nothing when not loaded. False
    // (the window stays) while Program runs with one of its numbers.
    bool unload();
    // At start: a production run left in the program folder is offered again.
    void offerSavedRun();
    SerialProgramming* model() { return model_.get(); }
    // Draws the model again; the main window's busy state locks the switch.
    void render();
    // Esc does nothing: unloading would lose the window's serial value and count.
    void reject() override {}
    // The 生産モード button: opens the operator's screen.
    std::function<void()> openProduction;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildDataFrame();
    QWidget* buildAddressFrame();
    QWidget* buildStatusFrame();
    QLayout* buildButtons();
    void connectBoxes();
    // Runs a handler of the model, then draws it again.
    template <typename Fn>
    void handle(Fn fn);
    // A handler that changes the run's settings: refused while the operator's screen is open.
    template <typename Fn>
    void change(Fn fn);
    // Sets or clears the operator's screen's PIN.
    void askPin();
    // The numbers to settle and the operator's two answers for one of them.
    QWidget* settleRow(QWidget* parent);

    Session& s_;
    std::unique_ptr<SerialProgramming> model_;
    QLineEdit* dataStart_;
    QLineEdit* dataIncrement_;
    QLineEdit* dataFinish_;
    QRadioButton* optionDec_;
    QRadioButton* optionHex_;
    QLineEdit* startAddress_;
    QComboBox* byteNumber_;
    QComboBox* writeMode_;
    QLabel* nextData_;
    QLabel* endAddress_;
    QCheckBox* enable_;
    QLineEdit* finishCount_;
    QLabel* wroteHex_;
    QLabel* wroteDec_;
    QLabel* message_;
    QWidget* settleRow_ = nullptr;
    QComboBox* settle_ = nullptr;
    QLineEdit* operator_ = nullptr;  // TxtOperator
    QPushButton* production_ = nullptr;  // CmdProduction
    std::vector<QWidget*> lockable_;  // the buttons the operator's screen locks
};

}  // namespace vx
