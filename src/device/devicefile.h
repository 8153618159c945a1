// The text of device.ini as its readers see it: decoded to UTF-8 and cut
// into fields by the line-input rule of the original platform.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

bool IsValidUtf8(std::string_view bytes);

// UTF-8 text unchanged (a leading byte-order mark dropped), anything else
// decoded from Shift_JIS (CP932), as written by Windows installations.
// nullopt when the bytes are neither.
std::optional<std::string> DecodeDatabaseText(const std::string& bytes);

// Lines end at CR LF, LF or CR. In each line a comma ends a field, leading
// blanks are skipped, and a field that opens with a double quote runs to the
// closing quote (dropped; commas inside stay). An empty line is one empty field.
std::vector<std::string> SplitFields(std::string_view text);
// The same fields one by one, without copies; stops (false) when take does.
bool ForEachField(std::string_view text, const std::function<bool(std::string_view)>& take);

// Each tab becomes eight spaces.
std::string ExpandTabs(const std::string& text);

}  // namespace vx
