// frmMain: draws the core's MainView and turns clicks into core calls.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <array>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "session/session.h"

class QAction;
class QComboBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace vx {

class BoardWindow;
class ClickableLabel;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(Session& s, QWidget* parent = nullptr);

    // The one place commands are wired: a menu entry, a button or a status
    // label found by object name runs fn and becomes enabled. Entries without
    // a command stay disabled.
    void connectCommand(const QString& objectName, std::function<void()> fn);
    void connectDoubleClick(const QString& objectName, std::function<void()> fn);

    // Draws everything from s.view (and the grid from s.grid).
    void render();

    BoardWindow& boardWindow() { return *board_; }
    // Run first when the window closes (other windows unload here).
    std::vector<std::function<void()>> closing;
    // Run at the end of every render (overlays placed over the window's widgets).
    std::vector<std::function<void()>> afterRender;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildWidgets();
    void buildDeviceRow(QWidget* central);
    void buildDumps(QWidget* central);
    void buildGrid(QWidget* central);
    void buildIdAndConfig(QWidget* central);
    void buildCommandButtons(QWidget* central);
    void buildStatus(QWidget* central);
    void layOutWidgets(QWidget* central);
    QLayout* sideLayout(QWidget* central);
    void renderStatus();
    void renderImage();
    void renderDevices();
    void renderCommands();
    void renderMenus();
    void renderGrid();
    bool commandEnabled(const QString& name, bool modelEnabled) const;

    Session& s_;
    std::map<QString, QAction*> actions_;
    std::map<QString, QMetaObject::Connection> connections_;

    QComboBox* comboDevice_ = nullptr;
    QPushButton* program_ = nullptr;
    std::vector<QPushButton*> buttons_;
    QPlainTextEdit* programMemory_ = nullptr;
    QPlainTextEdit* eeprom_ = nullptr;
    QLabel* eepromHeading_ = nullptr;
    QLineEdit* idBox_ = nullptr;
    ClickableLabel* configLabel_ = nullptr;
    QLabel* note_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* percent_ = nullptr;
    ClickableLabel* firmware_ = nullptr;
    ClickableLabel* ver_ = nullptr;
    ClickableLabel* checksum_ = nullptr;
    QLabel* calib_ = nullptr;
    QLabel* pmSize_ = nullptr;
    QLabel* edSize_ = nullptr;
    QLineEdit* bandGap_ = nullptr;
    QLineEdit* osccalHi_ = nullptr;
    QLineEdit* osccalLo_ = nullptr;
    QTableWidget* grid_ = nullptr;
    QPlainTextEdit* debug_ = nullptr;  // Text_debug, never shown
    BoardWindow* board_ = nullptr;
    bool closed_ = false;

    // Last drawn values, so large texts are set only when they change.
    std::string drawnProgramMemory_, drawnEeprom_;
    std::vector<std::string> drawnDevices_;
    std::vector<std::array<std::string, 2>> drawnGrid_;
};

}  // namespace vx
