#include "image/display.h"

#include "base/convert.h"
#include "image/pcbufferquery.h"
#include "link/family.h"
#include "session/status.h"

namespace vx {

namespace {

const char* const kDumpDot = "\xEF\xBD\xA5";  // U+FF65

// HexText without a string per value: the dumps are redrawn at every step of a workflow.
void appendHex(std::string& text, unsigned value, int digits) {
    static const char hexDigits[] = "0123456789ABCDEF";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        text += hexDigits[(value >> shift) & 0x0F];
}

void appendDumpChar(std::string& column, int byte) {
    if (byte > 31 && byte < 127)
        column += static_cast<char>(byte);
    else
        column += kDumpDot;
}

}  // namespace

void RefreshProgramMemoryText(Session& s) {
    const auto& b = s.buffer;
    const int words = BufferProgramWords(s.device);
    std::string text;
    text.reserve(static_cast<std::size_t>(words) * 12);
    std::string hex, chars;
    for (int a = 0; a < words; ++a) {
        appendHex(hex, b.program[2 * a], 2);
        appendHex(hex, b.program[2 * a + 1], 2);
        hex += ' ';
        chars += kDumpDot;
        appendDumpChar(chars, b.program[2 * a + 1]);
        // A last group of fewer than eight words is not shown.
        if (a % 8 == 7) {
            appendHex(text, static_cast<unsigned>(a - 7), 4);
            text += ':';
            text += hex;
            text += chars;
            text += '\n';
            hex.clear();
            chars.clear();
        }
    }
    s.view.programMemory.text = std::move(text);
    s.ui.viewChanged();
}

void RefreshEepromText(Session& s) {
    const auto& b = s.buffer;
    std::string text, chars;
    for (int n = 0; n < BufferEepromBytes(s.device); ++n) {
        if (n % 16 == 0) {
            if (n != 0) {
                text += chars;
                text += '\n';
                chars.clear();
            }
            appendHex(text, static_cast<unsigned>(n), 4);
            text += ':';
        }
        const int byte = b.eeprom[2 * n + 1];
        appendHex(text, static_cast<unsigned>(byte), 2);
        text += ' ';
        appendDumpChar(chars, byte);
    }
    text += chars;
    s.view.eeprom.text = std::move(text);
    s.ui.viewChanged();
}

std::string ConfigBitsText(int word) {
    std::string out;
    for (int bit = 13; bit >= 0; --bit) {
        out += (word >> bit) & 1 ? '1' : '0';
        if (bit == 12 || bit == 8 || bit == 4)
            out += ' ';
    }
    return out;
}

void RefreshIdConfigDisplay(Session& s) {
    const auto& area = s.buffer.configArea;
    if (Traits(s.device.family).twelveBit()) {
        s.view.idText = s.buffer.idText;
    } else {
        std::string id;
        for (int k = 0; k < 4; ++k)
            id += HexDigitChar(area[2 * k + 1] & 0x0F);
        s.view.idText = id;
    }
    const int word = area[14] * 256 + area[15];
    s.view.configText = s.run.configAsBits ? ConfigBitsText(word) : HexText(static_cast<std::uint32_t>(word), 4);
    s.view.checksumLabel.caption = PcBufferChecksum(s);
    s.ui.viewChanged();
}

void ToggleConfigDisplay(Session& s) {
    s.run.configAsBits = !s.run.configAsBits;
    RefreshIdConfigDisplay(s);
    ShowNote(s, "コンフィギュレーションデータ表示。クリックでの１６ or ２進数表示を切り替えます。変更は左側のデバイス設定で行います。", "");
}

}  // namespace vx
