// device.ini on any bytes: the list pass over the whole file, then every
// listed entry's pass and the grid refresh from it; for the last entry also
// the configuration word the grid builds and the buffer cleared to its sizes
// (those walk the whole memory, so once per input). Oracles: no memory fault
// (sanitizers), every DeviceInfo within the buffers it sizes, a broken entry
// leaving the previous device whole.
#include <cstddef>
#include <cstdint>
#include <string>

#include "device/devicedb.h"
#include "fuzzsupport.h"
#include "image/grid.h"
#include "image/pcbufferops.h"
#include "image/pcbufferquery.h"

using namespace vx;

namespace {

void checkDevice(const DeviceInfo& d) {
    if (d.programWords < 0 || d.programWords > kProgramBytes / 2)
        fuzz::Fail("program size outside the buffer");
    if (d.eepromBytes < 0 || d.eepromBytes > kEepromBytes / 2)
        fuzz::Fail("EEPROM size outside the buffer");
    if (d.rows.size() > std::size_t{kMaxRows})
        fuzz::Fail("more rows than an entry holds");
}

// The session as it starts every input, so a finding never depends on the inputs before it.
struct Start {
    fuzz::ShippedRig shipped;
    MainView view = shipped.s.view;
    DeviceDatabase db = shipped.s.db;
    DeviceInfo device = shipped.s.device;
    PcBuffer buffer = shipped.s.buffer;
    ConfigGrid grid = shipped.s.grid;
    void restore() {
        Session& s = shipped.s;
        s.view = view;
        s.db = db;
        s.device = device;
        s.buffer = buffer;
        s.grid = grid;
        shipped.rig.ui.boxes.clear();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Start start;
    start.restore();
    Session& s = start.shipped.s;
    const std::optional<DeviceText> text = ParseDeviceText(std::string(reinterpret_cast<const char*>(data), size));
    if (!LoadDeviceListFrom(s, text))
        return 0;
    if (s.view.deviceList.size() > 512 || s.db.deviceNames.size() > std::size_t{kMaxDeviceNames})
        fuzz::Fail("more names than the list holds");
    for (const std::string& name : s.db.deviceNames) {
        const std::vector<DeviceRow> before = s.device.rows;
        s.device.name = name;
        LoadDeviceEntryFrom(s, name, text);
        if (s.db.error && s.device.rows != before)
            fuzz::Fail("a broken entry changed the device");
        checkDevice(s.device);
        RefreshGridFromConfig(s);
    }
    ConfigFromGrid(s);
    ClearPcBuffer(s);
    PcBufferChecksum(s);
    UsedProgramLength(s);
    return 0;
}
