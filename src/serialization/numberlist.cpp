#include "serialization/numberlist.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>

#include "base/convert.h"
#include "link/family.h"

namespace vx {

namespace {

// EEPROM byte n sits at 0x4200 + 2n in the program's HEX files; older
// files put it at 0x8000 + 2n, and both are read.
constexpr std::uint32_t kEepromHexAddress = 0x4200;
constexpr std::uint32_t kOldEepromHexAddress = 0x8000;

struct Record {
    int type = 0;
    std::uint32_t address = 0;
    std::vector<std::uint8_t> data;
};

int DigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// One record, every field checked; "" or the reason.
std::string ReadRecord(std::string_view line, Record& record) {
    if (line.size() < 11 || line[0] != ':' || line.size() % 2 == 0)
        return "Intel HEX のレコードではありません。";
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 1; i < line.size(); i += 2) {
        const int high = DigitValue(line[i]), low = DigitValue(line[i + 1]);
        if (high < 0 || low < 0)
            return "Intel HEX のレコードではありません。";
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    if (bytes.size() != 5u + bytes[0])
        return "レコードの長さがバイト数と合いません。";
    unsigned sum = 0;
    for (std::uint8_t b : bytes)
        sum += b;
    if (sum % 256 != 0)
        return "チェックサムが正しくありません。";
    record.address = static_cast<std::uint32_t>(bytes[1] * 256 + bytes[2]);
    record.type = bytes[3];
    record.data.assign(bytes.begin() + 4, bytes.end() - 1);
    return "";
}

// Where a record's bytes lie in the device, and the value they hold; "" or the reason.
std::string DecodeValue(const Record& record, std::uint32_t address, const DeviceInfo& device, SerialList& shape,
                        std::int64_t& value) {
    const std::size_t words = record.data.size() / 2;
    if (record.data.size() % 2 != 0 || words < 1 || words > 4)
        return "1 台分のデータは 1〜4 バイト (1〜4 ワード) です。";
    if (address % 2 != 0)
        return "アドレスがワードの境界にありません。";
    const FamilyTraits& family = Traits(device.family);
    const auto n = static_cast<std::int64_t>(words);
    std::int64_t cell = -1;
    for (std::uint32_t base : {kEepromHexAddress, kOldEepromHexAddress})
        if (address >= base && (address - base) / 2 + n <= device.eepromBytes && family.eeprom)
            cell = (address - base) / 2;
    const std::int64_t word = address / 2;
    std::uint8_t high = 0;
    if (word + n <= device.programWords) {
        shape.mode = SerialMode::Retlw;
        shape.address = word;
        high = family.drivenCore().retlwOpcode;
    } else if (cell >= 0) {
        shape.mode = SerialMode::Eeprom;
        shape.address = cell;
    } else {
        return "データが " + device.name + " のプログラムメモリにもＥＥＰＲＯＭにも収まりません。";
    }
    shape.bytes = static_cast<int>(words);
    value = 0;
    for (std::size_t i = 0; i < words; ++i) {
        if (record.data[2 * i + 1] != high)
            return shape.mode == SerialMode::Retlw ? "プログラムメモリのデータが RETLW 命令ではありません。"
                                                   : "ＥＥＰＲＯＭのデータの上位バイトが 0 ではありません。";
        value = value * 256 + record.data[2 * i];
    }
    return "";
}

std::string Hex2(unsigned value) { return HexText(value & 0xFF, 2); }

std::string RecordLine(int type, std::uint32_t address, const std::vector<std::uint8_t>& data) {
    std::string line = ":" + Hex2(static_cast<unsigned>(data.size())) + HexText(address & 0xFFFF, 4) + Hex2(type);
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8 & 0xFF) + (address & 0xFF) + type;
    for (std::uint8_t b : data) {
        line += Hex2(b);
        sum += b;
    }
    return line + Hex2(0x100 - sum % 256) + "\r\n";
}

// Bytes of the operating system's random source, fetched a block at a time.
class RandomSource {
public:
    bool next(std::uint64_t& value, int bytes) {
        value = 0;
        for (int i = 0; i < bytes; ++i) {
            if (at_ == sizeof block_ && !refill())
                return false;
            value = value << 8 | block_[at_++];
        }
        return true;
    }

private:
    bool refill() {
        std::size_t got = 0;
        while (got < sizeof block_) {
            const ssize_t n = getrandom(block_ + got, sizeof block_ - got, 0);
            if (n < 0 && errno != EINTR)
                return false;
            got += n > 0 ? static_cast<std::size_t>(n) : 0;
        }
        at_ = 0;
        return true;
    }
    unsigned char block_[4096];
    std::size_t at_ = sizeof block_;
};

}  // namespace

