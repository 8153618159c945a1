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
    HexContents contents;
};

// The loader's work between the cleared buffer and the refreshed displays,
// on text in memory: every record into `buffer` for `device`, then the ID
// words and the configuration word finished. fromFolder: the rules of the
// recent-folder entries.
HexTextReport DecodeHexText(const DeviceInfo& device, std::string_view text, PcBuffer& buffer, bool fromFolder);

// The items of the file summary, in the order shown: program words used of
// the device's, the configuration word (or that the chip gets the grid's
// configWord), ID words, EEPROM bytes, records outside the device.
std::vector<std::string> HexContentItems(const HexContents& contents, const DeviceInfo& device, int configWord);
// The window's one-line file summary, red when the file is suspect.
void ShowHexContents(Session& s, const HexContents& contents);

// Asks for a file name and saves the whole buffer of the selected device.
void SaveHexFile(Session& s);
std::string AppendHexChecksum(const std::string& line);

// The records SaveHexFile writes, each line ending in CR LF.
std::string BuildHexText(const Session& s);
// Writes BuildHexText to path with WriteFileAtomically: a failed save leaves
// any old file as it was. On failure returns false with the reason in error.
bool WriteHexFile(const Session& s, const std::string& path, std::string& error);

}  // namespace vx
