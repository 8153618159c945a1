// The commands of vormex-cli over one session.
#pragma once

#include "cli/boardport.h"
#include "cli/cliui.h"
#include "cli/options.h"
#include "serialization/station.h"
#include "session/session.h"

#include <memory>

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

// Production runs: the serial command, the check of --serial's STATEFILE
// before the board is touched, and Program with the run's next number.
int SerialCommand(Context& c);
// report STATEFILE [--format F] [-o FILE]: the run's report from its store.
int ReportCommand(Context& c);
// The device of --device selected; kExitOk or why not (said).
int SelectCliDevice(Context& c);
int CheckSerialRun(Context& c);
// Program's hook of a station: the simulated chip is kept as soon as it
// passed, before the run records its number, as a real chip holds it.
struct SerialHook : ProgramHook {
    SerialHook(Context& c, std::unique_ptr<SerialStation> station) : c(c), station(std::move(station)) {}
    bool reserve(Session& s) override;
    bool place(Session& s) override;
    void finish(Session& s, Outcome outcome) override;
    std::vector<std::size_t> placedEepromBytes() const override { return station->placedEepromBytes(); }
    std::string placedNumber() const override { return station->placedNumber(); }
    Context& c;
    std::unique_ptr<SerialStation> station;
};
// Installs the station as Program's hook; after the run, SerialExitStatus
// takes it out again and gives the exit status (2 when the run refused, 6
// when the chip passed but the run could not record its number).
std::unique_ptr<SerialHook> StartSerialStation(Context& c);
int SerialExitStatus(Context& c, SerialHook& hook, int status);

// doctor [--port PORT] [--root DIR]: exit 1 when a finding stands in the way of the board.
int DoctorCommand(Context& c);

}  // namespace vx::cli
