#include <algorithm>
#include <filesystem>

#include "base/convert.h"
#include "base/settings.h"
#include "base/textfile.h"
#include "disasm/disasm.h"
#include "session/session.h"
#include "session/status.h"

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

DisasmListing RunCore14Search(Session& s, const SearchCodes& codes, const DisasmProgress& progress) {
    DisasmListing listing = Core14_serch(DisasmInputFromSession(s, codes), progress);
    const std::string path = s.run.appDir + "dis_asm.asm";
    std::string error;
    if (!WriteFileAtomically(path, listing.text, error))
        ShowNote(s, Tone::Alert, path + " に書き込めませんでした。 " + error);
    return listing;
}

std::optional<DisasmListing> ListProgramToFile(Session& s, const SearchCodes& codes, const std::string& path) {
    DisasmListing listing = Core14_serch(DisasmInputFromSession(s, codes));
    std::string error;
    if (!WriteFileAtomically(path, listing.text, error))
        return std::nullopt;
    return listing;
}

std::string CoreSelectFor(const std::string& mcuId) {
    const auto starts = [&mcuId](std::initializer_list<const char*> names) {
        return std::any_of(names.begin(), names.end(),
                           [&mcuId](const char* name) { return mcuId.rfind(name, 0) == 0; });
    };
    if (starts({"16C54", "16C55", "16C56", "16C57", "12C508", "12C509", "16C505", "12CE519", "12CE518"}))
        return "12";
    return "14";
}

void SaveListingAs(Session& s, const std::string& text) {
    FileDialogRequest request;
    request.startDir = SettingText(s.settings, "SAVE_DIR_asm", "");
    request.filter = "全てのファイル|*.*|";
    auto chosen = s.ui.saveFileDialog(request);
    if (!chosen || chosen->empty())
        return;
    std::filesystem::path path(*chosen);
    if (!path.has_extension())  // the dialog's default extension
        path += ".asm";
    const std::string file = path.string();
    if (FileExists(file) &&
        s.ui.messageBox(MsgIcon::Question, "上書き保存", "ファイルが存在します。上書きしますか？",
                        MsgButtons::OkCancel) != MsgAnswer::Ok)
        return;

    std::string crlf;
    crlf.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            crlf += '\r';
        crlf += text[i];
    }
    std::string error;
    if (!WriteFileAtomically(file, crlf, error)) {
        ShowNote(s, Tone::Alert, file + " に保存できませんでした。 " + error);
        return;
    }
    s.settings.setValue("SAVE_DIR_asm", FolderOf(file));
}

}  // namespace vx
