#include "base/convert.h"
#include "base/settings.h"
#include "base/textfile.h"
#include "image/grid.h"
#include "image/hexfile.h"
#include "image/pcbufferops.h"
#include "image/pcbufferquery.h"
#include "link/family.h"
#include "session/status.h"

namespace vx {

namespace {

void putHexByte(std::string& out, int value) {
    static const char digits[] = "0123456789ABCDEF";
    out += digits[(value >> 4) & 0x0F];
    out += digits[value & 0x0F];
}

// One data record, written straight into the file text: ":", count, address,
// type 00, the data bytes, the checksum and CR LF.
class Record {
public:
    Record(std::string& out, int count, int address) : out_(out) {
        out_ += ':';
        byte(count);
        byte(address >> 8);
        byte(address);
        byte(0);
    }
    ~Record() {
        putHexByte(out_, -sum_);
        out_ += "\r\n";
    }
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;
    void byte(int value) {
        sum_ += value & 0xFF;
        putHexByte(out_, value);
    }

private:
    std::string& out_;
    int sum_ = 0;
};

// Eight bytes a record, each written as its value and 00: one word per byte.
void appendEepromImage(std::string& out, const Session& s, int base) {
    const int bytes = BufferEepromBytes(s.device);
    for (int n = 0; n + 8 <= bytes; n += 8) {
        Record record(out, 0x10, base + 2 * n);
        for (int i = n; i < n + 8; ++i) {
            record.byte(s.buffer.eeprom[static_cast<std::size_t>(2 * i + 1)]);
            record.byte(0);
        }
    }
}

bool hasExtension(const std::string& path) {
    const auto name = path.substr(path.find_last_of('/') + 1);
    return name.find('.') != std::string::npos;
}

}  // namespace

std::string AppendHexChecksum(const std::string& line) {
    int sum = 0;
    for (std::size_t i = 1; i < line.size(); i += 2)
        sum += HexDigitValue(line[i]) * 16 + (i + 1 < line.size() ? HexDigitValue(line[i + 1]) : 0);
    std::string out = line;
    putHexByte(out, -sum);
    return out;
}

std::string BuildHexText(const Session& s) {
    const auto& b = s.buffer;
    std::string out;
    const int words = BufferProgramWords(s.device);
    out.reserve(static_cast<std::size_t>(words) * 6 + 4096);
    // A last group of fewer than eight words is not written. Words low byte first.
    for (int a = 0; a + 8 <= words; a += 8) {
        Record record(out, 0x10, 2 * a);
        for (int i = a; i < a + 8; ++i) {
            record.byte(b.program[static_cast<std::size_t>(2 * i + 1)]);
            record.byte(b.program[static_cast<std::size_t>(2 * i)]);
        }
    }
    if (s.device.eepromBytes != 0) {
        appendEepromImage(out, s, 0x4200);
        appendEepromImage(out, s, 0x8000);
    }
    {
        Record ids(out, 0x08, 0x4000);
        for (int k = 0; k < 4; ++k) {
            ids.byte(b.configArea[static_cast<std::size_t>(2 * k + 1)]);
            ids.byte(b.configArea[static_cast<std::size_t>(2 * k)]);
        }
    }
    {
        Record config(out, 0x02, Traits(s.device.family).drivenCore().configHexAddress);
        config.byte(b.configArea[15]);
        config.byte(b.configArea[14]);
    }
    out += ":00000001FF\r\n";
    return out;
}

bool WriteHexFile(const Session& s, const std::string& path, std::string& error) {
    return WriteFileAtomically(path, BuildHexText(s), error);
}

void SaveHexFile(Session& s) {
    if (StartDeviceCommand(s) != CommandStart::Go)
        return;
    HideGridEditors(s);
    FileDialogRequest request;
    request.startDir = SettingText(s.settings, "SAVE_DIR");
    request.filter = "Hexファイル|*.hex|全てのファイル|*.*|";
    const auto chosen = s.ui.saveFileDialog(request);
    if (!chosen || chosen->empty())
        return;
    std::string path = *chosen;
    if (!hasExtension(path))
        path += ".hex";
    if (FileExists(path) &&
        s.ui.messageBox(MsgIcon::Question, "上書き保存", "ファイルが存在します。上書きしますか？", MsgButtons::OkCancel) !=
            MsgAnswer::Ok) {
        ShowNote(s, "ファイル保存をキャンセルしました。 ", "");
        return;
    }
    s.settings.setValue("SAVE_DIR", FolderOf(path));
    std::string error;
    if (!WriteHexFile(s, path, error)) {
        ShowNote(s, Tone::Alert, "ファイルを保存できませんでした。 " + path + " : " + error, "");
        return;
    }
    ++s.loader.ownWrites;
    // Reload, Build and the serialization switch use the file only once it
    // holds the image: a declined or failed save leaves them on the old one.
    s.loader.hexPath = path;
    ShowImageFile(s, path);
    ShowNote(s, "ファイル保存完了。 " + path, "");
}

}  // namespace vx
