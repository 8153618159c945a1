// The HEX watch's notices from the system: a change of the file or of its
// folder (a file deleted and written again) runs the core's tick at once,
// and then every 100 ms while the change settles.
#pragma once

#include <QFileSystemWatcher>
#include <QTimer>
#include <functional>

#include "base/seams.h"

namespace vx {

class QtFileWatcher : public PollingFileWatcher {
public:
    // tick: the core's look at the file; true while a change settles.
    explicit QtFileWatcher(std::function<bool()> tick);
    void watch(const std::string& path) override;

private:
    void changed();

    std::function<bool()> tick_;
    QFileSystemWatcher notices_;
    QTimer settle_;
    QString path_;
};

}  // namespace vx
