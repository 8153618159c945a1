// The chip image's part of the main window: the grid's in-place editors
// CmbInit and TxtInit, Text_ID and Text_Config, and the File and option
// menu commands of the image.
#pragma once

#include <QObject>
#include <string>
#include <vector>

#include "session/session.h"

class QComboBox;
class QLineEdit;
class QTableWidget;
class QToolButton;

namespace vx {

class MainWindow;
class FrmMemStatus;

class ImageWiring : public QObject {
    Q_OBJECT
public:
    ImageWiring(MainWindow& window, Session& s);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildGridEditors();
    void connectGrid();
    void buildToolButtons();
    void placeEditors();
    bool filterHexKey(QLineEdit* box, QEvent* event, int maxLength);
    std::string admitted(QLineEdit* box, const QString& text);

    MainWindow& w_;
    Session& s_;
    QTableWidget* grid_ = nullptr;
    QLineEdit* idBox_ = nullptr;
    QComboBox* cmbInit_ = nullptr;
    QLineEdit* txtInit_ = nullptr;
    FrmMemStatus* memStatus_ = nullptr;
    std::vector<QToolButton*> toolButtons_;
    std::vector<std::string> drawnItems_;
    bool placing_ = false;
};

}  // namespace vx
