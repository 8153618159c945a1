// A small device database covering every family, and helpers to select a
// device and load or save HEX files without dialogs.
#pragma once

#include <string>

#include "support/fakes.h"

namespace vx::test {

// Writes the database into rig.dir and reads its device list.
void UseTestDatabase(TestRig& rig);
// Selects a listed device by name; false when it is not listed.
bool SelectByName(TestRig& rig, const std::string& name);

// Writes text into rig.dir/name and returns the path.
std::string WriteTestFile(TestRig& rig, const std::string& name, const std::string& text);
// Loads path through LoadHexFile with SkipHexDialog set.
void LoadHexPath(TestRig& rig, const std::string& path);
// Saves through SaveHexFile, the dialog answering path.
void SaveHexPath(TestRig& rig, const std::string& path);

// Word at a word address of program memory; ID word k; configuration word.
int ProgramWord(const Session& s, int address);
int IdWord(const Session& s, int k);
int ConfigAreaWord(const Session& s);  // configArea bytes 14..15
int EepromByte(const Session& s, int n);

// A device record of a family and sizes, named "PICTEST", without a database.
DeviceInfo TestDevice(const std::string& family, int words, int eeprom);

}  // namespace vx::test
