#include "link/comport.h"

#include <grp.h>
#include <sys/stat.h>

#include <vector>

#include "base/settings.h"

namespace vx {

namespace {

std::string deviceGroup(const std::string& path) {
    struct stat node {};
    if (::stat(path.c_str(), &node) != 0 || (node.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
        return "";
    std::vector<char> buffer(16384);
    struct group entry {};
    struct group* found = nullptr;
    if (getgrgid_r(node.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return "";
    return found->gr_name;
}

}  // namespace

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

std::string PortPermissionText(const std::string& path) {
    const std::string head = path + " を開く権限がありません。\r\n";
    const std::string group = deviceGroup(path);
    if (group.empty())
        return head + "このポートを使えるように、システムの管理者に権限の設定を依頼してください。";
    return head + "このポートを使えるのはグループ「" + group +
           "」のユーザーです。次のコマンドでユーザーをこのグループに加えてください。\r\n\r\n"
           "　　sudo usermod -aG " + group + " $USER\r\n\r\n"
           "グループの変更は新しいログインから有効になります。一度ログアウトして、ログインし直してください。";
}

}  // namespace vx
