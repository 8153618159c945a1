#pragma once

#include <string>

namespace vx {

// What a HEX file holds for the device it was loaded for.
struct HexContents {
    int dataRecords = 0;       // none: not a HEX file of this programmer
    int programWordsUsed = 0;  // distinct words inside the device's program memory
    bool configWordSet = false;
    int idWords = 0;           // distinct ID words
    int eepromCells = 0;       // distinct cells inside the device's EEPROM
    // Data records that reach past the device (more program words or EEPROM
    // cells than it has, unmapped addresses): their data never reaches the chip.
    int outsideRecords = 0;

    // A file that programs a chip other than it looks: no configuration word
    // (the chip gets the grid's value) or data the chip never gets.
    bool suspect() const { return !configWordSet || outsideRecords > 0; }
};

// The HEX loader's program-wide state.
struct LoaderState {
    std::string hexPath;               // HexPath: file to load or build, chosen last
    // The file loaded last, named in the log: Save As and the build's source
    // choice change hexPath without loading anything.
    std::string loadedPath;
    bool skipHexDialog = false;        // SkipHexDialog: load hexPath without asking
    int loads = 0;                     // HEX files loaded so far: a new one is a new count
    bool deviceChangeSuppressed = false;  // DeviceChangeSuppressed
    HexContents contents;              // of the file loaded last
    // HEX files the program itself wrote (Save As): the watch takes them as
    // they are, as no change of the user's.
    int ownWrites = 0;
};

}  // namespace vx
