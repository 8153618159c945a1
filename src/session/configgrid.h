// The configuration grid HFGrid1 as a model: row 0 is the header; rows 1..n
// hold a setting key in column 0 and the option in force in column 1.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace vx {

struct ConfigGrid {
    std::vector<std::array<std::string, 2>> cells{{"Config. Word", "設 定"}};
    int currentRow = 1;
    int currentCol = 0;
    bool visible = true;
    bool armed = false;  // GridArmed
    // In-place editors over the current cell.
    bool comboVisible = false;  // CmbInit
    std::vector<std::string> comboItems;
    bool textVisible = false;  // TxtInit
    std::string editorText;    // TxtInit's text
    std::string comboText;     // CmbInit's text (typed or chosen)
};

}  // namespace vx
