#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "app/settings.h"
#include "app/shell.h"
#include "image/convert.h"
#include "image/grid.h"
#include "image/hexfile.h"
#include "image/pcbufferops.h"

namespace vx {

namespace {

std::string hexByte(int value) { return HexText(static_cast<std::uint32_t>(value & 0xFF), 2); }

void appendRecord(std::string& out, const std::string& record) {
    out += AppendHexChecksum(record);
    out += "\r\n";
}

// Eight bytes a record, each written as its value and 00: one word per byte.
void appendEepromImage(std::string& out, const Session& s, int base) {
    const int bytes = BufferEepromBytes(s.device);
    for (int n = 0; n + 8 <= bytes; n += 8) {
        std::string record = ":10" + HexText(static_cast<std::uint32_t>(base + 2 * n), 4) + "00";
        for (int i = n; i < n + 8; ++i)
            record += hexByte(s.buffer.eeprom[static_cast<std::size_t>(2 * i + 1)]) + "00";
        appendRecord(out, record);
    }
}

bool hasExtension(const std::string& path) {
    const auto name = path.substr(path.find_last_of('/') + 1);
    return name.find('.') != std::string::npos;
}

std::string errnoText() { return std::strerror(errno); }

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

}  // namespace

std::string AppendHexChecksum(const std::string& line) {
    int sum = 0;
    for (std::size_t i = 1; i < line.size(); i += 2)
        sum += HexDigitValue(line[i]) * 16 + (i + 1 < line.size() ? HexDigitValue(line[i + 1]) : 0);
    return line + hexByte(-sum);
}

std::string BuildHexText(const Session& s) {
    const auto& b = s.buffer;
    std::string out;
    const int words = BufferProgramWords(s.device);
    out.reserve(static_cast<std::size_t>(words) * 6 + 4096);
    // A last group of fewer than eight words is not written.
    for (int a = 0; a + 8 <= words; a += 8) {
        std::string record = ":10" + HexText(static_cast<std::uint32_t>(2 * a), 4) + "00";
        for (int i = a; i < a + 8; ++i)
            record += hexByte(b.program[static_cast<std::size_t>(2 * i + 1)]) + hexByte(b.program[static_cast<std::size_t>(2 * i)]);
        appendRecord(out, record);
    }
    if (s.device.eepromBytes != 0) {
        appendEepromImage(out, s, 0x4200);
        appendEepromImage(out, s, 0x8000);
    }
    std::string ids = ":08400000";
    for (int k = 0; k < 4; ++k)
        ids += hexByte(b.configArea[static_cast<std::size_t>(2 * k + 1)]) + hexByte(b.configArea[static_cast<std::size_t>(2 * k)]);
    appendRecord(out, ids);
    const std::string configAddress = isTwelveBitFamily(s.device.family) ? ":021FFE00" : ":02400E00";
    appendRecord(out, configAddress + hexByte(b.configArea[15]) + hexByte(b.configArea[14]));
    out += ":00000001FF\r\n";
    return out;
}

bool WriteFileAtomically(const std::string& path, const std::string& content, std::string& error) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    std::string pattern = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
        error = errnoText();
        return false;
    }
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ok = false;
        else
            done += static_cast<std::size_t>(n);
    }
    if (ok && ::fsync(fd) != 0)
        ok = false;
    if (!ok)
        error = errnoText();
    // Keep the permissions an existing file had; a new one gets the usual mode.
    struct stat old {};
    if (ok) {
        const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~currentUmask());
        ::fchmod(fd, mode);
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errnoText();
    }
    if (ok && ::rename(pattern.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errnoText();
    }
    if (!ok)
        ::unlink(pattern.c_str());
    return ok;
}

bool WriteHexFile(const Session& s, const std::string& path, std::string& error) {
    return WriteFileAtomically(path, BuildHexText(s), error);
}

void SaveHexFile(Session& s) {
    HideGridEditors(s);
    if (CheckDeviceSelected(s) != "OK")
        return;
    FileDialogRequest request;
    request.startDir = SettingText(s.settings, "SAVE_DIR");
    request.filter = "Hexファイル|*.hex|全てのファイル|*.*|";
    const auto chosen = s.ui.saveFileDialog(request);
    if (!chosen || chosen->empty())
        return;
    std::string path = *chosen;
    if (!hasExtension(path))
        path += ".Hex";
    s.loader.hexPath = path;
    if (FileExists(path) &&
        s.ui.messageBox(MsgIcon::Question, "上書き保存", "ファイルが存在します。上書きしますか？", MsgButtons::OkCancel) !=
            MsgAnswer::Ok) {
        ShowNote(s, "ファイル保存をキャンセルしました。 ", "");
        return;
    }
    s.view.title = s.run.titleBase + path;
    s.settings.setValue("SAVE_DIR", FolderOf(path));
    std::string error;
    if (!WriteHexFile(s, path, error)) {
        ShowNote(s, "redファイルを保存できませんでした。 " + path + " : " + error, "");
        return;
    }
    ShowNote(s, "ファイル保存完了。 " + path, "");
}

}  // namespace vx
