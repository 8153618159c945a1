#include "image/configwords.h"

#include <sstream>

#include "base/convert.h"
#include "image/grid.h"
#include "link/family.h"

namespace vx {

namespace {

struct Option {
    std::string name;
    int mask;
    int value;
};

// The keys of the grid's rows, the calibration value left out (it is a
// program word, not bits of the configuration word).
std::vector<std::string> settingKeys(const Session& s) {
    std::vector<std::string> keys;
    for (std::size_t i = 1; i < s.grid.cells.size(); ++i) {
        const std::string& key = s.grid.cells[i][0];
        if (!key.empty() && !IsCalibrationKey(key))
            keys.push_back(key);
    }
    return keys;
}

std::vector<Option> optionsOf(const Session& s, const std::string& key) {
    std::vector<Option> options;
    for (const DeviceRow& row : s.device.rows) {
        const int mask = ParseNumber(row[2]);
        const int value = ParseNumber(row[3]);
        if (row[0] == key && mask >= 0 && value >= 0)
            options.push_back({row[1], mask, value});
    }
    return options;
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

std::string hex(int value) { return "0x" + HexText(static_cast<std::uint32_t>(value), 4); }

}  // namespace

std::string ConfigWordSettings(const Session& s, int word) {
    std::string text;
    const auto add = [&text](const std::string& token) { text += (text.empty() ? "" : " ") + token; };
    int explained = 0;
    for (const std::string& key : settingKeys(s)) {
        std::string shown;
        int keyMask = 0;
        // The first option in force wins, as in the grid.
        for (const Option& option : optionsOf(s, key)) {
            keyMask |= option.mask;
            if (shown.empty() && (word & option.mask) == option.value)
                shown = option.name;
        }
        explained |= keyMask;
        add(key + "=" + (shown.empty() ? hex(word & keyMask) : shown));
    }
    const int unexplained = Traits(s.device.family).drivenCore().blankWord & ~explained;
    if (const int differing = (word ^ s.device.defaultConfig) & unexplained)
        add(hex(differing) + "=" + hex(word & differing));
    return text;
}

std::optional<int> ParseConfigWord(const Session& s, const std::string& text, std::string& error) {
    const int word = ParseNumber(TrimBlanks(text));
    const Core& core = Traits(s.device.family).drivenCore();
    if (word < 0) {
        error = "\"" + text + "\" is not a configuration word (give it as 0x" + HexText(core.blankWord, 4) + ")";
        return std::nullopt;
    }
    if (word > core.blankWord) {
        error = hex(word) + " is wider than the " + std::to_string(core.bits) + "-bit configuration word of " +
                s.device.name + " (at most " + hex(core.blankWord) + ")";
        return std::nullopt;
    }
    return word;
}

std::optional<int> BuildConfigWord(const Session& s, const std::string& settings, std::string& error) {
    const DeviceInfo& d = s.device;
    const std::vector<std::string> keys = settingKeys(s);
    int word = d.defaultConfig;
    std::stringstream in(settings);
    std::string piece;
    while (std::getline(in, piece, ',')) {
        piece = TrimBlanks(piece);
        if (piece.empty())
            continue;
        const auto equals = piece.find('=');
        const std::string name = LowerCase(TrimBlanks(piece.substr(0, equals)));
        const std::string choice = equals == std::string::npos ? "" : LowerCase(TrimBlanks(piece.substr(equals + 1)));
        std::string key;
        for (const std::string& candidate : keys)
            if (LowerCase(candidate) == name)
                key = candidate;
        if (key.empty() || equals == std::string::npos) {
            error = key.empty() ? d.name + " has no setting \"" + piece + "\" (its settings: " + joined(keys) + ")"
                                : "\"" + piece + "\" names no option: give " + key + "=OPTION";
            return std::nullopt;
        }
        const std::vector<Option> options = optionsOf(s, key);
        std::vector<std::string> names;
        const Option* chosen = nullptr;
        for (const Option& option : options) {
            names.push_back(option.name);
            if (!chosen && LowerCase(option.name) == choice)
                chosen = &option;
        }
        if (!chosen) {
            error = d.name + " has no " + key + "=" + TrimBlanks(piece.substr(equals + 1)) + " (" + key +
                    " is one of " + joined(names) + ")";
            return std::nullopt;
        }
        word = (word & ~chosen->mask) | chosen->value;
    }
    return d.configOrMask | (d.configAndMask & word);
}

}  // namespace vx
