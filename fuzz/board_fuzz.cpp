// A hostile board: every reply, and when its bytes arrive, comes from the
// input (boardscript.h), on a virtual clock, for every workflow and the board
// detection. Oracles besides the sanitizers and libFuzzer's time-out: nothing
// passes that the board did not answer, with an end code, after the PC's
// last command; a passed job never has a link fault; only Read and Program
// may change the image, and Program only the calibration word and the
// configuration area.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "boardjob.h"
#include "fuzzsupport.h"

using namespace vx;
using namespace vx::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Script script(data, size);
    const Setup setup = script.setup();
    const JobEnd end = RunJob(setup, [&script](test::ScriptPort& port, const Bytes&) {
        const Chunk c = script.next();
        if (c.kind == Chunk::Kind::HangUp) {
            port.hangUp();
        } else if (c.kind == Chunk::Kind::Reply && !c.bytes.empty()) {
            // Byte by byte while the pending list stays short; a long reply at one time.
            if (c.gapMs == 0 || c.bytes.size() > 512)
                port.deliverIn(c.delayMs, std::string(c.bytes.begin(), c.bytes.end()));
            else
                port.deliverBytes(c.bytes, c.delayMs, c.gapMs);
        }
    });

    const bool workflow = setup.job != Job::Detect && setup.job != Job::Check;
    if (end.outcome == Outcome::Passed) {
        if (end.linkFault)
            Fail("passed with a link fault");
        if (end.afterLastWrite.empty())
            Fail("passed without an answer to the last command");
        if (workflow && std::find(end.afterLastWrite.begin(), end.afterLastWrite.end(), 0x40) ==
                            end.afterLastWrite.end())
            Fail("passed although the last answer has no end code");
    }
    if (setup.job == Job::Program ? !end.programKept : setup.job != Job::Read && !end.imageKept)
        Fail("the image in the PC changed");
    return 0;
}
