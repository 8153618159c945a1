#include "ui/chipvaluedialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/widgethelpers.h"

namespace vx {

ChipValueAnswer AskChipValues(QWidget* parent, const ChipValueQuestion& question, const ChipValueCheck& check) {
    QDialog dialog;
    dialog.setObjectName("frmChipValues");
    dialog.setWindowTitle(QString::fromUtf8("工場出荷時の値"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* text = new QLabel(DisplayText(question.text), &dialog);
    text->setWordWrap(true);
    layout->addWidget(text);

    auto* form = new QFormLayout;
    auto* calibration = new QLineEdit(&dialog);
    calibration->setObjectName("Txt_calibration");
    calibration->setPlaceholderText(QString::fromStdString(question.calibrationDefault));
    auto* bandGap = new QLineEdit(&dialog);
    bandGap->setObjectName("Txt_band_gap");
    bandGap->setMaxLength(1);
    bandGap->setPlaceholderText(QString::fromStdString(question.bandGapDefault));
    if (question.calibration)
        form->addRow(QString::fromUtf8("キャリブレーション値（例 %1）").arg(QString::fromStdString(question.calibrationDefault)),
                     calibration);
    if (question.bandGap)
        form->addRow(QString::fromUtf8("バンドギャップ値（0〜3）"), bandGap);
    calibration->setVisible(question.calibration);
    bandGap->setVisible(question.bandGap);
    layout->addLayout(form);
    auto* note = new QLabel(&dialog);
    note->setObjectName("LabelChipValueNote");
    note->setStyleSheet("color: red");
    note->setWordWrap(true);
    note->hide();
    layout->addWidget(note);

    std::string defaults;
    if (question.calibration)
        defaults = question.calibrationDefault;
    if (question.bandGap)
        defaults += (defaults.empty() ? "" : ", ") + question.bandGapDefault;
    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* enter = buttons->addButton(QString::fromUtf8("入力した値で続ける"), QDialogButtonBox::AcceptRole);
    QPushButton* useDefault = buttons->addButton(
        QString::fromUtf8("データベースの既定値（%1）で続ける").arg(QString::fromStdString(defaults)),
        QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(QString::fromUtf8("キャンセル"), QDialogButtonBox::RejectRole);
    enter->setObjectName("Cmd_enter");
    useDefault->setObjectName("Cmd_default");
    cancel->setObjectName("Cmd_cancel");
    // Nothing is lost by stopping: it is the button Enter presses.
    enter->setAutoDefault(false);
    useDefault->setAutoDefault(false);
    cancel->setDefault(true);
    layout->addWidget(buttons);

    ChipValueAnswer answer;
    const auto typed = [&] {
        answer.calibration = calibration->text().trimmed().toStdString();
        answer.bandGap = bandGap->text().trimmed().toStdString();
    };
    QObject::connect(buttons, &QDialogButtonBox::clicked, &dialog, [&](QAbstractButton* button) {
        if (button == enter) {
            typed();
            // A mistyped value is typed again, not the end of Program.
            const std::string problem = check ? check(question, answer) : "";
            if (!problem.empty()) {
                note->setText(DisplayText(problem));
                note->show();
                return;
            }
            answer.choice = ChipValueChoice::Entered;
        } else if (button == useDefault) {
            answer.choice = ChipValueChoice::UseDefault;
        }
        dialog.done(0);
    });
    ExecQuestion(dialog, parent);
    typed();
    return answer;
}

}  // namespace vx
