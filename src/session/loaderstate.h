#pragma once

#include <string>

namespace vx {

// The HEX loader's program-wide state.
struct LoaderState {
    std::string hexPath;               // HexPath: file to load or build, chosen last
    // The file loaded last, named in the log: Save As and the build's source
    // choice change hexPath without loading anything.
    std::string loadedPath;
    bool skipHexDialog = false;        // SkipHexDialog: load hexPath without asking
    int loads = 0;                     // HEX files loaded so far: a new one is a new count
    bool deviceChangeSuppressed = false;  // DeviceChangeSuppressed
};

}  // namespace vx
