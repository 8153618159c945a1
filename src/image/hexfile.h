// Intel HEX load and save.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "session/session.h"

namespace vx {

// Asks for a file (unless loader.skipHexDialog) and loads loader.hexPath.
// Reloaders preset loader.hexPath, set skipHexDialog, call this, clear it.
void LoadHexFile(Session& s);
// The recent-folder entries: always asks, starting in `folder`.
void LoadHexFromFolder(Session& s, const std::string& folder);

// What DecodeHexText found besides the records it applied.
struct HexTextReport {
    std::vector<int> skippedLines;  // lines that are not records, numbered from 1
    int firstShortLine = 0;         // first data record shorter than its byte count; 0 = none
};

// The loader's work between the cleared buffer and the refreshed displays,
// on text in memory: every record into `buffer` for `device`, then the ID
// words and the configuration word finished. fromFolder: the rules of the
// recent-folder entries.
HexTextReport DecodeHexText(const DeviceInfo& device, std::string_view text, PcBuffer& buffer, bool fromFolder);

// Asks for a file name and saves the whole buffer of the selected device.
void SaveHexFile(Session& s);
std::string AppendHexChecksum(const std::string& line);

// The records SaveHexFile writes, each line ending in CR LF.
std::string BuildHexText(const Session& s);
// Writes BuildHexText to path through a temporary file in the same folder
// renamed over it, so a failed save leaves any old file as it was; a
// symbolic link is written through to its target. On failure returns false
// with the reason in error.
bool WriteHexFile(const Session& s, const std::string& path, std::string& error);
bool WriteFileAtomically(const std::string& path, const std::string& content, std::string& error);

// The path without its last component and the separator before it.
std::string FolderOf(const std::string& path);

}  // namespace vx
