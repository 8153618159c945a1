// Where an installed program finds the files it ships.
#pragma once

#include <QString>

namespace vx {

// <prefix>/share/vormex/ beside the executable's <prefix>/bin, ending in '/':
// device.ini, hint.pdf and manual/ as installed. "" when there is no such folder
// (a build tree or a portable folder).
QString ShippedDataDir();

}  // namespace vx
