// Real child processes for the build tests: fork and exec, no shell.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "base/seams.h"

namespace vx::test {

class PosixProcesses : public Processes {
public:
    ProcessId start(const std::string& program, const std::vector<std::string>& args,
                    const std::string& workDir) override {
        return startLogged(program, args, workDir, "/dev/null");
    }

    ProcessId startLogged(const std::string& program, const std::vector<std::string>& args,
                          const std::string& workDir, const std::string& outputFile) override {
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), args.begin(), args.end());
        const pid_t pid = fork();
        if (pid == 0) {
            if (!workDir.empty() && chdir(workDir.c_str()) != 0)
                _exit(126);
            const int output = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(output, 1);
            dup2(output, 2);
            std::vector<char*> raw;
            for (auto& a : argv)
                raw.push_back(a.data());
            raw.push_back(nullptr);
            execv(program.c_str(), raw.data());
            _exit(127);
        }
        started.push_back(argv);
        return {pid};
    }

    // Gives a child a little real time to end, so a virtual clock does not
    // run out while a fast tool is still starting.
    std::optional<int> exitCode(ProcessId id) override {
        for (int i = 0; i < 50; ++i) {
            int status = 0;
            if (waitpid(static_cast<pid_t>(id.value), &status, WNOHANG) > 0)
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return std::nullopt;
    }

    bool openWithAssociated(const std::string&) override { return false; }
    bool openInTextEditor(const std::string&) override { return false; }

    std::vector<std::vector<std::string>> started;
};

class SteadyTestClock : public Clock {
public:
    std::int64_t nowMs() override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    void sleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

}  // namespace vx::test
