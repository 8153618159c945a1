// What the fuzz targets share: a Session over the test fakes with the shipped
// database, and a way to fail loudly from an oracle.
#pragma once

#include <string>

#include "support/fakes.h"

namespace vx::fuzz {

// Stops the run with a report libFuzzer keeps as a crash (the input is saved).
[[noreturn]] void Fail(const std::string& what);

// The shipped data/device.ini as bytes.
const std::string& ShippedDatabase();

// A session over the shipped database in its AppDir, its device list read.
struct ShippedRig {
    ShippedRig();
    test::TestRig rig;
    Session& s;
    // Selects the named device as the device list does (entry read, buffer
    // cleared); Fail() when it is not listed.
    void select(const std::string& name);
};

}  // namespace vx::fuzz
