#include "simctllisting.h"

#include "simidentifiers.h"

#include <QJsonArray>

namespace {

bool has(SimctlListing::Section sections, SimctlListing::Section section)
{
    return (int(sections) & int(section)) != 0;
}

} // namespace

SimctlListing::SimctlListing(XcodeProfiles profiles, QList<DeviceRecord> devices)
    : m_profiles(std::move(profiles)), m_devices(std::move(devices))
{}

// Available devices under their runtime (every runtime of the Xcode gets a
// group, empty or not), then the others under "Unavailable".
QList<SimctlListing::Group> SimctlListing::groups() const
{
    QList<Group> result;
    for (const RuntimeProfile &runtime : m_profiles.runtimes()) {
        Group group{runtime.name, true, {}};
        for (const DeviceRecord &device : m_devices) {
            if (device.runtime == runtime.identifier && m_profiles.isAvailable(device)) {
                group.devices.append(&device);
            }
        }
        result.append(group);
    }
    for (const DeviceRecord &device : m_devices) {
        if (m_profiles.isAvailable(device)) {
            continue;
        }
        auto found = std::find_if(result.begin(), result.end(), [&device](const Group &group) {
            return !group.available && group.title == device.runtime;
        });
        if (found == result.end()) {
            result.append(Group{device.runtime, false, {}});
            found = result.end() - 1;
        }
        found->devices.append(&device);
    }
    return result;
}

QStringList SimctlListing::text(Section sections) const
{
    QStringList lines;
    if (has(sections, Section::DeviceTypes)) {
        lines.append(QStringLiteral("== Device Types =="));
        for (const DeviceTypeProfile &type : m_profiles.deviceTypes()) {
            lines.append(QStringLiteral("%1 (%2)").arg(type.name, type.identifier));
        }
    }
    if (has(sections, Section::Runtimes)) {
        lines.append(QStringLiteral("== Runtimes =="));
        for (const RuntimeProfile &runtime : m_profiles.runtimes()) {
            lines.append(
                QStringLiteral("%1 (%2 - %3) (%4)")
                    .arg(runtime.name, runtime.version, runtime.build, runtime.identifier));
        }
    }
    if (has(sections, Section::Devices)) {
        lines.append(QStringLiteral("== Devices =="));
        for (const Group &group : groups()) {
            lines.append(group.available
                             ? QStringLiteral("-- %1 --").arg(group.title)
                             : QStringLiteral("-- Unavailable: %1 --").arg(group.title));
            for (const DeviceRecord *device : group.devices) {
                QString line =
                    QStringLiteral("    %1 (%2) (%3)")
                        .arg(device->name, device->udid, SimIdentifiers::stateName(device->state));
                if (!group.available) {
                    line += QStringLiteral(" (unavailable, %1)")
                                .arg(m_profiles.unavailabilityReason(*device));
                }
                lines.append(line);
            }
        }
    }
    if (has(sections, Section::Pairs)) {
        lines.append(QStringLiteral("== Device Pairs =="));
    }
    return lines;
}

QJsonObject SimctlListing::json(Section sections) const
{
    QJsonObject root;
    if (has(sections, Section::DeviceTypes)) {
        QJsonArray types;
        for (const DeviceTypeProfile &type : m_profiles.deviceTypes()) {
            types.append(QJsonObject{{QStringLiteral("name"), type.name},
                                     {QStringLiteral("identifier"), type.identifier}});
        }
        root.insert(QStringLiteral("devicetypes"), types);
    }
    if (has(sections, Section::Runtimes)) {
        QJsonArray runtimes;
        for (const RuntimeProfile &runtime : m_profiles.runtimes()) {
            runtimes.append(
                QJsonObject{{QStringLiteral("name"), runtime.name},
                            {QStringLiteral("version"), runtime.version},
                            {QStringLiteral("buildversion"), runtime.build},
                            {QStringLiteral("identifier"), runtime.identifier},
                            {QStringLiteral("availability"), QStringLiteral("(available)")}});
        }
        root.insert(QStringLiteral("runtimes"), runtimes);
    }
    if (has(sections, Section::Devices)) {
        QJsonObject devices;
        for (const Group &group : groups()) {
            QJsonArray list;
            for (const DeviceRecord *device : group.devices) {
                const QString availability =
                    group.available ? QStringLiteral("(available)")
                                    : QStringLiteral("(unavailable, %1)")
                                          .arg(m_profiles.unavailabilityReason(*device));
                list.append(
                    QJsonObject{{QStringLiteral("name"), device->name},
                                {QStringLiteral("udid"), device->udid},
                                {QStringLiteral("state"), SimIdentifiers::stateName(device->state)},
                                {QStringLiteral("availability"), availability}});
            }
            devices.insert(group.title, list);
        }
        root.insert(QStringLiteral("devices"), devices);
    }
    if (has(sections, Section::Pairs)) {
        root.insert(QStringLiteral("pairs"), QJsonObject());
    }
    return root;
}
