// One program run: the seams and every program-wide record. The front end
// creates one and passes it by reference; tests create as many as they like.
#pragma once

#include "base/seams.h"
#include "link/boardlink.h"
#include "session/configgrid.h"
#include "session/deviceinfo.h"
#include "session/loaderstate.h"
#include "session/mainview.h"
#include "session/opsstate.h"
#include "session/pcbuffer.h"
#include "session/runstate.h"

namespace vx {

struct Session {
    Session(SerialPort& port, SettingsStore& settings, Clock& clock, Ui& ui, Processes& processes)
        : settings(settings), clock(clock), ui(ui), processes(processes), link(port, clock, ui) {}
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    SettingsStore& settings;
    Clock& clock;
    Ui& ui;
    Processes& processes;

    RunState run;
    MainView view;
    DeviceDatabase db;
    DeviceInfo device;
    PcBuffer buffer;
    ConfigGrid grid;
    LoaderState loader;
    BoardLink link;
    OpsState ops;  // registers of the board operations
};

}  // namespace vx
