// Read (Command_read) in the window: the image becomes the chip's, so the
// summary of the file loaded before no longer describes it.
#pragma once

#include "ops/workflows.h"
#include "session/session.h"

namespace vx {

// RunRead, then the file summary cleared unless Read stopped before the chip
// was touched (busy, no device, no board).
Outcome ReadChipIntoImage(Session& s);

}  // namespace vx
