#include "qtplatform/qtfilewatcher.h"

#include <QFileInfo>

namespace vx {

QtFileWatcher::QtFileWatcher(std::function<bool()> tick) : tick_(std::move(tick)) {
    settle_.setInterval(100);
    QObject::connect(&settle_, &QTimer::timeout, [this] {
        if (!tick_())
            settle_.stop();
    });
    QObject::connect(&notices_, &QFileSystemWatcher::fileChanged, [this] { changed(); });
    QObject::connect(&notices_, &QFileSystemWatcher::directoryChanged, [this] { changed(); });
}

void QtFileWatcher::watch(const std::string& path) {
    const QString wanted = QString::fromStdString(path);
    if (wanted == path_)
        return;
    if (!notices_.files().isEmpty())
        notices_.removePaths(notices_.files());
    if (!notices_.directories().isEmpty())
        notices_.removePaths(notices_.directories());
    path_ = wanted;
    if (path_.isEmpty())
        return;
    notices_.addPath(QFileInfo(path_).absolutePath());
    if (QFileInfo::exists(path_))
        notices_.addPath(path_);
}

void QtFileWatcher::changed() {
    // A file written by rename or deleted and written again drops out of the watch.
    if (!notices_.files().contains(path_) && QFileInfo(path_).isFile())
        notices_.addPath(path_);
    if (tick_() && !settle_.isActive())
        settle_.start();
}

}  // namespace vx
