// Helpers of the listing tests: picking lines apart and running gpasm.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "disasm/disasm.h"

namespace vx::test {

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto end = text.find("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back(text.substr(pos));
            break;
        }
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

// Tab stops every 8 columns, as an editor shows the file.
inline std::string ExpandTabs(const std::string& line) {
    std::string out;
    for (char c : line) {
        if (c == '\t')
            out.append(8 - out.size() % 8, ' ');
        else
            out += c;
    }
    return out;
}

constexpr int kHeaderLines = 12;

// The pieces of one word line of the listing.
struct WordLine {
    std::string label;     // "L_0001" or ""
    std::string mnemonic;  // "MOVLW ", "CLRW   ", ...
    std::string operands;  // code1 code2 code3 with the alignment tabs
    std::string tail;      // from "; " on: address, opcode, match text
};

inline WordLine SplitWordLine(const std::string& line) {
    WordLine w;
    const auto labelEnd = line.find("\t\t");
    w.label = line.substr(0, labelEnd);
    const auto mnemonicStart = labelEnd + 2;
    const auto operandsStart = line.find("\t ", mnemonicStart);
    w.mnemonic = line.substr(mnemonicStart, operandsStart - mnemonicStart);
    const auto tailStart = line.find("\t; ", operandsStart);
    w.operands = line.substr(operandsStart + 2, tailStart - operandsStart - 2);
    w.tail = line.substr(tailStart + 1);
    return w;
}

// Operands without the alignment tabs and trailing blanks.
inline std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\t' || text.back() == ' '))
        text.pop_back();
    return text;
}

inline DisasmListing List(const std::string& mcu, const std::vector<int>& words, SearchCodes codes = {}) {
    DisasmInput input;
    input.mcuId = mcu;
    input.words = words;
    input.configWord = 0x3FFF;
    input.idText = "FFFF";
    input.searchCodes = codes;
    return Core14_serch(input);
}

// The lines of the main pass, one per word, separators left out.
inline std::vector<WordLine> WordLines(const DisasmListing& listing) {
    std::vector<WordLine> out;
    const auto lines = Lines(listing.text);
    for (std::size_t i = kHeaderLines; i < lines.size() && lines[i] != "                END"; ++i)
        if (lines[i] != "\t\t\t\t\t\t;")
            out.push_back(SplitWordLine(lines[i]));
    return out;
}

// One word decoded at address 1 of a two-word part of the given group.
inline WordLine Decode(int word, const std::string& mcu = "16F628A") {
    return WordLines(List(mcu, {0x3FFF, word}))[1];
}

// A shell command's exit status and what it printed.
struct ToolRun {
    int status = -1;
    std::string output;
};
ToolRun RunTool(const std::string& commandLine);
bool ToolAvailable(const std::string& tool);

}  // namespace vx::test
