// The families of chips the board programs (PGM_TYPE in device.ini) and all
// that differs between them, in one table.
//
// It stands on the link floor because most of what differs is the board's
// wire vocabulary: the letters of each command and the layout of its reply.
// Everything above reads it from here: the device record (session), the
// simulated chip, the image code, the board operations and workflows, the
// front ends. Nothing else tells families apart by their names.
//
// Adding a family: a value of Family before Unknown and its row in
// family.cpp (in the same order; the build checks it); its parts in
// data/device.ini with the row's name as PGM_TYPE; the simulated board
// (sim/simboard.cpp) for letters it does not answer yet; a new
// BlankCheckLayout where the blank check runs otherwise, with its steps in
// ops/boardops.cpp and its report in ops/workflows.cpp; and the families the
// tests go through (tests/ops/opstest.h, the shipped database test).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/protocol.h"

namespace vx {

// In the order of the table below. Names cannot start with a digit, so the
// numbered families carry an F.
enum class Family { F5X18, F5X28, F12C5, F12C6, F12F6, Eprom, Flash, Unknown };

// What follows from the width of the program word.
struct Core {
    int bits;
    int blankWord;
    // The configuration word's byte address in a HEX file.
    int configHexAddress;
    // The calibration instruction in the last program word ("movlw k" on
    // 12-bit parts, "retlw k" on 14-bit ones): its high byte and mnemonic.
    std::uint8_t calibOpcode;
    const char* calibMnemonic;
    // High byte of "retlw k", the word a serial number is stored in.
    std::uint8_t retlwOpcode;
    // The board's layout of the transfers: the words before the program
    // words of a program read, verify or write (the 12-bit configuration
    // word) and the ID words after them;
    int wordsBeforeProgram;
    int idWordsAfterProgram;
    // the words of a configuration read or verify, the configuration word last;
    int configWords;
    // how the board refuses a word of a program write.
    protocol::AbortRule programAbort;
};
inline constexpr Core kTwelveBitCore{.bits = 12, .blankWord = 0x0FFF, .configHexAddress = 0x1FFE, .calibOpcode = 0x0C,
                                     .calibMnemonic = "movlw", .retlwOpcode = 0x08, .wordsBeforeProgram = 1,
                                     .idWordsAfterProgram = 4, .configWords = 1, .programAbort = protocol::kAbortRule12};
inline constexpr Core kFourteenBitCore{.bits = 14, .blankWord = 0x3FFF, .configHexAddress = 0x400E, .calibOpcode = 0x34,
                                       .calibMnemonic = "retlw", .retlwOpcode = 0x34, .wordsBeforeProgram = 0,
                                       .idWordsAfterProgram = 0, .configWords = 8, .programAbort = protocol::kAbortRule14};

// How the program blank check runs and what its replies hold.
enum class BlankCheckLayout {
    // 12-bit parts without calibration: one summary over the configuration
    // word, the program words and the IDs; 5 bytes, the AND in bytes 2..3.
    WholeArea,
    // 12-bit parts with calibration: the program words, then the calibration
    // word alone, then with the IDs, which must leave its bits as they are.
    CalibrationThenIds,
    // 14-bit parts with calibration: all but the last word, then the last
    // word alone (the calibration word).
    CalibrationLast,
    // The program words in one summary of 3 bytes.
    ProgramWords,
};

// The letters each board operation sends; "" sends nothing.
struct BoardLetters {
    const char* identify = "";
    const char* eraseProgram = "";
    const char* blankCheckProgram = "";
    const char* blankCheckEeprom = "";
    const char* blankCheckConfig = "";
    const char* readConfig = "";
    const char* readEeprom = "";
    const char* readProgram = "";
    // The eight configuration-area words, before they are merged with the image.
    const char* readConfigArea = "";
    const char* writeProgram = "";
    const char* writeConfig = "";
    const char* writeEeprom = "";
    const char* verifyProgram = "";
    const char* verifyEeprom = "";
    const char* verifyConfig = "";
};

struct FamilyTraits {
    Family family;
    // As PGM_TYPE writes it; texts and logs show it.
    const char* name;
    // nullptr: an unknown family, of neither core.
    const Core* core;
    // The last program word holds the chip's factory calibration instruction.
    bool calibrated;
    // EEPROM data memory, with the board's EEPROM commands.
    bool eeprom;
    // Electrically erasable: the board has a bulk erase, and a write replaces
    // a word where an EPROM cell can only lose bits.
    bool flash;
    // Factory band-gap bits 13:12 in the configuration word.
    bool bandGap;
    // The Erase menu entry is offered (the board refuses it on EPROM parts).
    bool eraseMenu;
    // An older HEX file's address of the ID words, past program memory; -1 none.
    int oldIdHexAddress;
    // A HEX image with code protection on (bit 3 clear) keeps only bits
    // 0..2 and 4 of the configuration word, where the part's protection is
    // bit 3 alone.
    bool hexProtectRule;
    // The code-protect bits of the family's usual parts (the simulated
    // chip's default).
    int codeProtectMask;
    BlankCheckLayout blankCheck;
    BoardLetters letters;
    // The family's parts whose oscillator bits do not count towards a blank
    // configuration word, and whose blank check names the oscillator.
    std::array<std::string_view, 2> oldOscillatorParts{};

