#include "devicerecord.h"

#include "plistio.h"
#include "simidentifiers.h"

#include <QFileInfo>

namespace {
const QString udidKey = QStringLiteral("UDID");
const QString nameKey = QStringLiteral("name");
const QString deviceTypeKey = QStringLiteral("deviceType");
const QString runtimeKey = QStringLiteral("runtime");
const QString stateKey = QStringLiteral("state");
} // namespace

QVariantMap DeviceRecord::toPlist() const
{
    return {{udidKey, udid},
            {nameKey, name},
            {deviceTypeKey, deviceType},
            {runtimeKey, runtime},
            {stateKey, qint64(state)}};
}

std::optional<DeviceRecord> DeviceRecord::read(const QString &folder, QString *error)
{
    const QString path = folder + QStringLiteral("/device.plist");
    QString reason;
    const auto plist = PlistIO::readDictionary(path, PlistIO::recordSizeLimit, &reason);
    auto fail = [error](const QString &why) {
        if (error) {
            *error = QStringLiteral("Unable to read %1").arg(why);
        }
        return std::nullopt;
    };
    if (!plist) {
        return fail(reason); // names the file already
    }
    auto invalid = [&fail, &path](const QString &why) {
        return fail(QStringLiteral("%1: %2").arg(path, why));
    };
    DeviceRecord record;
    record.udid = plist->value(udidKey).toString();
    record.name = plist->value(nameKey).toString();
    record.deviceType = plist->value(deviceTypeKey).toString();
    record.runtime = plist->value(runtimeKey).toString();
    record.path = folder;
    const QVariant state = plist->value(stateKey);
    if (state.typeId() != QMetaType::LongLong || !SimIdentifiers::isValidState(state.toInt())) {
        return invalid(QStringLiteral("invalid state"));
    }
    record.state = state.toInt();
    if (record.udid != QFileInfo(folder).fileName() || !SimIdentifiers::isUuidText(record.udid)) {
        return invalid(QStringLiteral("UDID does not match the folder"));
    }
    if (record.name.isEmpty() || record.deviceType.isEmpty() || record.runtime.isEmpty()) {
        return invalid(QStringLiteral("missing name, device type or runtime"));
    }
    return record;
}
