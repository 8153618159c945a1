#include "support/fakes.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vx::test {

std::optional<std::string> MemorySettings::value(const std::string& key) const {
    const auto it = values.find(key);
    if (it == values.end())
        return std::nullopt;
    return it->second;
}

MsgAnswer FakeUi::messageBox(MsgIcon icon, const std::string& title, const std::string& text,
                             MsgButtons buttons) {
    boxes.push_back({icon, title, text});
    if (!boxAnswers.empty()) {
        const MsgAnswer answer = boxAnswers.front();
        boxAnswers.pop_front();
        return answer;
    }
    if (buttons == MsgButtons::NoYes)
        return MsgAnswer::No;
    return buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel ? MsgAnswer::Yes : MsgAnswer::Ok;
}

bool FakeUi::askWrongChip(const std::string& text) {
    wrongChipQuestions.push_back(text);
    if (wrongChipAnswers.empty())
        return false;
    const bool answer = wrongChipAnswers.front();
    wrongChipAnswers.pop_front();
    return answer;
}

ChipValueAnswer FakeUi::askChipValues(const ChipValueQuestion& question) {
    chipValueQuestions.push_back(question);
    if (chipValueAnswers.empty())
        return {};
    const ChipValueAnswer answer = chipValueAnswers.front();
    chipValueAnswers.pop_front();
    return answer;
}

int FakeUi::askOverwrite() {
    ++overwriteAsked;
    if (overwriteAnswers.empty())
        return 2;
    const int answer = overwriteAnswers.front();
    overwriteAnswers.pop_front();
    return answer;
}

std::optional<std::string> FakeUi::openFileDialog(const FileDialogRequest& request) {
    fileRequests.push_back(request);
    if (fileAnswers.empty())
        return std::nullopt;
    auto answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

std::optional<std::string> FakeUi::saveFileDialog(const FileDialogRequest& request) {
    return openFileDialog(request);
}

ProcessId FakeProcesses::start(const std::string& program, const std::vector<std::string>& args,
                               const std::string& workDir) {
    started.push_back({program, args, workDir});
    if (!startSucceeds)
        return {};
    return {static_cast<std::int64_t>(started.size())};
}

std::optional<int> FakeProcesses::exitCode(ProcessId) { return nextExitCode; }

bool FakeProcesses::openWithAssociated(const std::string& path) {
    opened.push_back(path);
    return true;
}

bool FakeProcesses::openInTextEditor(const std::string& path) {
    editorOpened.push_back(path);
    return true;
}

PortOpenResult SilentPort::open(const std::string& name) {
    openedName = name;
    opened = openResult == PortOpenResult::Ok;
    return openResult;
}

bool SilentPort::waitForData(int timeoutMs) {
    clock.now += timeoutMs;
    return false;
}

TestRig::TestRig(SerialPort* port) {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "vormex-test-XXXXXX").string();
    dir = mkdtemp(pattern.data());
    dir += '/';
    if (!port) {
        silentPort = std::make_unique<SilentPort>(clock);
        port = silentPort.get();
    }
    session = std::make_unique<Session>(*port, settings, clock, ui, processes);
    session->run.appDir = dir;
}

TestRig::~TestRig() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

std::string SourcePath(const std::string& relative) { return std::string(VORMEX_SOURCE_DIR) + "/" + relative; }

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

}  // namespace vx::test
