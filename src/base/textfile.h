// Whole-file reads for the HEX loader.
#pragma once

#include <string>
#include <vector>

namespace vx {

// Whole lines, without their CR LF, LF or CR.
std::vector<std::string> SplitLines(const std::string& content);

// Reads a whole file; false when it cannot be opened (a folder cannot).
bool ReadWholeFile(const std::string& path, std::string& content);

}  // namespace vx
