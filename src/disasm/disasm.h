// The 14-bit core listing "dis_asm.asm" and the search for addresses whose
// word can be programmed over with a given code without erasing.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vx {

struct Session;

constexpr int kSearchCodes = 4;
using SearchCodes = std::array<std::string, kSearchCodes>;

struct DisasmInput {
    std::string mcuId;       // device name without "PIC": "16F84A"
    std::vector<int> words;  // program memory, one entry per word of the device
    int configWord = 0;
    std::string idText;      // the ID box, used unchanged
    SearchCodes searchCodes; // the code boxes as typed; empty boxes take no part
};

struct DisasmListing {
    std::string text;         // the whole file, CR LF line ends
    int flagCount = 0;        // words that matched at least one code
    std::string countText;    // flagCount + the count message
    SearchCodes searchCodes;  // the code boxes upper-cased, to be written back
};

// Called while the listing runs: `label` with "0%", "10%", ... "100%" as the
// progress crosses whole tens; `processEvents` once per word.
struct DisasmProgress {
    std::function<void(const std::string&)> label;
    std::function<void()> processEvents;
};

DisasmListing Core14_serch(const DisasmInput& input, const DisasmProgress& progress = {});

// The session's device, program memory, configuration word and ID box.
DisasmInput DisasmInputFromSession(const Session& s, const SearchCodes& codes);

// "12" for the 12-bit core parts the search window refuses, else "14".
std::string CoreSelectFor(const std::string& mcuId);

// The search window's save: asks for a file (folder "SAVE_DIR_asm"), asks
// before overwriting, writes the shown text with CR LF line ends and
// remembers the folder. Cancelling either question changes nothing.
void SaveListingAs(Session& s, const std::string& text);

// The search window's run: lists the session's image into AppDir
// "dis_asm.asm"; a file that cannot be written is reported with a note.
DisasmListing RunCore14Search(Session& s, const SearchCodes& codes, const DisasmProgress& progress = {});

// The command line's run: lists into `path`; nullopt when it cannot be written.
std::optional<DisasmListing> ListProgramToFile(Session& s, const SearchCodes& codes, const std::string& path);

}  // namespace vx
