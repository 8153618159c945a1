// A Ui for widget tests that records message boxes instead of showing them.
#pragma once

#include <QCoreApplication>
#include <string>
#include <utility>
#include <vector>

#include "base/seams.h"

namespace vx {

class RecordingUi : public Ui {
public:
    void viewChanged() override {}
    void processEvents() override { QCoreApplication::processEvents(); }
    void setBusy(bool) override {}
    MsgAnswer messageBox(MsgIcon, const std::string& title, const std::string& text, MsgButtons) override {
        boxes.push_back({title, text});
        return MsgAnswer::Ok;
    }
    int askOverwrite() override { return 2; }
    std::optional<std::string> openFileDialog(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<std::string> saveFileDialog(const FileDialogRequest&) override { return std::nullopt; }
    void showPortWindow() override {}
    std::vector<std::pair<std::string, std::string>> boxes;  // title, text
};

}  // namespace vx
