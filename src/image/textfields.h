// Reading text files the way the HEX loader does: a field ends at a comma or
// at the end of a line (CR LF, LF or CR), leading blanks are skipped, and a
// field that begins with a double quote runs to the closing quote.
#pragma once

#include <string>
#include <vector>

namespace vx {

std::vector<std::string> ReadTextFields(const std::string& content);

// Whole lines, without their CR LF, LF or CR.
std::vector<std::string> SplitLines(const std::string& content);

// Reads a whole file; false when it cannot be opened (a folder cannot).
bool ReadWholeFile(const std::string& path, std::string& content);

}  // namespace vx
