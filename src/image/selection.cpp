#include "image/selection.h"

#include <cctype>
#include <charconv>

#include "base/convert.h"
#include "device/devicedb.h"
#include "image/grid.h"
#include "image/pcbufferops.h"
#include "image/pcbufferquery.h"
#include "link/family.h"
#include "session/status.h"

namespace vx {

namespace {

// Characters 12 to 17 of the identification carry the version; text that
// does not start with a number reads as 0.
double firmwareVersion(const std::string& firmwareId) {
    const std::string field = firmwareId.size() > 11 ? firmwareId.substr(11, 6) : "";
    std::size_t pos = field.find_first_not_of(' ');
    if (pos == std::string::npos)
        return 0;
    std::size_t end = pos;
    bool point = false;
    while (end < field.size() && (std::isdigit(static_cast<unsigned char>(field[end])) || (field[end] == '.' && !point))) {
        point = point || field[end] == '.';
        ++end;
    }
    double value = 0;
    const auto result = std::from_chars(field.data() + pos, field.data() + end, value);
    return result.ec == std::errc() ? value : 0;
}

}  // namespace

void SelectDevice(Session& s) {
    if (s.loader.deviceChangeSuppressed || RefuseWhileBusy(s) || RefuseWhileLocked(s))
        return;
    const auto& list = s.view.deviceList;
    const int index = s.view.deviceIndex;
    if (index < 0 || index >= static_cast<int>(list.size()))
        return;
    const std::string text = list[static_cast<std::size_t>(index)];
    if (text.empty())
        return;
    if (s.link.boardFound)
        ShowNote(s, "", "");
    HideGridEditors(s);
    if (text != s.device.name) {
        s.run.attemptCount = 0;
        s.run.passCount = 0;
        // Another device's factory values are no good for this one.
        s.ops.keptCalibration.reset();
        s.ops.keptBandGap.reset();
        s.view.bandGapText = MainView{}.bandGapText;
    }
    s.device.name = text;
    ClearDeviceFields(s);
    LoadDeviceEntry(s, text);
    RefreshGridFromConfig(s);
    ClearPcBuffer(s);

    if (s.run.deviceSelectedOnce || s.link.boardFound) {
        if (firmwareVersion(s.link.detectedFirmwareId) >= s.device.minFirmware)
            ShowNote(s, s.device.comment, "");
        else
            ShowNote(s, Tone::Alert,
                     "指定したＰＩＣは、ファームウエアバージョン TAVPIC-PGMV" + ShortestFloatText(s.device.minFirmware) +
                         ".00 以降でサポートしています。",
                     "");
    }
    s.run.deviceSelectedOnce = true;
    s.settings.setValue("deviceNew", std::to_string(index));

    s.grid.visible = true;
    ConfigFromGrid(s);
    s.view.checksumLabel.caption = PcBufferChecksum(s);
    UpdateProgramButtonCaption(s);

    const FamilyTraits& family = Traits(s.device.family);
    auto& calib = s.view.calibLabel;
    calib.visible = false;
    if (family.calibrated) {
        calib.caption = "キャリブレーションデータ情報";
        calib.visible = true;
        s.run.calibCheckText = calib.caption;
    }
    s.view.menus["mnuDevice_clear"].enabled = family.eraseMenu;
    s.view.menus["mnuDeviceId"].enabled = family.fourteenBit();
    s.ui.viewChanged();
}

void SelectDeviceIndex(Session& s, int index) {
    if (RefuseWhileBusy(s) || RefuseWhileLocked(s) || index < 0 || index >= static_cast<int>(s.view.deviceList.size()))
        return;
    s.view.deviceIndex = index;
    SelectDevice(s);
}

}  // namespace vx
