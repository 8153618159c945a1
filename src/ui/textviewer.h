// A plain-text file (LOG.txt, a tool's error file, dis_asm.asm) in a window of
// the program, for desktops that have no application to open it with.
#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;

namespace vx {

class TextViewer : public QWidget {
    Q_OBJECT
public:
    explicit TextViewer(const QString& path, QWidget* parent = nullptr);

    QString path() const { return path_; }
    // Reads the file again (the log grows while the program runs).
    void reload();

private:
    QString path_;
    QPlainTextEdit* text_;
    QLabel* note_;
};

}  // namespace vx
