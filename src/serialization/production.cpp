#include "serialization/production.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "image/hexfile.h"
#include "link/family.h"

namespace vx {

namespace {

const char* const kHeader = "vormex serial run 1";

std::string Hex(std::int64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

std::optional<std::int64_t> ParseSerialInteger(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* begin = text.c_str() + (hex ? 2 : 0);
    if (*begin == '+' || *begin == ' ' || (hex && *begin == '-'))
        return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(begin, &end, hex ? 16 : 10);
    if (errno != 0 || end == begin || *end != '\0')
        return std::nullopt;
    return value;
}

namespace {

// Start time of a process in clock ticks since boot (field 22 of its stat line).
std::optional<std::uint64_t> ProcessStart(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line))
        return std::nullopt;
    const auto paren = line.rfind(')');
    if (paren == std::string::npos)
        return std::nullopt;
    std::istringstream fields(line.substr(paren + 1));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i)
        if (i == 22)
            return std::strtoull(field.c_str(), nullptr, 10);
    return std::nullopt;
}

// The run file's lock for the life of the object.
class RunLock {
public:
    explicit RunLock(const std::string& runPath) {
        fd_ = ::open((runPath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~RunLock() {
        if (fd_ >= 0)
            ::close(fd_);  // releases the flock
    }
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

const char* const kNoLock = "シリアル番号の管理ファイルをロックできません。";

// The run file replaced at once by rename: a crash of any station leaves the
// old or the new state, never a mix. Only a recorded device is also forced to
// the disk (fsync): a reservation lost with the power was never used.
bool Replace(const std::string& path, const SerialRunState& state, bool durable, std::string& error) {
    if (durable)
        return WriteFileAtomically(path, FormatRunState(state), error);
    const std::string temp = path + ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << FormatRunState(state);
        if (!out.flush()) {
            error = temp + " に書き込めません。";
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        error = path + " を更新できません。";
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

// Reservations of processes that are gone go back to the pool.
bool Reap(SerialRunState& state) {
    bool changed = false;
    for (auto it = state.reserved.begin(); it != state.reserved.end();) {
        if (StationAlive(it->station)) {
            ++it;
            continue;
        }
        state.returned.push_back(it->index);
        it = state.reserved.erase(it);
        changed = true;
    }
    std::sort(state.returned.begin(), state.returned.end());
    return changed;
}

}  // namespace

StationId ThisStation() {
    const long pid = static_cast<long>(::getpid());
    return {pid, ProcessStart(pid).value_or(0)};
}

bool StationAlive(const StationId& station) {
    if (station.pid <= 0)
        return false;
    if (const auto started = ProcessStart(station.pid))
        return *started == station.started;
    return ::kill(static_cast<pid_t>(station.pid), 0) == 0 || errno == EPERM;
}

std::optional<std::int64_t> SerialRunState::nextFree() const {
    if (!returned.empty())
        return *std::min_element(returned.begin(), returned.end());
    if (nextIndex < settings.quantity)
        return nextIndex;
    return std::nullopt;
}

std::int64_t SerialValueAt(const SerialRunSettings& settings, std::int64_t index) {
    return settings.start + index * settings.increment;
}

std::optional<std::string> CheckRunSettings(const SerialRunSettings& s) {
    if (s.quantity < 1)
        return "書き込み数量を設定してください。";
    if (s.increment == 0)
        return "増分データ値が 0 では、すべての IC が同じ番号になります。";
    if (s.bytes < 1 || s.bytes > 4)
        return "書込みバイト数は 1 から 4 です。";
    const std::int64_t top = (std::int64_t{1} << (8 * s.bytes)) - 1;
    std::int64_t span = 0, last = 0;
    const bool fits = !__builtin_mul_overflow(s.quantity - 1, s.increment, &span) &&
                      !__builtin_add_overflow(s.start, span, &last) && s.start >= 0 && s.start <= top &&
                      last >= 0 && last <= top;
    if (!fits)
        return "シリアル値 (開始データ値から数量分) が書込みバイト数 " + std::to_string(s.bytes) +
               " バイト (0〜" + Hex(top) + ") に収まりません。";
    if (s.address < 0)
        return "書込みアドレスが正しくありません。";
    return std::nullopt;
}

std::vector<std::uint8_t> SerialValueBytes(std::int64_t value, int bytes) {
    std::vector<std::uint8_t> out;
    for (int b = bytes - 1; b >= 0; --b)
        out.push_back(static_cast<std::uint8_t>((static_cast<std::uint64_t>(value) >> (8 * b)) & 0xFF));
    return out;
}

const char* SerialModeName(SerialMode mode) {
    switch (mode) {
    case SerialMode::Display: return "display";
    case SerialMode::Retlw: return "retlw";
    case SerialMode::Eeprom: return "eeprom";
    }
    return "";
}

std::optional<SerialMode> SerialModeFromName(const std::string& name) {
    for (SerialMode mode : {SerialMode::Display, SerialMode::Retlw, SerialMode::Eeprom})
        if (name == SerialModeName(mode))
            return mode;
    return std::nullopt;
}

std::string FormatRunState(const SerialRunState& state) {
    const SerialRunSettings& s = state.settings;
    std::ostringstream out;
    out << kHeader << "\n"
        << "mode " << SerialModeName(s.mode) << "\n"
        << "start " << s.start << "\n"
        << "increment " << s.increment << "\n"
        << "quantity " << s.quantity << "\n"
        << "address " << Hex(s.address) << "\n"
        << "bytes " << s.bytes << "\n"
        << "next " << state.nextIndex << "\n"
        << "count " << state.count << "\n"
        << "returned";
    for (auto index : state.returned)
        out << ' ' << index;
    out << "\n";
    for (const auto& r : state.reserved)
        out << "reserved " << r.index << ' ' << r.station.pid << ' ' << r.station.started << "\n";
    out << "end\n";
    return out.str();
}

namespace {

// The run file's lines after the header: each key once, "end" last.
struct RunLines {
    SerialRunState state;
    std::map<std::string, std::int64_t> values;
    bool returnedSeen = false;
    bool ended = false;
};

// One line into `run`; the reason when it does not belong there.
std::optional<std::string> readRunLine(const std::string& line, RunLines& run) {
    std::istringstream fields(line);
    std::string key, word;
    fields >> key;
    std::vector<std::string> words;
    while (fields >> word)
        words.push_back(word);
    auto& values = run.values;
    if (key == "end" && words.empty()) {
        run.ended = true;
    } else if (key == "mode" && words.size() == 1 && !values.count(key)) {
        const auto mode = SerialModeFromName(words[0]);
        if (!mode || *mode == SerialMode::Display)
            return "mode " + words[0];
        run.state.settings.mode = *mode;
        values[key] = 0;
    } else if (key == "returned" && !run.returnedSeen) {
        run.returnedSeen = true;
        for (const auto& w : words) {
            const auto v = ParseSerialInteger(w);
            if (!v)
                return "returned " + w;
            run.state.returned.push_back(*v);
        }
    } else if (key == "reserved" && words.size() == 3) {
        const auto index = ParseSerialInteger(words[0]), pid = ParseSerialInteger(words[1]), started = ParseSerialInteger(words[2]);
        if (!index || !pid || !started || *started < 0)
            return line;
        run.state.reserved.push_back({*index, {static_cast<long>(*pid), static_cast<std::uint64_t>(*started)}});
    } else if (words.size() == 1 && !values.count(key) &&
               (key == "start" || key == "increment" || key == "quantity" || key == "address" ||
                key == "bytes" || key == "next" || key == "count")) {
        const auto v = ParseSerialInteger(words[0]);
        if (!v)
            return line;
        values[key] = *v;
    } else {
        return line.empty() ? "空の行" : line;
    }
    return std::nullopt;
}

// The run the lines describe; the reason when it does not hold together.
std::optional<std::string> completeRun(RunLines& run) {
    auto& values = run.values;
    for (const char* key : {"mode", "start", "increment", "quantity", "address", "bytes", "next", "count"})
        if (!values.count(key))
            return std::string(key) + " がありません";
    if (!run.returnedSeen)
        return "returned がありません";
    SerialRunState& state = run.state;
    SerialRunSettings& s = state.settings;
    s.start = values["start"];
    s.increment = values["increment"];
    s.quantity = values["quantity"];
    s.address = values["address"];
    if (values["bytes"] < 1 || values["bytes"] > 4)
        return "bytes";
    s.bytes = static_cast<int>(values["bytes"]);
    if (const auto why = CheckRunSettings(s))
        return why;
    state.nextIndex = values["next"];
    state.count = values["count"];
    if (state.nextIndex < 0 || state.nextIndex > s.quantity || state.count < 0)
        return "next / count";
    // Every index handed out is recorded, returned or reserved, exactly once.
    std::vector<std::int64_t> handed = state.returned;
    for (const auto& r : state.reserved)
        handed.push_back(r.index);
    std::sort(handed.begin(), handed.end());
    const bool inRange = handed.empty() || (handed.front() >= 0 && handed.back() < state.nextIndex);
    if (!inRange || std::adjacent_find(handed.begin(), handed.end()) != handed.end() ||
        state.count + static_cast<std::int64_t>(handed.size()) != state.nextIndex)
        return "番号の数が合いません";
    std::sort(state.returned.begin(), state.returned.end());
    return std::nullopt;
}

}  // namespace

std::optional<SerialRunState> ParseRunState(const std::string& text, std::string& error) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kHeader) {
        error = "シリアル番号の管理ファイルではありません。";
        return std::nullopt;
    }
    auto bad = [&error](const std::string& why) {
        error = "シリアル番号の管理ファイルが壊れています: " + why;
        return std::nullopt;
    };
    RunLines run;
    while (std::getline(in, line)) {
        if (run.ended)
            return bad("end の後に行があります");
        if (const auto why = readRunLine(line, run))
            return bad(*why);
    }
    if (!run.ended)
        return bad("途中で切れています");
    if (const auto why = completeRun(run))
        return bad(*why);
    return std::move(run.state);
}

std::optional<std::string> CheckPlacement(const DeviceInfo& device, const PcBuffer& image,
                                          const SerialRunSettings& s) {
    // Far beyond any memory: said so before the end of the range is computed.
    const std::int64_t first = s.address, last = first >= 0 && first < (std::int64_t{1} << 32) ? first + s.bytes - 1 : -1;
    const std::string range =
        "シリアル番号の書込み範囲 " + Hex(first) + (last >= 0 ? "〜" + Hex(last) : std::string("〜"));
    // After a Read the image is the chip's, with its number in place: that
    // is what is in the way, not the file.
    const std::string whose = image.readFromChip ? "チップから読み出した" : "HEXファイルの";
    const std::string reload =
        image.readFromChip ? "PC バッファはチップから読み出したデータです。HEXファイルをもう一度ロードしてください。" : "";
    if (s.mode == SerialMode::Eeprom) {
        if (device.eepromBytes <= 0)
            return "このデバイスにはＥＥＰＲＯＭがないため、シリアル番号を書き込めません。";
        const std::int64_t size = std::min<std::int64_t>(device.eepromBytes, kEepromBytes / 2);
        if (last < 0 || last >= size)
            return range + " がＥＥＰＲＯＭ (" + Hex(size) + " バイト) を超えています。";
        for (std::int64_t a = first; a <= last; ++a)
            if (image.eeprom[static_cast<std::size_t>(2 * a + 1)] != 0xFF)
                return range + " が" + whose + "ＥＥＰＲＯＭデータ (" + Hex(a) + ") と重なっています。" + reload;
        return std::nullopt;
    }
    const Core* core = Traits(device.family).core;
    if (!core)
        return "デバイスのファミリー " + device.familyName + " にはシリアル番号を書き込めません。";
    const std::int64_t size = std::min<std::int64_t>(device.programWords, kProgramBytes / 2);
    if (last < 0 || last >= size)
        return range + " がプログラムメモリ (" + Hex(size) + " ワード) を超えています。";
    // Program keeps the chip's calibration word in the last word.
    if (!image.calibText.empty() && last == size - 1)
        return range + " がキャリブレーションワード (" + Hex(size - 1) + ") と重なっています。";
    const int blank = core->blankWord;
    for (std::int64_t a = first; a <= last; ++a) {
        const auto at = static_cast<std::size_t>(2 * a);
        if (image.program[at] * 256 + image.program[at + 1] != blank)
            return range + " が" + whose + "データ (" + Hex(a) + ") と重なっています。" + reload;
    }
    return std::nullopt;
}

PlacedBytes PlaceSerial(const DeviceInfo& device, PcBuffer& image, const SerialRunSettings& s, std::int64_t value) {
    PlacedBytes placed;
    placed.eeprom = s.mode == SerialMode::Eeprom;
    const auto bytes = SerialValueBytes(value, s.bytes);
    // Both images keep one word per unit, high byte first: EEPROM 0x3F and the data.
    placed.offset = static_cast<std::size_t>(2 * s.address);
    std::uint8_t* base = (placed.eeprom ? image.eeprom.data() : image.program.data()) + placed.offset;
    placed.before.assign(base, base + 2 * bytes.size());
    const std::uint8_t opcode = placed.eeprom ? 0x3F : Traits(device.family).drivenCore().retlwOpcode;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        base[2 * i] = opcode;
        base[2 * i + 1] = bytes[i];
    }
    return placed;
}

void RestorePlacement(PcBuffer& image, const PlacedBytes& placed) {
    std::uint8_t* base = (placed.eeprom ? image.eeprom.data() : image.program.data()) + placed.offset;
    std::copy(placed.before.begin(), placed.before.end(), base);
}

std::optional<SerialRunState> SerialRunFile::load(std::string& error) const {
    std::ifstream in(path_, std::ios::binary);
    if (!in) {
        error = "シリアル番号の管理ファイル " + path_ + " を開けません。";
        return std::nullopt;
    }
    std::stringstream text;
    text << in.rdbuf();
    auto state = ParseRunState(text.str(), error);
    if (!state)
        error = path_ + ": " + error;
    return state;
}

namespace {

// The run as the file holds it, read only under its lock.
std::optional<SerialRunState> LoadLocked(const SerialRunFile& file, const RunLock& lock, std::string& error) {
    if (!lock.held()) {
        error = kNoLock;
        return std::nullopt;
    }
    return file.load(error);
}

}  // namespace

bool SerialRunFile::store(const SerialRunState& state, std::string& error) {
    RunLock lock(path_);
    if (!lock.held()) {
        error = kNoLock;
        return false;
    }
    return WriteFileAtomically(path_, FormatRunState(state), error);
}

bool SerialRunFile::create(const SerialRunSettings& settings, std::string& error) {
    if (const auto why = CheckRunSettings(settings)) {
        error = *why;
        return false;
    }
    RunLock lock(path_);
    if (!lock.held()) {
        error = kNoLock;
        return false;
    }
    if (std::ifstream(path_).good()) {
        error = path_ + " はすでにあります。";
        return false;
    }
    SerialRunState state;
    state.settings = settings;
    return WriteFileAtomically(path_, FormatRunState(state), error);
}

SerialRunFile::Taken SerialRunFile::reserve(const StationId& station) {
    Taken taken;
    RunLock lock(path_);
    auto state = LoadLocked(*this, lock, taken.error);
    if (!state)
        return taken;
    bool changed = Reap(*state);
    // A station holds one number at a time: one left from before goes back.
    for (auto it = state->reserved.begin(); it != state->reserved.end();) {
        if (it->station == station) {
            state->returned.push_back(it->index);
            it = state->reserved.erase(it);
            changed = true;
        } else {
            ++it;
        }
    }
    std::sort(state->returned.begin(), state->returned.end());
    if (const auto index = state->nextFree()) {
        if (!state->returned.empty() && state->returned.front() == *index)
            state->returned.erase(state->returned.begin());
        else
            ++state->nextIndex;
        taken.reservation = {*index, station};
        state->reserved.push_back(taken.reservation);
        taken.value = SerialValueAt(state->settings, *index);
        taken.result = Take::Reserved;
        changed = true;
    } else {
        taken.result = state->reserved.empty() ? Take::Finished : Take::AllReserved;
    }
    if (changed && !Replace(path_, *state, false, taken.error)) {
        taken.result = Take::Error;
        return taken;
    }
    taken.state = *state;
    return taken;
}

namespace {

// Takes the reservation out of the run; false when the run no longer holds it.
bool Release(SerialRunState& state, const SerialReservation& r) {
    const auto it = std::find_if(state.reserved.begin(), state.reserved.end(), [&r](const SerialReservation& x) {
        return x.index == r.index && x.station == r.station;
    });
    if (it == state.reserved.end())
        return false;
    state.reserved.erase(it);
    return true;
}

}  // namespace

bool SerialRunFile::commit(const SerialReservation& reservation, const std::string& recordPath,
                           const std::string& recordLine, std::string& error) {
    RunLock lock(path_);
    auto state = LoadLocked(*this, lock, error);
    if (!state)
        return false;
    if (!Release(*state, reservation)) {
        error = "シリアル番号 " + std::to_string(SerialValueAt(state->settings, reservation.index)) +
                " の予約が管理ファイルにありません。";
        return false;
    }
    ++state->count;
    if (!Replace(path_, *state, false, error))
        return false;
    if (!recordPath.empty()) {
        std::ofstream record(recordPath, std::ios::binary | std::ios::app);
        record << recordLine << "\r\n";
        if (!record.flush()) {
            error = recordPath + " に記録できません。";
            return false;
        }
    }
    return true;
}

bool SerialRunFile::giveBack(const SerialReservation& reservation, std::string& error) {
    RunLock lock(path_);
    auto state = LoadLocked(*this, lock, error);
    if (!state)
        return false;
    if (!Release(*state, reservation))
        return true;  // already handed back (its station was taken for gone)
    state->returned.push_back(reservation.index);
    std::sort(state->returned.begin(), state->returned.end());
    return Replace(path_, *state, false, error);
}

}  // namespace vx
