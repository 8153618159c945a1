// The run store on any contents. The first byte picks the form:
//   0  a text run file of the earlier form (converted, or refused unchanged)
//   1  a whole SQLite database file
//   2  run contents: lines "run MODE START INCREMENT QUANTITY ADDRESS BYTES
//      NEXT MOVED" (MOVED "-": not moved) and "n IDX STATE TOKEN HOST BOOT PID
//      STARTED", stored as text in a store of the right schema
// The top bit of the first byte chooses between the two ends of each step.
// Each store is opened and taken through reserve (with the placement check
// of a PIC16F84A-sized part), place, writing, commit or give-back, and the
// settling of its numbers. Oracles: no memory fault or undefined behaviour
// (sanitizers); the settings a number is placed with are the ones the
// check saw; a number is a value of its run; placing never writes outside
// its range; a refused file is left as it was.
#include <sqlite3.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "fuzzsupport.h"
#include "serialization/runstore.h"

using namespace vx;

namespace {

struct Folder {
    std::string path;
    Folder() {
        const std::string base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
        path = base + "/vormex-fuzz-run-" + std::to_string(::getpid()) + "/";
        std::filesystem::create_directories(path);
    }
    ~Folder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    void clear() const {
        for (const auto& entry : std::filesystem::directory_iterator(path))
            std::filesystem::remove(entry.path());
    }
};

const Folder& folder() {
    static const Folder f;
    return f;
}

DeviceInfo Part() {
    DeviceInfo d;
    d.name = "PIC16F84A";
    d.family = Family::Flash;
    d.programWords = 1024;
    d.eepromBytes = 64;
    return d;
}

PcBuffer Blank() {
    PcBuffer b;
    for (int w = 0; w < 1024; ++w) {
        b.program[2 * w] = 0x3F;
        b.program[2 * w + 1] = 0xFF;
    }
    for (int n = 0; n < 64; ++n) {
        b.eeprom[2 * n] = 0x3F;
        b.eeprom[2 * n + 1] = 0xFF;
    }
    return b;
}

// Rows of form 2 written as text into a store of the right schema.
void WriteContents(const std::string& path, const std::string& text) {
    std::string error;
    SerialRunSettings s;
    s.quantity = 1;
    if (!RunStore::create(path, s, error))
        fuzz::Fail("a store cannot be created: " + error);
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, "BEGIN; DELETE FROM serial_run", nullptr, nullptr, nullptr);
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string kind, f;
        std::vector<std::string> values;
        fields >> kind;
        while (fields >> f)
            values.push_back(f);
        const bool run = kind == "run" && values.size() == 8, number = kind == "n" && values.size() == 7;
        if (!run && !number)
            continue;
        if (run && values[7] == "-")
            values[7].clear();  // not moved
        const char* sql = run ? "INSERT INTO serial_run VALUES (1, ?1, ?2, ?3, ?4, ?5, ?6, ?7, 'now', ?8)"
                              : "INSERT OR REPLACE INTO serial_number VALUES (1, ?1, ?2, ?3, ?4, ?5, ?6, ?7)";
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
        for (std::size_t i = 0; i < values.size(); ++i)
            sqlite3_bind_text(st, static_cast<int>(i + 1), values[i].c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(st);
        sqlite3_finalize(st);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

void CheckReservation(const SerialReservation& r, const SerialRunSettings& checked) {
    if (!(r.settings == checked))
        fuzz::Fail("placed with other settings than the placement check saw");
    if (r.value != SerialValueAt(r.settings, r.index) || r.value < 0 ||
        r.value > (std::int64_t{1} << (8 * r.settings.bytes)) - 1)
        fuzz::Fail("a number outside its run");
    const DeviceInfo part = Part();
    const PcBuffer blank = Blank();
    PcBuffer image = blank;
    const auto placed = PlaceSerial(part, image, r.settings, r.value);
    if (!placed)
        fuzz::Fail("a checked placement was refused");
    const bool eeprom = r.settings.mode == SerialMode::Eeprom;
    auto outside = [&placed](const auto& now, const auto& before, bool here) {
        for (std::size_t i = 0; i < now.size(); ++i)
            if (now[i] != before[i] && (!here || i < placed->offset || i >= placed->offset + placed->before.size()))
                return true;
        return false;
    };
    if (outside(image.program, blank.program, !eeprom) || outside(image.eeprom, blank.eeprom, eeprom))
        fuzz::Fail("placed outside its range");
}

void Exercise(RunStore& store, bool pass) {
    std::string error;
    const auto state = store.load(error, true);
    const StationId me = ThisStation();
    const DeviceInfo part = Part();
    const PcBuffer blank = Blank();
    SerialRunSettings checked;
    const auto taken = store.reserve(me, [&](const SerialRunSettings& s) {
        checked = s;
        return CheckPlacement(part, blank, s);
    });
    if (taken.result == RunStore::Take::Reserved) {
        CheckReservation(taken.reservation, checked);
        if (store.markWriting(taken.reservation, error) && pass)
            store.commit(taken.reservation, folder().path + "SERIAL_LOG.txt", "line", error);
        else
            store.giveBack(taken.reservation, error);
    }
    if (state)
        for (const auto value : state->values(NumberState::Settle))
            store.settle(value, pass, folder().path + "SERIAL_LOG.txt", "settled", error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    folder().clear();
    const std::string path = folder().path + "run.db";
    const std::string body(reinterpret_cast<const char*>(data + 1), size - 1);
    const int form = data[0] % 3;
    if (form == 2)
        WriteContents(path, body);
    else
        test::WriteFileBytes(path, body);
    std::string error;
    auto store = RunStore::open(path, error);
    if (!store) {
        const bool refused = error.find("ではありません") != std::string::npos ||
                             error.find("新しい版") != std::string::npos || error.find("壊れています") != std::string::npos;
        if (form != 2 && refused && test::ReadFileBytes(path) != body)
            fuzz::Fail("a refused store was changed: " + error);
        return 0;
    }
    Exercise(*store, (data[0] & 0x80) != 0);
    return 0;
}
