#include "boardjob.h"

#include <algorithm>

#include "fuzzsupport.h"
#include "ops/detect.h"

namespace vx::fuzz {

namespace {

std::vector<BoardDevice> LoadBoardDevices() {
    ShippedRig shipped;
    std::vector<BoardDevice> devices;
    for (const char* name : {"PIC16F84A", "PIC16F83", "PIC12F675", "PIC12C508", "PIC12C671", "PIC16C54",
                             "PIC16C55", "PIC16C620A", "PIC16F877"}) {
        shipped.select(name);
        BoardDevice d{shipped.s.device, shipped.s.buffer};
        const int blank = Traits(d.info.family).drivenCore().blankWord;
        for (int a = 0; a < 4; ++a) {
            const int word = (0x1234 + 0x0101 * a) & blank;
            d.image.program[static_cast<std::size_t>(2 * a)] = static_cast<std::uint8_t>(word >> 8);
            d.image.program[static_cast<std::size_t>(2 * a + 1)] = static_cast<std::uint8_t>(word & 0xFF);
        }
        if (d.info.eepromBytes > 1) {
            d.image.eeprom[1] = 0x12;
            d.image.eeprom[3] = 0x34;
        }
        devices.push_back(std::move(d));
    }
    return devices;
}

bool SameWords(const PcBuffer& a, const PcBuffer& b, int words) {
    return std::equal(a.program.begin(), a.program.begin() + 2 * words, b.program.begin());
}

}  // namespace

const std::vector<BoardDevice>& BoardDevices() {
    static const std::vector<BoardDevice> devices = LoadBoardDevices();
    return devices;
}

JobEnd RunJob(const Setup& setup, const Replier& replier) {
    const auto& devices = BoardDevices();
    const BoardDevice& d = devices[static_cast<std::size_t>(setup.device) % devices.size()];
    test::VirtualClock clock;
    test::MemorySettings settings;
    test::FakeUi ui;
    test::FakeProcesses processes;
    test::ScriptPort port(clock);
    Session s(port, settings, clock, ui, processes);
    s.run.appDir = "/nonexistent/vormex-fuzz/";  // the log line of a verdict goes nowhere
    s.device = d.info;
    s.buffer = d.image;
    s.view.menus["mnuBlankSkip"].checked = setup.skipBlank;
    s.link.portNumber = 1;
    s.link.commMode1 = setup.commMode1;
    ui.overwriteAnswers.assign(4, setup.overwrite ? 1 : 2);
    if (setup.boardFound) {
        port.open("/dev/ttyS0");
        s.link.boardFound = true;
        s.link.firmwareId = s.link.detectedFirmwareId = "TAVPIC-PGMV4.01";
    }

    JobEnd end;
    port.onWrite = [&](const Bytes& sent) {
        ++end.writes;
        replier(port, sent);
        auto hasEndCode = [](const Bytes& bytes) { return std::find(bytes.begin(), bytes.end(), 0x40) != bytes.end(); };
        end.answerAfterLastWrite = !port.inbox.empty() || !port.pending.empty();
        end.endCodeAfterLastWrite = hasEndCode(port.inbox) || std::any_of(port.pending.begin(), port.pending.end(),
                                                                          [&](const auto& p) { return hasEndCode(p.second); });
    };
    switch (setup.job) {
    case Job::Program: end.outcome = RunProgram(s); break;
    case Job::Read: end.outcome = RunRead(s); break;
    case Job::Verify: end.outcome = RunVerify(s); break;
    case Job::BlankCheck: end.outcome = RunBlankCheck(s); break;
    case Job::Erase: end.outcome = RunErase(s); break;
    case Job::Detect:
        DetectBoard(s);
        end.outcome = s.link.boardFound ? Outcome::Passed : Outcome::NoBoard;
        break;
    case Job::Check: end.outcome = CheckBoard(s) == BoardCheck::Ready ? Outcome::Passed : Outcome::NoBoard; break;
    }
    end.linkFault = s.ops.linkFault;
    end.device = d.info.name;
    end.note = s.view.note;
    if (!ui.boxes.empty())
        end.box = ui.boxes.back().text;
    const int words = d.info.programWords;
    const bool eepromKept = s.buffer.eeprom == d.image.eeprom;
    end.programKept = eepromKept && SameWords(s.buffer, d.image, words - 1);
    end.imageKept = end.programKept && SameWords(s.buffer, d.image, words) && s.buffer.configArea == d.image.configArea;
    port.onWrite = nullptr;
    return end;
}

Replier ReplyFromScript(Script& script) {
    return [&script](test::ScriptPort& port, const Bytes&) {
        const Chunk c = script.next();
        if (c.kind == Chunk::Kind::HangUp) {
            port.hangUp();
        } else if (c.kind == Chunk::Kind::Reply && !c.bytes.empty()) {
            // Byte by byte for the short answers the handshakes judge; a long
            // reply in up to 16 pieces, so the port's list of pending bytes
            // stays short.
            const std::size_t n = c.bytes.size();
            const std::size_t piece = n <= 64 ? 1 : (n + 15) / 16;
            for (std::size_t i = 0, k = 0; i < n; i += piece, ++k)
                port.deliverAt(port.clock.now + c.delayMs + c.gapMs * static_cast<std::int64_t>(k),
                               Bytes(c.bytes.begin() + i, c.bytes.begin() + std::min(n, i + piece)));
        }
    };
}

}  // namespace vx::fuzz
