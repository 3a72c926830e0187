#include "Marrowkit/Connection/displaynames.h"

#include "Marrowkit/foundation/findduplicates.h"

namespace DisplayNames {

QHash<QString, QString> deviceNameMap(const QList<SimulatorDevicePtr> &devices)
{
    QStringList names;
    QStringList withVersions;
    for (const SimulatorDevicePtr &device : devices) {
        names.append(device->name());
        withVersions.append(device->name() + QStringLiteral(" (") + device->version() +
                            QLatin1Char(')'));
    }
    const QList<QString> duplicateNames = findDuplicates(names);
    const QList<QString> duplicateVersions =
        duplicateNames.isEmpty() ? QList<QString>() : findDuplicates(withVersions);
    QHash<QString, QString> map;
    for (qsizetype i = 0; i < devices.size(); ++i) {
        const SimulatorDevicePtr &device = devices.at(i);
        if (!duplicateNames.contains(names.at(i))) {
            map.insert(device->uuid(), names.at(i));
        } else if (!duplicateVersions.contains(withVersions.at(i))) {
            map.insert(device->uuid(), withVersions.at(i));
        } else {
            map.insert(device->uuid(), device->longName());
        }
    }
    return map;
}

QList<std::pair<SimulatorAppPtr, QString>> appNameMapForDevice(const SimulatorDevice &device)
{
    QStringList names;
    for (const SimulatorAppPtr &app : device.apps()) {
        names.append(app->name());
    }
    const QList<QString> duplicates = findDuplicates(names);
    QList<std::pair<SimulatorAppPtr, QString>> pairs;
    for (const SimulatorAppPtr &app : device.apps()) {
        pairs.append({app, duplicates.contains(app->name())
                               ? app->name() + QStringLiteral(" (") + app->bundleIdentifier() +
                                     QLatin1Char(')')
                               : app->name()});
    }
    return pairs;
}

} // namespace DisplayNames
