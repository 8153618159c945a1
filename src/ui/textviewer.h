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
    // Why the program shows the file rather than the desktop's application; "" = nothing said.
    void setReason(const QString& why) { reason_ = why; }

private:
    QString path_;
    QString reason_;
    QPlainTextEdit* text_;
    QLabel* note_;
};

}  // namespace vx
