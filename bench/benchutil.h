// Timing and seam stand-ins shared by the bench programs.
#pragma once

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/seams.h"

namespace bench {

using Wall = std::chrono::steady_clock;

inline double Ms(Wall::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Median of `runs` timings of f, in milliseconds: one slow run does not skew it.
template <typename F>
double Median(int runs, F&& f) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Wall::now();
        f();
        times.push_back(Ms(Wall::now() - start));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

struct NoProcesses : vx::Processes {
    vx::ProcessId start(const std::string&, const std::vector<std::string>&, const std::string&) override { return {}; }
    std::optional<int> exitCode(vx::ProcessId) override { return 0; }
    bool openWithAssociated(const std::string&) override { return false; }
    bool openInTextEditor(const std::string&) override { return false; }
};

struct MapSettings : vx::SettingsStore {
    std::optional<std::string> value(const std::string& key) const override {
        const auto it = values.find(key);
        return it == values.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    void setValue(const std::string& key, const std::string& value) override { values[key] = value; }
    std::map<std::string, std::string> values;
};

}  // namespace bench
