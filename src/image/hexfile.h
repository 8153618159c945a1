// Intel HEX load and save.
#pragma once

#include <string>

#include "app/session.h"

namespace vx {

// Asks for a file (unless loader.skipHexDialog) and loads loader.hexPath.
// Reloaders preset loader.hexPath, set skipHexDialog, call this, clear it.
void LoadHexFile(Session& s);
// The recent-folder entries: always asks, starting in `folder`.
void LoadHexFromFolder(Session& s, const std::string& folder);

// Asks for a file name and saves the whole buffer of the selected device.
void SaveHexFile(Session& s);
std::string AppendHexChecksum(const std::string& line);

// The records SaveHexFile writes, each line ending in CR LF.
std::string BuildHexText(const Session& s);
// Writes BuildHexText to path through a temporary file in the same folder
// renamed over it, so a failed save leaves any old file as it was. On
// failure returns false with the reason in error.
bool WriteHexFile(const Session& s, const std::string& path, std::string& error);
bool WriteFileAtomically(const std::string& path, const std::string& content, std::string& error);

// The path without its last component and the separator before it.
std::string FolderOf(const std::string& path);

}  // namespace vx
