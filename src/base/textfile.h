// Whole-file reads and writes, the folder of a path, and the end of a text
// cut at a length.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vx {

// Whole lines, without their CR LF, LF or CR.
std::vector<std::string> SplitLines(const std::string& content);

// Reads a whole file; false when it cannot be opened (a folder cannot).
bool ReadWholeFile(const std::string& path, std::string& content);
// The file's first line without its LF; "" when it cannot be read.
std::string FirstLineOf(const std::string& path);

// Writes content to path through a temporary file in the same folder renamed
// over it, so a failed write leaves any old file as it was; a symbolic link
// is written through to its target. On failure returns false with the reason
// in error.
bool WriteFileAtomically(const std::string& path, const std::string& content, std::string& error);

// The path without its last component and the separator before it.
std::string FolderOf(const std::string& path);

// The first bytes of a longer file, cut where no character is split: the
// length without a UTF-8 sequence or a Shift_JIS double-byte character that
// the cut left incomplete. Bytes that are no such start are left alone (the
// decoder judges them).
std::size_t Utf8CutLength(std::string_view head);
std::size_t ShiftJisCutLength(std::string_view head);

}  // namespace vx
