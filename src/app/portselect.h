// Choosing the COM port of the board (the port window frmOption) and the
// main window's commands around it. The window only shows PortWindowModel
// and calls these.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "link/comport.h"
#include "session/session.h"

namespace vx {

// One serial port that the system lists now.
struct SystemPortInfo {
    std::string device;  // the kernel's name: "/dev/ttyUSB0", "/dev/ttyS0"
    std::string byId;    // its stable "/dev/serial/by-id/…" name, "" when it has none
    bool usb = false;    // a USB adapter: the three texts below are its own
    std::string description;
    std::string manufacturer;
    std::string serialNumber;
};

// The platform's side of the port list, so the list logic runs on any data.
class PortLister {
public:
    virtual ~PortLister() = default;
    virtual std::vector<SystemPortInfo> ports() = 0;
};

// One row of the window's list.
struct PortChoice {
    std::string path;    // what a click maps: the stable name when there is one
    std::string device;  // the kernel's name ("sim" for the simulated board)
    std::string detail;  // description, maker and serial number of a USB adapter
};

// The listed ports, stable names preferred and kernel names in natural
// order (ttyS2 before ttyS10), then the built-in simulated board.
std::vector<PortChoice> PortChoices(const std::vector<SystemPortInfo>& ports);

// What the window holds while it is open. Nothing reaches the settings
// before a successful OK: CANCEL leaves every mapping as it was.
struct PortWindowModel {
    std::array<bool, kMaxComPort> selected{};   // Option_Com(0..19): COM1..COM20
    std::array<std::string, kMaxComPort> paths;  // device path of each COM number, as edited
    int chosen() const;                          // the selected COM number, 0 = none
    std::string chosenPath() const;              // "" when none is selected
    void setChosenPath(const std::string& path);  // typed or picked; ignored with none selected

    std::vector<PortChoice> choices;  // the list
    int portInUse = 0;  // the link's port number when the window opened: CANCEL goes back to it
    // The row of the chosen path (by either of its names), -1 when not listed.
    int listedRow() const;
};

// A click on a row: the chosen COM number (COM1 when none is) is mapped to it.
void ChooseListedPort(PortWindowModel& model, std::size_t row);

// The board search's exchange on the open port of the link: true when the
// second answer is our board's identification (firmwareId: what came).
bool BoardAnswers(Session& s, std::string& firmwareId);

// 自動検出: asks each listed port for the board's identification as the
// board search does, the simulated board last, and maps the chosen COM number
// (COM1 when none is) to the first one that answers; when only the simulated
// board answers, the text says that no real board was found. The port of the
// link is closed before and after. Returns the text the window shows.
std::string AutoDetectPort(Session& s, PortWindowModel& model);

// Load: clears the note, selects the button of the saved "ComNo", takes the
// saved device path of every COM number.
void PortWindowLoad(Session& s, PortWindowModel& model);
// OK: opens the chosen port. True when the window may close, the number and
// its device path stored; false after the error box (the window stays). A
// board found before counts as not found on a port that changed.
bool PortWindowOk(Session& s, const PortWindowModel& model);
// Esc on OK, and CANCEL: no setting changes, and the link is back on the
// port it used when the window opened (a refused OK had moved it), for the
// board search that follows to open again.
void PortWindowCancel(Session& s, const PortWindowModel& model);

// The device path a COM number stands for ("ComDevice<n>").
std::string PortDevicePath(const Session& s, int comNumber);
// confirm / Command_com: the port window, then the board search.
void PortSettingsCommand(Session& s);
// Command_OPEN: lets other programs use the port.
void ReleasePort(Session& s);

}  // namespace vx
