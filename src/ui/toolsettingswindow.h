// frmMPASMWIN: the assembler/compiler settings, drawn from its core model.
// Modal; lives only while open.
#pragma once

#include <QDialog>

#include "session/session.h"
#include "toolchain/toolsettings.h"

class QCheckBox;
class QLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vx {

class ToolSettingsWindow : public QDialog {
    Q_OBJECT
public:
    ToolSettingsWindow(Session& s, QWidget* parent);
    ToolSettings& model() { return model_; }

    // "閉じる" stores; "ｷｬﾝｾﾙ", Esc and the window's close box do not.
    void accept() override;
    void reject() override;

private:
    QLayout* buildToolRow(QPushButton*& openAsm);
    QWidget* buildAfterFrame();
    QLayout* buildButtons(QPushButton* openAsm);
    void connectBoxes(QPushButton* openAsm);
    void render();

    ToolSettings model_;
    QLineEdit* asmPath_;
    QLineEdit* option_;
    QLineEdit* afterFile_;
    QRadioButton* notepad_;
    QRadioButton* associated_;
    QCheckBox* ccsc_;
};

}  // namespace vx
