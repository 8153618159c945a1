// The configuration grid's operations, the calibration and ID editors and
// the notes of the ID and configuration boxes.
#pragma once

#include <string>

#include "session/session.h"

namespace vx {

void InitSettingGrid(Session& s);
void RefreshGridFromConfig(Session& s);
void ConfigFromGrid(Session& s);

// CmbInit and TxtInit hidden.
void HideGridEditors(Session& s);

// The current cell changed: shows the editor for the current row over
// column 1. cellVisible = the cell is scrolled into view.
void OpenCellEditor(Session& s, bool cellVisible = true);
// The current cell is about to change (leave-cell).
void CommitCellEditor(Session& s);
void ShowSettingHelp(Session& s);

// A user move of the current cell: leave-cell, move, open the editor.
void GridCellChanged(Session& s, int row, int col, bool cellVisible = true);
// A click on an option of CmbInit.
void ComboOptionChosen(Session& s, const std::string& option);
// TxtInit lost the focus: its text becomes the calibration value.
void CommitCalibration(Session& s);
// Txt_12F_BG_data edited: a value of 0..3 stands in for chips whose band-gap
// bits are lost.
void BandGapTyped(Session& s, const std::string& text);
// Text_ID lost the focus with `typed` in it.
void CommitIdText(Session& s, const std::string& typed);
// Text_ID clicked or focused.
void ShowIdNote(Session& s);

// The key filter of Text_ID and TxtInit: every key is consumed; hex digits
// (lower case entered as upper case) replace the selection, Backspace (8)
// deletes the character before the selection start. Input that would make
// the text longer than maxLength is ignored. True when the text changed.
bool HexKeyFilter(std::string& text, int& selStart, int& selLength, char key, int maxLength);

// What the key filter admits of a text that arrived without keys (paste,
// cut, drop): its hex digits, lower case as upper, up to maxLength.
std::string HexFieldText(const std::string& text, int maxLength);

bool IsCalibrationKey(const std::string& key);

}  // namespace vx
