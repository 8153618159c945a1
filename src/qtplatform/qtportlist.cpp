#include "qtplatform/qtportlist.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QSerialPortInfo>

namespace vx {

std::vector<SystemPortInfo> QtPortLister::ports() {
    // Each device's first stable name in name order: the same adapter gets
    // the same name at every plugging.
    QMap<QString, QString> stableNames;
    const QDir byId(byIdFolder);
    for (const QFileInfo& link : byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString device = link.canonicalFilePath();
        if (!device.isEmpty() && !stableNames.contains(device))
            stableNames.insert(device, link.absoluteFilePath());
    }

    std::vector<SystemPortInfo> list;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SystemPortInfo port;
        port.device = info.systemLocation().toStdString();
        port.byId = stableNames.value(QFileInfo(info.systemLocation()).canonicalFilePath()).toStdString();
        port.usb = info.hasVendorIdentifier();
        if (port.usb) {
            port.description = info.description().toStdString();
            port.manufacturer = info.manufacturer().toStdString();
            port.serialNumber = info.serialNumber().toStdString();
        }
        list.push_back(std::move(port));
    }
    return list;
}

}  // namespace vx
