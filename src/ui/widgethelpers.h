// Small helpers every window uses to build and draw its widgets and to ask
// its questions.
#pragma once

#include <QLineEdit>
#include <QString>
#include <string>

class QDialog;
class QWidget;

namespace vx {

// The widget with its object name: the name the wiring and the tests find it by.
template <typename W>
W* named(W* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

// Only a changed text is set, so a box being typed in keeps its cursor.
inline void setTextIfChanged(QLineEdit* box, const std::string& text) {
    const QString shown = QString::fromStdString(text);
    if (box->text() != shown)
        box->setText(shown);
}

// CR LF and lone CR become LF, as Qt widgets expect.
QString DisplayText(const std::string& text);

// Makes a question window-modal, so that it blocks only the window it stands
// over (and that window's parents) and a window of its own, such as the help
// window, stays usable beside it. Over an open modal dialog, the question is
// that dialog's child; a question beside it would be blocked by it.
void MakeWindowModal(QWidget& question, QWidget* owner);
// Runs a question window-modal over owner with the normal pointer, also
// during a busy workflow; its exec() result.
int ExecQuestion(QDialog& question, QWidget* owner);

}  // namespace vx