std::optional<SerialList> ParseSqtp(std::string_view text, const DeviceInfo& device, std::string& error) {
    SerialList list;
    std::unordered_map<std::int64_t, int> lineOf;
    std::uint32_t upper = 0;
    int first = 0;  // the line of the first data record, which sets the shape
    int number = 0;
    auto fail = [&error, &number](const std::string& why) {
        error = "SQTPファイルの " + std::to_string(number) + " 行目: " + why;
        return std::nullopt;
    };
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        ++number;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (line.empty())
            continue;
        Record record;
        if (const std::string why = ReadRecord(line, record); !why.empty())
            return fail(why);
        if (record.type == 1)
            break;
        if (record.type == 4) {
            if (record.data.size() != 2)
                return fail("拡張アドレスレコードの長さが 2 バイトではありません。");
            upper = static_cast<std::uint32_t>(record.data[0] * 256 + record.data[1]) << 16;
            continue;
        }
        if (record.type != 0)
            return fail("レコード種別 " + Hex2(static_cast<unsigned>(record.type)) + " は SQTP では使えません。");
        SerialList shape;
        std::int64_t value = 0;
        if (const std::string why = DecodeValue(record, upper | record.address, device, shape, value); !why.empty())
            return fail(why);
        if (first == 0) {
            first = number;
            list.mode = shape.mode;
            list.address = shape.address;
            list.bytes = shape.bytes;
        } else if (shape.mode != list.mode || shape.address != list.address || shape.bytes != list.bytes) {
            return fail("アドレスまたは長さが " + std::to_string(first) + " 行目のレコードと違います。");
        }
        if (const auto [it, fresh] = lineOf.emplace(value, number); !fresh)
            return fail("値が " + std::to_string(it->second) + " 行目と同じです。");
        if (static_cast<std::int64_t>(list.values.size()) == kMaxPlannedValues)
            return fail("レコードが " + std::to_string(kMaxPlannedValues) + " 台分を超えています。");
        list.values.push_back(value);
    }
    if (list.values.empty()) {
        error = "SQTPファイルにデータレコードがありません。";
        return std::nullopt;
    }
    return list;
}

std::string SqtpText(const SerialList& list, const DeviceInfo& device) {
    const bool eeprom = list.mode == SerialMode::Eeprom;
    const std::uint32_t address = static_cast<std::uint32_t>(eeprom ? kEepromHexAddress + 2 * list.address
                                                                     : 2 * list.address);
    const std::uint8_t high = eeprom ? 0 : Traits(device.family).drivenCore().retlwOpcode;
    std::string text;
    if (address > 0xFFFF)
        text += RecordLine(4, 0, {static_cast<std::uint8_t>(address >> 24), static_cast<std::uint8_t>(address >> 16)});
    for (std::int64_t value : list.values) {
        std::vector<std::uint8_t> data;
        for (std::uint8_t b : SerialValueBytes(value, list.bytes)) {
            data.push_back(b);
            data.push_back(high);
        }
        text += RecordLine(0, address, data);
    }
    return text + ":00000001FF\r\n";
}

std::optional<std::vector<std::int64_t>> RandomKeys(std::int64_t quantity, int bytes, std::string& error) {
    if (bytes < 1 || bytes > 4) {
        error = "書込みバイト数は 1 から 4 です。";
        return std::nullopt;
    }
    const std::uint64_t top = (std::uint64_t{1} << (8 * bytes)) - 1;  // all 0xFF
    if (quantity < 1 || quantity > kMaxPlannedValues || static_cast<std::uint64_t>(quantity) > top - 1) {
        error = "乱数キーの数量は 1 から " + std::to_string(std::min<std::uint64_t>(kMaxPlannedValues, top - 1)) +
                " です (" + std::to_string(bytes) + " バイト)。";
        return std::nullopt;
    }
    RandomSource source;
    std::vector<std::int64_t> keys;
    keys.reserve(static_cast<std::size_t>(quantity));
    std::unordered_set<std::uint64_t> taken;
    // Narrow widths shuffle all their keys (drawing the last of 65 534 would
    // take long); wider ones draw and drop repeats, cheap at a million keys.
    if (bytes <= 2) {
        std::vector<std::int64_t> all;
        for (std::uint64_t k = 1; k < top; ++k)
            all.push_back(static_cast<std::int64_t>(k));
        for (std::size_t i = 0; i < static_cast<std::size_t>(quantity); ++i) {
            const std::uint64_t range = all.size() - i;
            const std::uint64_t limit = UINT64_MAX - UINT64_MAX % range;
            std::uint64_t r = 0;
            do {
                if (!source.next(r, 8)) {
                    error = "乱数を取得できませんでした。";
                    return std::nullopt;
                }
            } while (r >= limit);
            std::swap(all[i], all[i + r % range]);
            keys.push_back(all[i]);
        }
        return keys;
    }
    while (static_cast<std::int64_t>(keys.size()) < quantity) {
        std::uint64_t key = 0;
        if (!source.next(key, bytes)) {
            error = "乱数を取得できませんでした。";
            return std::nullopt;
        }
        if (key != 0 && key != top && taken.insert(key).second)
            keys.push_back(static_cast<std::int64_t>(key));
    }
    return keys;
}

}  // namespace vx
