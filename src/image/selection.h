#pragma once

#include "session/session.h"

namespace vx {

// The selection handler of Combo_device: makes view.deviceList[view.deviceIndex]
// the current device.
void SelectDevice(Session& s);

// Code that sets the list index runs the handler, as the list control does.
// An index outside the list leaves no device selected.
void SelectDeviceIndex(Session& s, int index);

}  // namespace vx
