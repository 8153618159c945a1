// Intel HEX load and save.
#pragma once

#include <string>

#include "app/session.h"

namespace vx {

// Asks for a file (unless loader.skipHexDialog) and loads loader.hexPath.
void LoadHexFile(Session& s);
void LoadHexFromFolder(Session& s, const std::string& folder);
void SaveHexFile(Session& s);
std::string AppendHexChecksum(const std::string& line);

}  // namespace vx
