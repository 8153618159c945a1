// The Ui seam as a transcript: notes, message boxes and verify differences
// become lines on stdout; the progress bar goes to stderr on a terminal.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "base/seams.h"
#include "session/mainview.h"

namespace vx::cli {

class CliUi : public Ui {
public:
    CliUi(std::FILE* out, std::FILE* progressOut, bool answerYes);

    // The view whose changes are printed; set once the session exists.
    void watch(const MainView& view) { view_ = &view; }
    // Prints what the view holds and has not been printed yet.
    void flush();

    void viewChanged() override { flush(); }
    void processEvents() override {}
    void setBusy(bool) override {}
    MsgAnswer messageBox(MsgIcon icon, const std::string& title, const std::string& text,
                         MsgButtons buttons) override;
    int askOverwrite() override;
    // No dialogs without a window: the CLI hands the core its paths beforehand.
    std::optional<std::string> openFileDialog(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<std::string> saveFileDialog(const FileDialogRequest&) override { return std::nullopt; }
    void showPortWindow() override {}
    // Goes on only with --ignore-id.
    bool askWrongChip(const std::string& text) override;
    // Never answered here: the values come beforehand from --calibration and
    // --band-gap; the question is kept for the exit message.
    ChipValueAnswer askChipValues(const ChipValueQuestion& question) override;

    bool ignoreId = false;
    std::optional<ChipValueQuestion> chipValueQuestion;  // the last one asked

    // Prints one line of the CLI's own (a result, not a core text).
    void printLine(const std::string& line);

private:
    void printNote();
    void printDifferences(const std::string& text, std::vector<std::string>& printed);
    void drawProgress();
    void clearProgress();

    std::FILE* out_;
    std::FILE* progressOut_;  // nullptr: no bar
    bool answerYes_;
    const MainView* view_ = nullptr;

    std::string lastNote_;
    std::vector<std::string> programDiffs_, eepromDiffs_;
    int lastPercent_ = -1;
    bool barShown_ = false;
};

// CR LF and lone CR become LF; trailing ASCII spaces and breaks are dropped.
std::string NormaliseBreaks(const std::string& text);

}  // namespace vx::cli
