// What the status labels say about themselves when clicked.
#pragma once

#include "app/session.h"

namespace vx {

void FirmwareLabelClicked(Session& s);  // Label_FirmwareVersion
void VerLabelClicked(Session& s);       // Label_Ver
void ChecksumLabelClicked(Session& s);  // LblCheckSUM

}  // namespace vx
