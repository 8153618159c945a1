// Small helpers every window uses to build and draw its widgets.
#pragma once

#include <QLineEdit>
#include <QString>
#include <string>

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

}  // namespace vx
