// The Ui seam on Qt widgets: message boxes, file dialogs, the busy pointer.
#pragma once

#include <QStringList>
#include <functional>

#include "base/seams.h"

class QWidget;

namespace vx {

class QtUi : public Ui {
public:
    void viewChanged() override;
    void processEvents() override;
    void setBusy(bool busy) override;
    MsgAnswer messageBox(MsgIcon icon, const std::string& title, const std::string& text,
                         MsgButtons buttons = MsgButtons::Ok) override;
    int askOverwrite() override;
    std::optional<std::string> openFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> saveFileDialog(const FileDialogRequest& request) override;
    void showPortWindow() override;
    bool askWrongChip(const std::string& text) override;
    ChipValueAnswer askChipValues(const ChipValueQuestion& question) override;

    QWidget* parent = nullptr;         // owner of the dialogs (the main window)
    std::function<void()> render;      // draws MainView again
    // The windows of the overwrite question and the port choice plug in here.
    std::function<int()> overwriteWindow;
    std::function<void()> portWindow;
    // Judges the values typed into the lost-values question before it closes.
    std::function<std::string(const ChipValueQuestion&, const ChipValueAnswer&)> checkChipValues;

private:
    bool busy_ = false;
};

// "Hexファイル|*.HEX|すべて|*.*|" -> one Qt name filter per pair, each
// pattern matching its extension in any case ("*.[Hh][Ee][Xx]").
QStringList QtNameFilters(const std::string& filter);

}  // namespace vx
