// The configuration grid's operations.
#pragma once

#include "app/session.h"

namespace vx {

void InitSettingGrid(Session& s);
void RefreshGridFromConfig(Session& s);
void ConfigFromGrid(Session& s);

}  // namespace vx
