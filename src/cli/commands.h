// The commands of vormex-cli over one session.
#pragma once

#include "app/session.h"
#include "cli/boardport.h"
#include "cli/cliui.h"
#include "cli/options.h"

namespace vx::cli {

struct Context {
    const Options& options;
    Session& s;
    CliUi& ui;
    PortProxy& port;
    CliClock& clock;
};

// Runs options.command on a session whose database is loaded; the exit status.
int RunCommand(Context& c);

// Points the session's link at the board of --port (else setting "ComNo");
// for the simulated board, puts the chip of --sim-state (else a blank chip of
// the device) in its socket. Exit status kExitOk or why not.
int OpenBoard(Context& c);
// Keeps the simulated chip in --sim-state; false (and a message) when it cannot.
bool SaveSimState(Context& c);

// Reads and sanity-checks a HEX file before it is loaded; on a fault prints
// why and returns false. Record checksums are not checked (the loader takes
// hand-edited files so that saving repairs them); a warning names them.
bool CheckHexFile(const std::string& path, std::string& error, std::vector<std::string>& warnings);

}  // namespace vx::cli
