// The serial link to the programmer board: the port, what is known about the
// board, and the primitives every board operation talks through.
#pragma once

#include <optional>
#include <string>

#include "base/seams.h"
#include "link/protocol.h"

namespace vx {

class BoardLink {
public:
    BoardLink(SerialPort& port, Clock& clock, Ui& ui) : port(port), clock(clock), ui(ui) {}

    PortOpenResult Open(const std::string& devicePath);
    // Our own close ("解放", exit): the board stays known, only the port goes.
    void Close();
    bool IsOpen() const { return port.isOpen(); }
    // True once the port we opened has closed without us: the far side hung
    // up (adapter pulled, terminal closed). The board is then no longer known,
    // so the next command searches and reports it with the board's own texts.
    bool HungUp();

    // One letter, then the 1 ms pause the board firmware needs between bytes.
    void SendCommand(char letter);
    // Raw bytes; callers add the pause where the protocol asks for it.
    void SendBytes(const Bytes& bytes);
    // A word count as two one-byte writes, high byte first, 1 ms after each.
    void SendCount(int count);
    void Pause(int ms) { clock.sleepMs(ms); }
    void DiscardInput();
    int ReceivedCount();
    Bytes ReadAll();
    // One character per byte: ASCII as is, other bytes as the Latin-1
    // character of that value, so a garbled reply still shows as valid text.
    std::string ReadAllText();
    static std::string BytesAsText(const Bytes& bytes);

    // Waits until at least n bytes are waiting, letting pending events run.
    // Gives up when more than timeoutMs have passed since the start (strictly
    // greater, on the monotonic clock). Every wait ends at once, false, on a
    // closed port: nothing can come any more.
    bool WaitForBytes(int n, int timeoutMs);
    // For waits the protocol leaves without a limit: gives up only when no new
    // byte has arrived for more than idleMs, so a long read at 9600 baud still
    // completes. Until the first new byte the limit is firstByteMs when that
    // is longer (the board works before it answers).
    bool WaitForBytesIdle(int n, int idleMs, int firstByteMs = 0);
    // The answer to one step of a per-word handshake: its first byte within
    // timeoutMs, then, while the bytes so far could be the start of `longer`,
    // the rest until the line has been quiet for protocol::kQuietMs (for
    // protocol::kRefusalQuietMs after the lead byte of a refusal). Takes
    // the answer; nullopt when nothing came.
    std::optional<Bytes> ReceiveAnswer(int timeoutMs, protocol::LongAnswer longer);

    int portNumber = 0;  // COM1..COM20, 0 = none chosen
    bool boardFound = false;
    std::string firmwareId;          // first 15 characters of the last identification
    std::string detectedFirmwareId;  // set only by DetectBoard on success
    bool commMode1 = false;          // RTS off when set
    bool rawReplies = false;         // replies taken as raw bytes rather than text

    SerialPort& port;
    Clock& clock;
    Ui& ui;

private:
    // Longest single wait on the port, so the window repaints while a silent
    // board runs out its time-out.
    static constexpr int kEventSliceMs = 50;
    void WaitSlice(std::int64_t remainingMs);
    // A time-out is judged only after one more look at the port: a process
    // the system did not run for a while finds the board's bytes waiting
    // unread, and a board that answered is never given up on.
    bool LastLook(int n);
    bool opened_ = false;  // opened by us and not closed by us since
};

}  // namespace vx
