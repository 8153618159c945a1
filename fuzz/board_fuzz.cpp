// A hostile board: every reply, and when its bytes arrive, comes from the
// input (boardscript.h), on a virtual clock, for every workflow and the board
// detection. Oracles besides the sanitizers and libFuzzer's time-out: nothing
// passes that the board did not answer, with an end code, after the PC's
// last command; a passed job never has a link fault; only Read and Program
// may change the image, and Program only the calibration word and the
// configuration area.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "boardjob.h"
#include "fuzzsupport.h"

using namespace vx;
using namespace vx::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Script script(data, size);
    const Setup setup = script.setup();
    const JobEnd end = RunJob(setup, ReplyFromScript(script));

    const bool workflow = setup.job != Job::Detect && setup.job != Job::Check;
    if (std::getenv("VORMEX_FUZZ_VERBOSE"))
        std::fprintf(stderr, "job %d on %s: outcome %d after %d writes, note: %s\nbox: %s\n",
                     static_cast<int>(setup.job), end.device.c_str(), static_cast<int>(end.outcome), end.writes,
                     end.note.c_str(), end.box.c_str());
    // A board found before is not asked again by the detection.
    const bool conversation = !(setup.job == Job::Detect && setup.boardFound);
    if (end.outcome == Outcome::Passed) {
        if (end.linkFault)
            Fail("passed with a link fault");
        if (!conversation)
            return 0;
        if (!end.answerAfterLastWrite)
            Fail("passed without an answer to the last command");
        if (workflow && !end.endCodeAfterLastWrite)
            Fail("passed although the last answer has no end code");
    }
    if (setup.job == Job::Program ? !end.programKept : setup.job != Job::Read && !end.imageKept)
        Fail("the image in the PC changed");
    return 0;
}
