// What the system says about its serial ports and about who may use them,
// read from the files below one root folder: "/" on a running system, a small
// copy of its files in tests. Read are sysfs (/sys/class/tty and the USB
// devices above each port), /dev (the nodes and /dev/serial/by-id), /proc
// (this process's user and groups, every process's open files and command),
// /etc/passwd, /etc/group and the udev rules. Nothing here changes the system.
//
// A file that is needed but cannot be read is named in `unreadable` (by its
// path on the system, without the root); nothing is guessed in its place.
// The open files of processes this user may not look into are not counted:
// a running system always has some.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vx {

struct SerialPortFacts {
    std::string name;    // the kernel's name: "ttyUSB0"
    std::string byId;    // "/dev/serial/by-id/…" that leads to it, "" none
    std::string driver;  // "ftdi_sio", "ch341", "cp210x", "pl2303", "cdc_acm", "serial8250"; "" unknown
    // The USB device the port belongs to, as sysfs writes its ids ("1a86",
    // "7523"); empty for a port that is not on USB.
    std::string vendorId, productId, product;
    std::optional<int> latencyTimerMs;  // ftdi_sio: the adapter's latency timer
    // Of the node /dev/<name>, when it could be read.
    bool nodeRead = false;
    unsigned ownerUid = 0, ownerGid = 0, mode = 0;  // mode: the permission bits

    std::string path() const { return "/dev/" + name; }
    bool usb() const { return !vendorId.empty(); }
};

struct GroupEntry {
    std::string name;
    unsigned gid = 0;
    std::vector<std::string> members;
};

// The user this process runs as, and the groups its login session has now.
struct UserFacts {
    bool known = false;  // /proc/self/status was read
    unsigned uid = 0;
    std::string name;                  // from /etc/passwd; "" when it has no line
    std::optional<unsigned> loginGid;  // the primary group /etc/passwd gives
    std::vector<unsigned> sessionGids;  // the process's group and supplementary groups
};

struct ProcessFacts {
    int pid = 0;
    std::string command;                // /proc/<pid>/comm
    std::vector<std::string> openDevices;  // the /dev paths among its open files
};

struct UdevRulesFile {
    std::string path;  // as udev finds it: /etc/udev/rules.d/… before /usr/lib/udev/rules.d/…
    std::vector<std::string> lines;
};

struct PortSystem {
    std::vector<SerialPortFacts> ports;  // in name order; phantom 8250 ports (type 0) left out
    std::vector<GroupEntry> groups;      // /etc/group
    UserFacts user;
    std::vector<ProcessFacts> processes;  // those that have a device open, and ModemManager
    int ownPid = 0;                       // this process (/proc/self), 0 unknown
    bool brlttyInstalled = false;
    std::vector<UdevRulesFile> udevRules;  // the files in force, a name in /etc hiding the same in /usr/lib
    std::vector<std::string> unreadable;
};

PortSystem ReadPortSystem(const std::string& root);

// The group entry of gid, nullptr when /etc/group has none.
const GroupEntry* FindGroup(const PortSystem& system, unsigned gid);

// A udev rule line that names the USB adapter vendor:product, in either form
// the rules use: ATTRS{idVendor}=="0403" with ATTRS{idProduct}=="6001", or
// ENV{PRODUCT}=="403/6001/*" (hexadecimal without leading zeros).
bool RuleNamesAdapter(const std::string& line, const std::string& vendorId, const std::string& productId);

}  // namespace vx
