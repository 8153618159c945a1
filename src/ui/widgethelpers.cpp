#include "ui/widgethelpers.h"

#include <QApplication>
#include <QDialog>

namespace vx {

QString DisplayText(const std::string& text) {
    QString out = QString::fromStdString(text);
    out.replace("\r\n", "\n");
    out.replace('\r', '\n');
    return out;
}

void MakeWindowModal(QWidget& question, QWidget* owner) {
    if (QWidget* modal = QApplication::activeModalWidget())
        owner = modal;
    if (owner)
        question.setParent(owner, question.windowFlags());
    question.setWindowModality(Qt::WindowModal);
}

int ExecQuestion(QDialog& question, QWidget* owner) {
    MakeWindowModal(question, owner);
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int result = question.exec();
    QApplication::restoreOverrideCursor();
    return result;
}

}  // namespace vx
