// One device of the set as its device.plist describes it.
#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

struct DeviceRecord
{
    QString udid;
    QString name;
    QString deviceType; // a device-type identifier
    QString runtime;    // a runtime identifier
    int state = 1;      // SimIdentifiers::state*
    QString path;       // the device's folder in the set

    QString dataPath() const { return path + QStringLiteral("/data"); }
    QString plistPath() const { return path + QStringLiteral("/device.plist"); }

    QVariantMap toPlist() const;
    // Reads <folder>/device.plist; the UDID must match the folder's name.
    static std::optional<DeviceRecord> read(const QString &folder, QString *error = nullptr);
};
