// Writes the board target's seeds: every job on every device of the target,
// answered by the simulated board and recorded in the target's input format.
//   build-fuzz/fuzz/board_seeds fuzz/corpus/board
#include <cstdio>
#include <limits>
#include <string>

#include "boardjob.h"
#include "sim/simboard.h"
#include "support/fakes.h"

using namespace vx;
using namespace vx::fuzz;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: board_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    const auto& devices = BoardDevices();
    for (std::size_t i = 0; i < devices.size(); ++i) {
        // One chip per device for the whole sequence: programmed, then verified and read.
        SimBoard board(SimChip::ForDevice(devices[i].info));
        auto record = [&](Setup setup, const std::string& name) {
            setup.device = static_cast<int>(i);
            std::string input = EncodeSetup(setup);
            const JobEnd recorded = RunJob(setup, [&](test::ScriptPort& port, const Bytes& sent) {
                Bytes reply;
                board.onReply = [&reply](const SimCommand&, std::vector<std::uint8_t>& bytes,
                                         std::vector<std::int64_t>& delays) {
                    reply.insert(reply.end(), bytes.begin(), bytes.end());
                    delays.assign(bytes.size(), 0);
                };
                for (const std::uint8_t byte : sent)
                    board.receive(byte, port.clock.now * 1000);
                board.takeReady(std::numeric_limits<std::int64_t>::max());
                input += EncodeChunk(reply);
                if (!reply.empty())
                    port.deliverAt(port.clock.now, reply);
            });
            const std::string file = name + "-" + devices[i].info.name + ".bin";
            test::WriteFileBytes(folder + file, input);
            // The seed must replay the conversation it recorded.
            Script script(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
            const JobEnd replayed = RunJob(script.setup(), ReplyFromScript(script));
            std::printf("%-28s %d writes, outcome %d%s\n", file.c_str(), recorded.writes,
                        static_cast<int>(recorded.outcome),
                        replayed.outcome == recorded.outcome && replayed.writes == recorded.writes ? ""
                                                                                                  : "  REPLAY DIFFERS");
        };
        record({Job::Detect}, "detect");
        record({Job::Check}, "check");
        record({Job::BlankCheck}, "blank");
        record({Job::Program}, "program");
        record({Job::Verify}, "verify");
        record({Job::Read}, "read");
        record({Job::BlankCheck}, "blank-written");
        Setup again{Job::Program};
        again.overwrite = true;
        record(again, "program-again");
        Setup skip{Job::Program};
        skip.skipBlank = true;
        record(skip, "program-skip");
        record({Job::Erase}, "erase");
    }
    return 0;
}
