// External programs through QProcess: program and arguments, never a shell.
#pragma once

#include <map>
#include <memory>

#include "app/seams.h"

class QProcess;

namespace vx {

class QtProcesses : public Processes {
public:
    QtProcesses();
    ~QtProcesses() override;
    ProcessId start(const std::string& program, const std::vector<std::string>& args,
                    const std::string& workDir) override;
    std::optional<int> exitCode(ProcessId id) override;
    bool openWithAssociated(const std::string& path) override;
    bool openInTextEditor(const std::string& path) override;

private:
    std::map<std::int64_t, std::unique_ptr<QProcess>> running_;
    std::int64_t nextId_ = 1;
};

}  // namespace vx
