#include "device/selection.h"

namespace vx {

// Placeholder until device selection lands.
void SelectDevice(Session&) {}

void SelectDeviceIndex(Session& s, int index) {
    if (index < 0 || index >= static_cast<int>(s.view.deviceList.size()))
        return;
    s.view.deviceIndex = index;
    SelectDevice(s);
}

}  // namespace vx