    bool twelveBit() const { return core == &kTwelveBitCore; }
    bool fourteenBit() const { return core == &kFourteenBitCore; }
    // The board operations, the simulated chip and the HEX output drive an
    // unknown family as a 14-bit one (its letters are empty, so only counts
    // reach the board).
    const Core& drivenCore() const { return twelveBit() ? kTwelveBitCore : kFourteenBitCore; }
};

const FamilyTraits& Traits(Family family);

// The chip's factory calibration counts only in the family's instruction
// form (retlw k on 14-bit parts, movlw k on 12-bit ones): an erased word and
// the 0x0000 of a protected or absent chip are no calibration.
bool IsCalibrationInstruction(const FamilyTraits& family, int word);
// The family's calibration instruction with the value k.
int CalibrationInstruction(const FamilyTraits& family, int k);
// The same as the calibration text shows it ("retlw 0x80").
std::string CalibrationText(const FamilyTraits& family, int k);
// The value k of a calibration text: its last two hex digits (ParseNumber's
// -1 when they are none).
int CalibrationTextValue(const std::string& text);

// A calibration instruction as the user types it, hexadecimal with "0x"
// ("0x3480"): nullopt unless it is of the family's form.
std::optional<int> ParseCalibrationValue(const FamilyTraits& family, std::string_view text);

// The factory band-gap bits 13:12 of the configuration word, where the
// family has them. An erased word (or the 0x0000 of no chip) holds none.
constexpr int kBandGapMask = 0x3000;
constexpr int kBandGapShift = 12;
std::optional<int> BandGapOf(const FamilyTraits& family, int configWord);
// Band-gap bits as the user types them: one digit 0..3, else nullopt.
std::optional<int> ParseBandGapValue(std::string_view text);

// 14-bit parts that carry a device ID hold it in configuration-area word 6
// (address 0x2006): bits 13:5 name the part, bits 4:0 its silicon revision.
constexpr int kDeviceIdWord = 6;
constexpr int kDeviceIdPartMask = 0x3FE0;
constexpr int kDeviceIdRevisionMask = 0x001F;
// What a socket without a chip, or with one that is not contacted, reads.
inline bool IsNoChipWord(int word) { return word == 0x0000 || word == 0x3FFF; }

// The family of a PGM_TYPE code (older names of two families included);
// Unknown for anything else.
Family ParseFamily(std::string_view code);
// The code as texts show it: its family's name, or as written when unknown.
std::string FamilyNameOf(std::string_view code);

// The letters of a board operation, by its protocol name.
std::string CommandLetters(protocol::BoardOp op, Family family);

bool IsOldOscillatorPart(const FamilyTraits& family, std::string_view part);

}  // namespace vx
