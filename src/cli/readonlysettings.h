// The window's settings, read but never written: a CLI run must not move the
// window's saved device, folders or history. Writes live for the run only.
#pragma once

#include <map>

#include "base/seams.h"

namespace vx::cli {

class ReadOnlySettings : public SettingsStore {
public:
    explicit ReadOnlySettings(const SettingsStore& base) : base_(base) {}
    std::optional<std::string> value(const std::string& key) const override {
        if (const auto it = written_.find(key); it != written_.end())
            return it->second;
        return base_.value(key);
    }
    void setValue(const std::string& key, const std::string& value) override { written_[key] = value; }

private:
    const SettingsStore& base_;
    std::map<std::string, std::string> written_;
};

}  // namespace vx::cli
