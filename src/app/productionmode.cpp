#include "app/productionmode.h"

#include "base/digest.h"
#include "base/settings.h"
#include "session/status.h"

namespace vx {

bool ProductionPinSet(const Session& s) { return !SettingText(s.settings, kProductionPinKey).empty(); }

bool SetProductionPin(Session& s, const std::string& pin) {
    if (RefuseWhileLocked(s))
        return false;
    if (pin.empty()) {
        s.settings.setValue(kProductionPinKey, "");
        ShowNote(s, "生産モードの暗証番号を解除しました。");
        return true;
    }
    const auto hash = PinHash(pin);
    if (!hash) {
        ShowNote(s, Tone::Alert, "暗証番号を保存できませんでした (乱数が得られません)。");
        return false;
    }
    s.settings.setValue(kProductionPinKey, *hash);
    ShowNote(s, "生産モードの暗証番号を設定しました。");
    return true;
}

void EnterProductionMode(Session& s) {
    s.view.productionLocked = true;
    ShowNote(s, "生産モードです。設定は変更できません。");
}

bool LeaveProductionMode(Session& s, const std::string& pin) {
    const std::string stored = SettingText(s.settings, kProductionPinKey);
    if (!stored.empty() && !PinMatches(pin, stored)) {
        ShowNote(s, Tone::Alert, "暗証番号が違います。生産モードを続けます。");
        return false;
    }
    s.view.productionLocked = false;
    ShowNote(s, "生産モードを終了しました。");
    return true;
}

}  // namespace vx
