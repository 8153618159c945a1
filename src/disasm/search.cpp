#include <algorithm>
#include <fstream>

#include "app/session.h"
#include "app/shell.h"
#include "disasm/disasm.h"

namespace vx {

DisasmInput DisasmInputFromSession(const Session& s, const SearchCodes& codes) {
    DisasmInput input;
    // The device list shows "PIC16F84A"; the listing wants "16F84A".
    input.mcuId = s.device.name.size() > 3 ? s.device.name.substr(3) : "";
    const int words = std::clamp(s.device.programWords, 0, kProgramBytes / 2);
    input.words.reserve(static_cast<std::size_t>(words));
    for (int a = 0; a < words; ++a)
        input.words.push_back(s.buffer.program[2 * a] * 256 + s.buffer.program[2 * a + 1]);
    input.configWord = s.buffer.configWord;
    input.idText = s.view.idText;
    input.searchCodes = codes;
    return input;
}

bool WriteListingFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file)
        return false;
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    return !file.fail();
}

DisasmListing RunCore14Search(Session& s, const SearchCodes& codes, const DisasmProgress& progress) {
    DisasmListing listing = Core14_serch(DisasmInputFromSession(s, codes), progress);
    const std::string path = s.run.appDir + "dis_asm.asm";
    if (!WriteListingFile(path, listing.text))
        ShowNote(s, "red" + path + " に書き込めませんでした。");
    return listing;
}

std::optional<DisasmListing> ListProgramToFile(Session& s, const SearchCodes& codes, const std::string& path) {
    DisasmListing listing = Core14_serch(DisasmInputFromSession(s, codes));
    if (!WriteListingFile(path, listing.text))
        return std::nullopt;
    return listing;
}

}  // namespace vx
