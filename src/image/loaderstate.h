#pragma once

#include <string>

namespace vx {

// The HEX loader's program-wide state.
struct LoaderState {
    std::string hexPath;               // HexPath: file loaded last ("" = none)
    bool skipHexDialog = false;        // SkipHexDialog: load hexPath without asking
    bool deviceChangeSuppressed = false;  // DeviceChangeSuppressed
};

}  // namespace vx
