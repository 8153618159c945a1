#include "listing_support.h"

#include <cstdio>
#include <sys/wait.h>

namespace vx::test {

ToolRun RunTool(const std::string& commandLine) {
    ToolRun run;
    FILE* pipe = popen((commandLine + " 2>&1").c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

bool ToolAvailable(const std::string& tool) {
    return RunTool("command -v " + tool).status == 0;
}

}  // namespace vx::test
