#include "link/comport.h"

#include "app/settings.h"

namespace vx {

std::string ComDeviceKey(int comNumber) { return "ComDevice" + std::to_string(comNumber); }

std::string ComDevicePath(const SettingsStore& settings, int comNumber) {
    if (comNumber < 1 || comNumber > kMaxComPort)
        return {};
    const std::string mapped = SettingText(settings, ComDeviceKey(comNumber));
    if (!mapped.empty())
        return mapped;
#ifdef _WIN32
    return "COM" + std::to_string(comNumber);
#else
    return "/dev/ttyS" + std::to_string(comNumber - 1);
#endif
}

}  // namespace vx
