#include "ui/qtui.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "ui/chipvaluedialog.h"
#include "ui/widgethelpers.h"

namespace vx {

void QtUi::viewChanged() {
    if (render)
        render();
}

void QtUi::processEvents() { QCoreApplication::processEvents(); }

void QtUi::setBusy(bool busy) {
    if (busy == busy_)
        return;
    busy_ = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

MsgAnswer QtUi::messageBox(MsgIcon icon, const std::string& title, const std::string& text, MsgButtons buttons) {
    QMessageBox box;
    box.setWindowTitle(QString::fromStdString(title));
    box.setText(DisplayText(text));
    switch (icon) {
    case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MsgIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
    }
    switch (buttons) {
    case MsgButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case MsgButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MsgButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case MsgButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    case MsgButtons::NoYes:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        break;
    }
    switch (ExecQuestion(box, parent)) {
    case QMessageBox::Yes: return MsgAnswer::Yes;
    case QMessageBox::No: return MsgAnswer::No;
    case QMessageBox::Cancel: return MsgAnswer::Cancel;
    case QMessageBox::Ok: return MsgAnswer::Ok;
    default:  // closed by the window's close button
        return buttons == MsgButtons::Ok ? MsgAnswer::Ok
               : buttons == MsgButtons::YesNo || buttons == MsgButtons::NoYes ? MsgAnswer::No
                                                                               : MsgAnswer::Cancel;
    }
}

int QtUi::askOverwrite() {
    if (overwriteWindow)
        return overwriteWindow();
    return 2;
}

bool QtUi::askWrongChip(const std::string& text) {
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8("デバイスID"), DisplayText(text),
                    QMessageBox::Yes | QMessageBox::Cancel);
    // Programming the wrong chip is what the question is for: stopping is the default.
    box.setDefaultButton(QMessageBox::Cancel);
    return ExecQuestion(box, parent) == QMessageBox::Yes;
}

ChipValueAnswer QtUi::askChipValues(const ChipValueQuestion& question) {
    return AskChipValues(parent, question, checkChipValues);
}

void QtUi::showPortWindow() {
    if (portWindow)
        portWindow();
}

QStringList QtNameFilters(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
            QString anyCase;
            for (const QChar c : pattern.trimmed()) {
                if (c.isLetter() && c.toLower() != c.toUpper())
                    anyCase += QString("[%1%2]").arg(c.toUpper(), c.toLower());
                else
                    anyCase += c;
            }
            patterns << anyCase;
        }
        filters << QString("%1 (%2)").arg(parts[i], patterns.join(' '));
    }
    return filters;
}

namespace {
std::optional<std::string> runFileDialog(QWidget* parent, const FileDialogRequest& request, bool save) {
    QFileDialog dialog(nullptr, QString::fromStdString(request.title), QString::fromStdString(request.startDir));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The any-case patterns are for matching only; the list shows the descriptions.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    // The save commands ask their own overwrite question.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    // The desktop's own dialog speaks the system's language; Qt's speaks the program's.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    const QStringList filters = QtNameFilters(request.filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    if (!request.defaultName.empty())
        dialog.selectFile(QString::fromStdString(request.defaultName));
    const bool accepted = ExecQuestion(dialog, parent) == QDialog::Accepted;
    if (!accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}
}  // namespace

std::optional<std::string> QtUi::openFileDialog(const FileDialogRequest& request) {
    return runFileDialog(parent, request, false);
}

std::optional<std::string> QtUi::saveFileDialog(const FileDialogRequest& request) {
    return runFileDialog(parent, request, true);
}

}  // namespace vx
