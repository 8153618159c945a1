// Built twice: into vormex-cli without the hook, and into the tests' own
// vormex-cli-faults with it (VORMEX_STORE_FAULT_HOOK), for the tests that
// kill stations at each of the store's write points.
#include <cstdlib>

#include "cli/commands.h"

namespace vx::cli {

StoreFaults StationStoreFaults() {
#ifdef VORMEX_STORE_FAULT_HOOK
    const char* faults = std::getenv("VORMEX_STORE_FAULT");
    return ParseStoreFaults(faults ? faults : "").value_or(StoreFaults{});
#else
    return {};
#endif
}

}  // namespace vx::cli
