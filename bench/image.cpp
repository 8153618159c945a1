// Loads and saves an 8K-word image with 256 bytes of EEPROM through the
// HEX loader and writer, and prints the times.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "session/session.h"
#include "benchutil.h"
#include "device/devicedb.h"
#include "image/hexfile.h"
#include "image/selection.h"

namespace {

using bench::Median;
using bench::Ms;

// No window, no board: the seams answer as a silent front end would.
struct NullPort : vx::SerialPort {
    vx::PortOpenResult open(const std::string&) override { return vx::PortOpenResult::Failed; }
    void close() override {}
    bool isOpen() const override { return false; }
    void write(const vx::Bytes&) override {}
    int bytesAvailable() override { return 0; }
    vx::Bytes readAll() override { return {}; }
    void discardInput() override {}
    void setRts(bool) override {}
    bool waitForData(int) override { return false; }
};

struct SteadyClock : vx::Clock {
    std::int64_t nowMs() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch()).count();
    }
    void sleepMs(int) override {}
};

struct SilentUi : vx::Ui {
    void viewChanged() override {}
    void processEvents() override {}
    void setBusy(bool) override {}
    vx::MsgAnswer messageBox(vx::MsgIcon, const std::string&, const std::string&, vx::MsgButtons) override {
        return vx::MsgAnswer::Ok;
    }
    int askOverwrite() override { return 2; }
    std::optional<std::string> openFileDialog(const vx::FileDialogRequest&) override { return std::nullopt; }
    std::optional<std::string> saveFileDialog(const vx::FileDialogRequest&) override { return path; }
    void showPortWindow() override {}
    std::string path;
};


}  // namespace

int main() {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "vormex-bench-image";
    fs::create_directories(dir);
    std::ofstream(dir / "device.ini", std::ios::binary) << "#BEGIN\nPIC16F877\nPGM_TYPE FLASH\nPGM 0x1FFF\n"
                                                           "EEPROM 0xFF\nCONFIG 0x3FFF\nOTHER0 0x3FFF\nOTHER1 0\n"
                                                           "FOSC LP 0x0003 0x0000\nFOSC RC 0x0003 0x0003\n#END\n";
    NullPort port;
    bench::MapSettings settings;
    SteadyClock clock;
    SilentUi ui;
    bench::NoProcesses processes;
    vx::Session s(port, settings, clock, ui, processes);
    s.run.appDir = dir.string() + "/";
    if (!vx::LoadDeviceList(s)) {
        std::fprintf(stderr, "device list not read\n");
        return 1;
    }
    vx::SelectDeviceIndex(s, 0);
    std::uint32_t seed = 12345;
    for (int i = 0; i < 2 * 8192; i += 2) {
        seed = seed * 1103515245u + 12345u;
        s.buffer.program[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((seed >> 16) & 0x3F);
        s.buffer.program[static_cast<std::size_t>(i + 1)] = static_cast<std::uint8_t>(seed >> 8);
    }
    for (int n = 0; n < 256; ++n)
        s.buffer.eeprom[static_cast<std::size_t>(2 * n + 1)] = static_cast<std::uint8_t>(n * 7);

    const std::string path = (dir / "image.hex").string();
    ui.path = path;
    const int runs = 50;
    const double save = Median(runs, [&] { vx::SaveHexFile(s); });
    std::size_t textSize = 0;
    const double build = Median(runs, [&] { textSize += vx::BuildHexText(s).size(); });
    const double load = Median(runs, [&] {
        s.loader.hexPath = path;
        s.loader.skipHexDialog = true;
        vx::LoadHexFile(s);
        s.loader.skipHexDialog = false;
    });
    std::printf("image: 8192 words + 256 EEPROM bytes, %ju-byte HEX file, median of %d runs\n",
                static_cast<std::uintmax_t>(fs::file_size(path)), runs);
    std::printf("  save (SaveHexFile, atomic write with fsync): %.2f ms\n", save);
    std::printf("  records only (BuildHexText): %.2f ms\n", build);
    std::printf("  load (LoadHexFile, displays and grid): %.2f ms\n", load);
    fs::remove_all(dir);
    return 0;
}
