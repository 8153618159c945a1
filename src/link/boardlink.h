// The serial link to the programmer board.
#pragma once

#include <string>

#include "app/seams.h"

namespace vx {

class BoardLink {
public:
    BoardLink(SerialPort& port, Clock& clock, Ui& ui) : port(port), clock(clock), ui(ui) {}

    int portNumber = 0;  // COM1..COM20, 0 = none chosen
    bool boardFound = false;
    std::string firmwareId;          // first 15 characters of the last identification
    std::string detectedFirmwareId;  // set only by DetectBoard on success
    bool commMode1 = false;          // RTS off when set

    SerialPort& port;
    Clock& clock;
    Ui& ui;
};

}  // namespace vx
