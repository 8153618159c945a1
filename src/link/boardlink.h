// The serial link to the programmer board: the port, what is known about the
// board, and the primitives every board operation talks through.
#pragma once

#include <string>

#include "app/seams.h"

namespace vx {

class BoardLink {
public:
    BoardLink(SerialPort& port, Clock& clock, Ui& ui) : port(port), clock(clock), ui(ui) {}

    // One letter, then the 1 ms pause the board firmware needs between bytes.
    void SendCommand(char letter);
    // Raw bytes; callers add the pause where the protocol asks for it.
    void SendBytes(const Bytes& bytes);
    void DiscardInput();
    int ReceivedCount();
    Bytes ReadAll();
    std::string ReadAllText();  // one character per byte

    // Waits until at least n bytes are waiting, letting pending events run.
    // Gives up when more than timeoutMs have passed since the start (strictly
    // greater, on the monotonic clock).
    bool WaitForBytes(int n, int timeoutMs);
    // For waits the protocol leaves without a limit: gives up only when no new
    // byte has arrived for idleMs, so a long read at 9600 baud still completes.
    bool WaitForBytesIdle(int n, int idleMs);

    int portNumber = 0;  // COM1..COM20, 0 = none chosen
    bool boardFound = false;
    std::string firmwareId;          // first 15 characters of the last identification
    std::string detectedFirmwareId;  // set only by DetectBoard on success
    bool commMode1 = false;          // RTS off when set
    bool rawReplies = false;         // replies taken as raw bytes rather than text

    SerialPort& port;
    Clock& clock;
    Ui& ui;
};

}  // namespace vx
