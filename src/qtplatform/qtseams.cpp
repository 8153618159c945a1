#include "qtplatform/qtseams.h"

#include <chrono>
#include <thread>

namespace vx {

std::int64_t SteadyClock::nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SteadyClock::sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

QtSettingsStore::QtSettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, "Vormex V3", "Vormex V3")) {}

QtSettingsStore::QtSettingsStore(const QString& iniPath)
    : settings_(std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {}

std::optional<std::string> QtSettingsStore::value(const std::string& key) const {
    const QString k = "Settings/" + QString::fromStdString(key);
    if (!settings_->contains(k))
        return std::nullopt;
    return settings_->value(k).toString().toStdString();
}

void QtSettingsStore::setValue(const std::string& key, const std::string& value) {
    settings_->setValue("Settings/" + QString::fromStdString(key), QString::fromStdString(value));
    settings_->sync();
}

}  // namespace vx
