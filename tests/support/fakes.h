// Test doubles for the seams: a scripted Ui that records what it was asked,
// an in-memory settings store, a virtual clock and a recording process seam.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/seams.h"
#include "session/session.h"

namespace vx::test {

class VirtualClock : public Clock {
public:
    std::int64_t nowMs() override { return now; }
    void sleepMs(int ms) override { now += ms; }
    std::int64_t now = 1'000'000;
};

class MemorySettings : public SettingsStore {
public:
    std::optional<std::string> value(const std::string& key) const override;
    void setValue(const std::string& key, const std::string& value) override { values[key] = value; }
    bool isEmpty() const override { return values.empty(); }
    std::map<std::string, std::string> values;
};

struct RecordedBox {
    MsgIcon icon;
    std::string title;
    std::string text;
};

class FakeUi : public Ui {
public:
    void viewChanged() override {
        ++viewChanges;
        if (onViewChanged)
            onViewChanged();
    }
    void processEvents() override {
        ++eventPumps;
        if (duringEvents)
            duringEvents();
    }
    void setBusy(bool busy) override { busyHistory.push_back(busy); }
    MsgAnswer messageBox(MsgIcon icon, const std::string& title, const std::string& text,
                         MsgButtons buttons) override;
    int askOverwrite() override;
    std::optional<std::string> openFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> saveFileDialog(const FileDialogRequest& request) override;
    void showPortWindow() override { ++portWindowShown; }
    bool askWrongChip(const std::string& text) override;
    ChipValueAnswer askChipValues(const ChipValueQuestion& question) override;

    std::vector<RecordedBox> boxes;
    std::deque<MsgAnswer> boxAnswers;            // default: Ok / Yes (No for NoYes)
    std::deque<int> overwriteAnswers;            // default: 2 (cancel)
    std::vector<std::string> wrongChipQuestions;
    std::deque<bool> wrongChipAnswers;           // default: stop
    std::vector<ChipValueQuestion> chipValueQuestions;
    std::deque<ChipValueAnswer> chipValueAnswers;  // default: cancel
    std::deque<std::optional<std::string>> fileAnswers;  // default: cancelled
    std::vector<FileDialogRequest> fileRequests;
    std::vector<bool> busyHistory;
    int overwriteAsked = 0;
    int portWindowShown = 0;
    int viewChanges = 0;
    int eventPumps = 0;
    std::function<void()> duringEvents;  // what the user does while events run
    std::function<void()> onViewChanged;  // what a test watches as the view changes
};

class FakeProcesses : public Processes {
public:
    ProcessId start(const std::string& program, const std::vector<std::string>& args,
                    const std::string& workDir) override;
    std::optional<int> exitCode(ProcessId id) override;
    bool openWithAssociated(const std::string& path) override;
    bool openInTextEditor(const std::string& path) override;

    struct Started {
        std::string program;
        std::vector<std::string> args;
        std::string workDir;
    };
    std::vector<Started> started;
    std::vector<std::string> opened;        // openWithAssociated
    std::vector<std::string> editorOpened;  // openInTextEditor
    bool startSucceeds = true;
    std::optional<int> nextExitCode = 0;    // nullopt: runs forever
};

// A port that opens but never answers; each wait lets virtual time pass.
class SilentPort : public SerialPort {
public:
    explicit SilentPort(VirtualClock& clock) : clock(clock) {}
    PortOpenResult open(const std::string& name) override;
    void close() override { opened = false; }
    bool isOpen() const override { return opened; }
    void write(const Bytes& bytes) override { written.insert(written.end(), bytes.begin(), bytes.end()); }
    int bytesAvailable() override { return 0; }
    Bytes readAll() override { return {}; }
    void discardInput() override {}
    void setRts(bool) override {}
    bool waitForData(int timeoutMs) override;

    VirtualClock& clock;
    PortOpenResult openResult = PortOpenResult::Ok;
    bool opened = false;
    std::string openedName;
    Bytes written;
};

// Everything a core test needs: the fakes and a Session over them, with
// AppDir in a fresh temporary folder.
struct TestRig {
    explicit TestRig(SerialPort* port = nullptr);
    ~TestRig();

    VirtualClock clock;
    MemorySettings settings;
    FakeUi ui;
    FakeProcesses processes;
    std::unique_ptr<SilentPort> silentPort;
    std::unique_ptr<Session> session;
    std::string dir;  // temporary AppDir, with trailing '/'
};

// The shipped database and test data.
std::string SourcePath(const std::string& relative);
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

}  // namespace vx::test
