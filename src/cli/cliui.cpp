#include "cli/cliui.h"

#include <algorithm>

namespace vx::cli {

namespace {

const char* const kDifferencePrefix = "Error　";
const char* const kMoreDifferences = "これ以降もエラーがある可能性があります。";
constexpr int kBarWidth = 40;

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

const char* iconName(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::None: return "message";
    case MsgIcon::Information: return "information";
    case MsgIcon::Warning: return "warning";
    case MsgIcon::Critical: return "error";
    case MsgIcon::Question: return "question";
    }
    return "message";
}

}  // namespace

std::string NormaliseBreaks(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            result += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            result += text[i];
        }
    }
    while (!result.empty() && (result.back() == ' ' || result.back() == '\n'))
        result.pop_back();
    return result;
}

CliUi::CliUi(std::FILE* out, std::FILE* progressOut, bool answerYes)
    : out_(out), progressOut_(progressOut), answerYes_(answerYes) {}

void CliUi::flush() {
    if (!view_)
        return;
    printNote();
    printDifferences(view_->programMemory.text, programDiffs_);
    printDifferences(view_->eeprom.text, eepromDiffs_);
    drawProgress();
}

void CliUi::printNote() {
    if (view_->note == lastNote_)
        return;
    lastNote_ = view_->note;
    const std::string text = NormaliseBreaks(lastNote_);
    if (text.empty())
        return;  // a cleared note
    printLine((view_->noteColour == kColourRed ? "!! " : "") + text);
}

// The verify lists its differences inside the memory views; a view that is
// drawn afresh drops them, so only lines beyond those already printed are new.
void CliUi::printDifferences(const std::string& text, std::vector<std::string>& printed) {
    std::vector<std::string> found;
    if (text.find(kDifferencePrefix) != std::string::npos || text.find(kMoreDifferences) != std::string::npos) {
        for (auto& line : splitLines(NormaliseBreaks(text)))
            if (line.rfind(kDifferencePrefix, 0) == 0 || line == kMoreDifferences)
                found.push_back(line);
    }
    const bool extends = found.size() >= printed.size() && std::equal(printed.begin(), printed.end(), found.begin());
    for (std::size_t i = extends ? printed.size() : 0; i < found.size(); ++i)
        printLine(found[i]);
    printed = std::move(found);
}

void CliUi::drawProgress() {
    if (!progressOut_)
        return;
    if (!view_->progressVisible) {
        clearProgress();
        return;
    }
    const int span = view_->progressMax - view_->progressMin;
    const int percent = span > 0 ? static_cast<int>(100LL * (view_->progressValue - view_->progressMin) / span) : 0;
    if (barShown_ && percent == lastPercent_)
        return;
    lastPercent_ = percent;
    const int filled = kBarWidth * std::clamp(percent, 0, 100) / 100;
    std::fprintf(progressOut_, "\r[%s%s] %3d%%", std::string(filled, '#').c_str(),
                 std::string(kBarWidth - filled, '.').c_str(), percent);
    std::fflush(progressOut_);
    barShown_ = true;
}

void CliUi::clearProgress() {
    if (!barShown_)
        return;
    std::fprintf(progressOut_, "\r%*s\r", kBarWidth + 8, "");
    std::fflush(progressOut_);
    barShown_ = false;
    lastPercent_ = -1;
}

void CliUi::printLine(const std::string& line) {
    const bool bar = barShown_;
    if (bar)
        clearProgress();
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
    if (bar && view_)
        drawProgress();
}

MsgAnswer CliUi::messageBox(MsgIcon icon, const std::string& title, const std::string& text,
                            MsgButtons buttons) {
    flush();  // the note shown before the box comes first
    printLine(std::string("[") + iconName(icon) + "]" + (title.empty() ? "" : " " + title));
    std::string body = NormaliseBreaks(text);
    while (!body.empty() && body.front() == '\n')
        body.erase(0, 1);
    while (!body.empty() && body.back() == '\n')
        body.pop_back();
    if (!body.empty())
        for (const auto& line : splitLines(body))
            printLine("    " + line);
    switch (buttons) {
    case MsgButtons::Ok: return MsgAnswer::Ok;
    case MsgButtons::OkCancel: return answerYes_ ? MsgAnswer::Ok : MsgAnswer::Cancel;
    case MsgButtons::YesNo: return answerYes_ ? MsgAnswer::Yes : MsgAnswer::No;
    case MsgButtons::NoYes: return answerYes_ ? MsgAnswer::Yes : MsgAnswer::No;
    case MsgButtons::YesNoCancel: return answerYes_ ? MsgAnswer::Yes : MsgAnswer::Cancel;
    }
    return MsgAnswer::Cancel;
}

bool CliUi::askWrongChip(const std::string& text) {
    flush();
    for (const auto& line : splitLines(NormaliseBreaks(text)))
        printLine("? " + line);
    printLine(ignoreId ? "  -> 続行 (--ignore-id)" : "  -> 中止 (no --ignore-id)");
    return ignoreId;
}

ChipValueAnswer CliUi::askChipValues(const ChipValueQuestion& question) {
    flush();
    chipValueQuestion = question;
    printLine("? " + NormaliseBreaks(question.text) + " -> キャンセル");
    return {};
}

int CliUi::askOverwrite() {
    flush();
    std::string question = "上書きしますか？";
    if (view_ && !view_->hintLine1.empty())
        question = view_->hintLine0 + " " + view_->hintLine1;
    printLine("? " + question + (answerYes_ ? " -> はい (--yes)" : " -> キャンセル (no --yes)"));
    return answerYes_ ? 1 : 2;
}

}  // namespace vx::cli
