#include "sim/simchip.h"

#include <algorithm>
#include <sstream>

#include "session/deviceinfo.h"

namespace vx {

namespace {

// The calibration instruction with 0x80 (movlw 0x80, retlw 0x80).
int DefaultCalibration(const FamilyTraits& family) {
    return family.calibrated ? CalibrationInstruction(family, 0x80) : -1;
}

}  // namespace

SimChip::SimChip(Family family_, int programWords_, int eepromBytes_, std::optional<int> calibration,
                 int codeProtectMask_, int deviceId)
    : family(family_),
      familyName(Traits(family_).name),
      programWords(programWords_ < 0 ? 0 : programWords_),
      eepromBytes(eepromBytes_ < 0 ? 0 : eepromBytes_),
      codeProtectMask(codeProtectMask_ < 0 ? Traits(family_).codeProtectMask : codeProtectMask_) {
    program.assign(static_cast<std::size_t>(programWords), static_cast<std::uint16_t>(blankWord()));
    config.fill(static_cast<std::uint16_t>(blankWord()));
    eeprom.assign(static_cast<std::size_t>(eepromBytes), 0xFF);
    if (!twelveBit()) {
        config[4] = 0x0000;
        config[5] = 0x0000;
        config[6] = static_cast<std::uint16_t>(deviceId & 0x3FFF);
    }
    if (Traits(family).bandGap)
        config[7] = 0x2FFF;  // band-gap bits 13:12 = 10
    const int calib = calibration ? *calibration : DefaultCalibration(Traits(family));
    if (calib >= 0 && programWords > 0)
        program.back() = static_cast<std::uint16_t>(calib & wordMask());
}

SimChip::SimChip(std::string_view family_, int programWords_, int eepromBytes_, std::optional<int> calibration,
                 int codeProtectMask_, int deviceId)
    : SimChip(ParseFamily(family_), programWords_, eepromBytes_, calibration, codeProtectMask_, deviceId) {
    familyName = FamilyNameOf(family_);
}

SimChip SimChip::ForDevice(const DeviceInfo& device) {
    std::optional<int> calibration = -1;
    if (!device.calibInstruction.empty())
        calibration = std::nullopt;
    // A part without a device ID reads 0x0000 there, as no part at all would.
    SimChip chip(device.family, device.programWords, device.eepromBytes, calibration,
                 device.codeProtectMask > 0 ? device.codeProtectMask : -1, std::max(device.deviceId, 0));
    if (device.family == Family::Unknown)
        chip.familyName = device.familyName;  // the table has no name for it
    return chip;
}

bool SimChip::twelveBit() const { return Traits(family).twelveBit(); }
bool SimChip::flash() const { return Traits(family).flash; }
int SimChip::blankWord() const { return Traits(family).drivenCore().blankWord; }

bool SimChip::codeProtected() const {
    return codeProtectMask != 0 && (config[7] & codeProtectMask) != codeProtectMask;
}

int SimChip::readProgramArea(int index) const {
    if (twelveBit()) {
        if (index == 0)
            return config[7];
        if (index >= 1 && index <= programWords)
            return codeProtected() ? 0x0000 : program[static_cast<std::size_t>(index - 1)];
        if (index > programWords && index <= programWords + 4)
            return config[static_cast<std::size_t>(index - programWords - 1)];
        return blankWord();
    }
    if (index >= 0 && index < programWords)
        return codeProtected() ? 0x0000 : program[static_cast<std::size_t>(index)];
    return blankWord();
}

int SimChip::readConfigArea(int index) const {
    if (twelveBit()) {
        if (index == 0)
            return config[7];
        if (index >= 1 && index <= 4)
            return config[static_cast<std::size_t>(index - 1)];
        return blankWord();
    }
    if (index >= 0 && index < 8)
        return config[static_cast<std::size_t>(index)];
    return blankWord();
}

std::uint8_t SimChip::readEeprom(int cell) const {
    if (cell >= 0 && cell < eepromBytes)
        return eeprom[static_cast<std::size_t>(cell)];
    return 0xFF;
}

bool SimChip::writeCell(std::uint16_t& cell, int value) {
    value &= wordMask();
    cell = static_cast<std::uint16_t>(flash() ? value : (cell & value));
    return cell == value;
}

bool SimChip::writeProgramArea(int index, int value) {
    if (twelveBit()) {
        if (index == 0)
            return writeCell(config[7], value);
        if (index >= 1 && index <= programWords) {
            if (codeProtected())
                return false;
            return writeCell(program[static_cast<std::size_t>(index - 1)], value);
        }
        if (index > programWords && index <= programWords + 4)
            return writeCell(config[static_cast<std::size_t>(index - programWords - 1)], value);
        return true;
    }
    if (index < 0 || index >= programWords)
        return true;
    if (codeProtected())
        return false;
    return writeCell(program[static_cast<std::size_t>(index)], value);
}

bool SimChip::writeConfigArea(int index, int value) {
    if (twelveBit()) {
        if (index == 0)
            return writeCell(config[7], value);
        if (index >= 1 && index <= 4)
            return writeCell(config[static_cast<std::size_t>(index - 1)], value);
        return true;
    }
    if (index >= 4 && index <= 6)
        return true;  // reserved words and device id: the chip ignores writes
    if (index < 0 || index >= 8)
        return true;
    return writeCell(config[static_cast<std::size_t>(index)], value);
}

void SimChip::writeEeprom(int cell, std::uint8_t value) {
    if (cell >= 0 && cell < eepromBytes)
        eeprom[static_cast<std::size_t>(cell)] = value;
}

void SimChip::bulkErase() {
    if (!flash())
        return;
    for (auto& w : program)
        w = static_cast<std::uint16_t>(blankWord());
    for (int i : {0, 1, 2, 3, 7})
        config[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(blankWord());
    if (eraseClearsEeprom)
        std::fill(eeprom.begin(), eeprom.end(), 0xFF);
}

std::string SimChip::save() const {
    std::ostringstream out;
    out << "family " << familyName << "\n"
        << "words " << programWords << "\n"
        << "eeprom " << eepromBytes << "\n"
        << "protect " << codeProtectMask << "\n";
    out << "config";
    for (auto w : config)
        out << ' ' << w;
    out << "\nprogram";
    for (auto w : program)
        out << ' ' << w;
    out << "\ndata";
    for (auto b : eeprom)
        out << ' ' << static_cast<int>(b);
    out << "\n";
    return out.str();
}

std::optional<SimChip> SimChip::load(const std::string& text) {
    std::istringstream in(text);
    std::string key, family;
    int words = -1, eepromSize = -1, protect = -1;
    std::vector<long> configValues, programValues, dataValues;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        fields >> key;
        auto readAll = [&fields](std::vector<long>& into) {
            long v;
            while (fields >> v)
                into.push_back(v);
        };
        if (key == "family")
            fields >> family;
        else if (key == "words")
            fields >> words;
        else if (key == "eeprom")
            fields >> eepromSize;
        else if (key == "protect")
            fields >> protect;
        else if (key == "config")
            readAll(configValues);
        else if (key == "program")
            readAll(programValues);
        else if (key == "data")
            readAll(dataValues);
    }
    if (family.empty() || words < 0 || eepromSize < 0 || protect < 0 || configValues.size() != 8 ||
        programValues.size() != static_cast<std::size_t>(words) ||
        dataValues.size() != static_cast<std::size_t>(eepromSize))
        return std::nullopt;
    SimChip chip(family, words, eepromSize, -1, protect);
    for (std::size_t i = 0; i < 8; ++i)
        chip.config[i] = static_cast<std::uint16_t>(configValues[i] & 0x3FFF);
    for (std::size_t i = 0; i < programValues.size(); ++i)
        chip.program[i] = static_cast<std::uint16_t>(programValues[i] & 0x3FFF);
    for (std::size_t i = 0; i < dataValues.size(); ++i)
        chip.eeprom[i] = static_cast<std::uint8_t>(dataValues[i] & 0xFF);
    return chip;
}

}  // namespace vx
