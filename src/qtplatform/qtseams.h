// Qt implementations of the settings and clock seams.
#pragma once

#include <QSettings>
#include <QString>
#include <memory>

#include "base/seams.h"

namespace vx {

class SteadyClock : public Clock {
public:
    std::int64_t nowMs() override;
    void sleepMs(int ms) override;
};

// QSettings INI file per user, application "Vormex V3", group "Settings".
// A path selects another file (the demo settings, the CLI's --settings).
class QtSettingsStore : public SettingsStore {
public:
    QtSettingsStore();
    explicit QtSettingsStore(const QString& iniPath);
    std::optional<std::string> value(const std::string& key) const override;
    void setValue(const std::string& key, const std::string& value) override;
    bool isEmpty() const override { return settings_->allKeys().isEmpty(); }
    QString fileName() const { return settings_->fileName(); }

private:
    std::unique_ptr<QSettings> settings_;
};

}  // namespace vx
