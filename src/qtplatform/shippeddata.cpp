#include "qtplatform/shippeddata.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace vx {

QString ShippedDataDir() {
    const QFileInfo dir(QCoreApplication::applicationDirPath() + "/../share/vormex");
    return dir.isDir() ? dir.canonicalFilePath() + "/" : QString();
}

}  // namespace vx
