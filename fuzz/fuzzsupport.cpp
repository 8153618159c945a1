#include "fuzzsupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "device/devicedb.h"
#include "image/selection.h"

namespace vx::fuzz {

void Fail(const std::string& what) {
    std::fprintf(stderr, "oracle: %s\n", what.c_str());
    std::abort();
}

const std::string& ShippedDatabase() {
    static const std::string bytes = test::ReadFileBytes(test::SourcePath("data/device.ini"));
    return bytes;
}

ShippedRig::ShippedRig() : s(*rig.session) {
    test::WriteFileBytes(rig.dir + "device.ini", ShippedDatabase());
    if (!LoadDeviceList(s))
        Fail("the shipped device.ini does not load");
}

void ShippedRig::select(const std::string& name) {
    const auto& list = s.view.deviceList;
    const auto it = std::find(list.begin(), list.end(), name);
    if (it == list.end())
        Fail(name + " is not in the shipped device.ini");
    SelectDeviceIndex(s, static_cast<int>(it - list.begin()));
    if (s.device.name != name || s.db.error)
        Fail(name + " cannot be selected");
}

}  // namespace vx::fuzz
