// Choosing the COM port of the board (the port window frmOption) and the
// main window's commands around it. The window only shows PortWindowModel
// and calls these.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "app/session.h"
#include "link/comport.h"

namespace vx {

// What the window holds while it is open. Nothing reaches the settings
// before a successful OK: CANCEL leaves every mapping as it was.
struct PortWindowModel {
    std::array<bool, kMaxComPort> selected{};   // Option_Com(0..19): COM1..COM20
    std::array<std::string, kMaxComPort> paths;  // device path of each COM number, as edited
    int chosen() const;                          // the selected COM number, 0 = none
    std::string chosenPath() const;              // "" when none is selected
    void setChosenPath(const std::string& path);  // typed or picked; ignored with none selected
};

// Load: clears the note, selects the button of the saved "ComNo", takes the
// saved device path of every COM number.
void PortWindowLoad(Session& s, PortWindowModel& model);
// OK: opens the chosen port. True when the window may close, the number and
// its device path stored; false after the error box (the window stays).
bool PortWindowOk(Session& s, const PortWindowModel& model);
// Esc on OK, and CANCEL: the port is not touched.
void PortWindowCancel(Session& s);

// The device path a COM number stands for ("ComDevice<n>").
std::string PortDevicePath(const Session& s, int comNumber);
// What the window offers to pick from: the system's ports, then "sim".
std::vector<std::string> PortDeviceChoices(const std::vector<std::string>& systemPorts);

// confirm / Command_com: the port window, then the board search.
void PortSettingsCommand(Session& s);
// Command_OPEN: lets other programs use the port.
void ReleasePort(Session& s);

}  // namespace vx
