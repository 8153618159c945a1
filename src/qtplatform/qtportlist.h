// The serial ports that exist now, from Qt's list and /dev/serial/by-id.
#pragma once

#include <QString>

#include "app/portselect.h"

namespace vx {

class QtPortLister : public PortLister {
public:
    std::vector<SystemPortInfo> ports() override;

    // The folder of the stable names (udev's links to the devices).
    QString byIdFolder = "/dev/serial/by-id";
};

}  // namespace vx
