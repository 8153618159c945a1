#include "image/history.h"

#include "base/settings.h"
#include "image/hexfile.h"
#include "image/selection.h"
#include "session/status.h"

namespace vx {

namespace {
constexpr int kEntries = 5;
const char* const kCaptionGap = "    ";  // between the folder and the device name

std::string entryName(int n) { return "nmuFile" + std::to_string(n); }
std::string companionName(int n) { return "nmuDevice" + std::to_string(n); }

void storeAndShow(Session& s) {
    for (int n = 1; n <= kEntries; ++n) {
        auto& entry = s.view.menus[entryName(n)];
        auto& companion = s.view.menus[companionName(n)];
        s.settings.setValue("OPEN_DIR" + std::to_string(n), entry.caption);
        s.settings.setValue("OPEN_Device" + std::to_string(n), companion.caption);
        entry.visible = !entry.caption.empty();
        companion.visible = false;
    }
    s.ui.viewChanged();
}
}  // namespace

std::string HistoryCaption(const std::string& folder, const std::string& device) {
    return folder + kCaptionGap + device;
}

void HistoryRestore(Session& s) {
    for (int n = 1; n <= kEntries; ++n) {
        auto& entry = s.view.menus[entryName(n)];
        auto& companion = s.view.menus[companionName(n)];
        entry.caption = SettingText(s.settings, "OPEN_DIR" + std::to_string(n));
        companion.caption = SettingText(s.settings, "OPEN_Device" + std::to_string(n));
        entry.visible = !entry.caption.empty();
        companion.visible = false;
    }
    s.ui.viewChanged();
}

void HistoryUpdate(Session& s, const std::string& caption) {
    bool known = false;
    for (int n = 1; n <= kEntries; ++n)
        known = known || s.view.menus[entryName(n)].caption == caption;
    if (!known) {
        for (int n = kEntries; n > 1; --n) {
            s.view.menus[entryName(n)].caption = s.view.menus[entryName(n - 1)].caption;
            s.view.menus[companionName(n)].caption = s.view.menus[companionName(n - 1)].caption;
        }
        s.view.menus[entryName(1)].caption = caption;
        s.view.menus[companionName(1)].caption = std::to_string(s.view.deviceIndex);
    }
    storeAndShow(s);
}

void HistoryChosen(Session& s, int entry) {
    if (RefuseWhileBusy(s) || RefuseWhileLocked(s) || entry < 1 || entry > kEntries)
        return;
    // The caption is the folder, four spaces and the device name; the folder
    // is taken whole, spaces in it included.
    const std::string& caption = s.view.menus[entryName(entry)].caption;
    const std::string folder = caption.substr(0, caption.rfind(kCaptionGap));
    if (const auto index = SettingInt(s.settings, "OPEN_Device" + std::to_string(entry), 0))
        SelectDeviceIndex(s, static_cast<int>(*index));
    LoadHexFromFolder(s, folder);
}

void HistoryClear(Session& s) {
    for (int n = 1; n <= kEntries; ++n) {
        s.view.menus[entryName(n)].caption.clear();
        s.view.menus[companionName(n)].caption.clear();
        s.settings.setValue("OPEN_DIR" + std::to_string(n), "");
        s.settings.setValue("OPEN_Device" + std::to_string(n), "0");
        s.view.menus[entryName(n)].visible = false;
    }
    s.ui.viewChanged();
}

}  // namespace vx
