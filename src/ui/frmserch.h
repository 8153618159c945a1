// The replaceable-address search window: four codes, the listing of the
// 14-bit program memory and the count of words each code can overwrite.
#pragma once

#include <QWidget>

#include "disasm/disasm.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace vx {

struct Session;

class FrmSerch : public QWidget {
    Q_OBJECT
public:
    explicit FrmSerch(Session& session, QWidget* parent = nullptr);

    const std::string& coreSelect() const { return Core_select; }

public slots:
    void search();
    void save();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void placeResult();

    Session& s;
    std::string Mcu_id;
    std::string Core_select;
    bool searching = false;
    bool closePending = false;  // closed while the listing ran: close after it

    QWidget* top;
    std::array<QLineEdit*, kSearchCodes> SerchCode{};
    QPushButton* CmdSerch;
    QPushButton* CmdSaveAsm;
    QPushButton* CmdEnd;
    QLabel* Lbl_flag_cnt;
    QPlainTextEdit* RichResult;
};

// mnuSerch: shows the window without blocking the main window, loading it
// first when it is not open.
void ShowFrmSerch(Session& s, QWidget* mainWindow);

}  // namespace vx
