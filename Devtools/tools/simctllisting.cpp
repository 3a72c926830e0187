#include "simctllisting.h"

#include "jsontext.h"
#include "simidentifiers.h"

#include <algorithm>
#include <tuple>

namespace {

bool has(SimctlListing::Section sections, SimctlListing::Section section)
{
    return (int(sections) & int(section)) != 0;
}

QList<int> versionNumbers(const QString &version)
{
    QList<int> numbers;
    for (const QString &piece : version.split(QLatin1Char('.'))) {
        numbers.append(piece.toInt());
    }
    return numbers;
}

// Platform, then version, for a runtime the Xcode lacks; unreadable
// identifiers last.
auto missingRuntimeOrder(const QString &identifier)
{
    const auto parsed = SimIdentifiers::parseRuntimeIdentifier(identifier);
    return parsed ? std::make_tuple(0, parsed->first, versionNumbers(parsed->second), identifier)
                  : std::make_tuple(1, QString(), QList<int>(), identifier);
}

} // namespace

SimctlListing::SimctlListing(XcodeProfiles profiles, QList<DeviceRecord> devices)
    : m_profiles(std::move(profiles)), m_devices(std::move(devices))
{}

// The tools' order of device types (the same for every Xcode); types the
// stand-in does not know go last.
int SimctlListing::deviceTypeOrder(const QString &identifier)
{
    const auto &known = SimIdentifiers::knownDeviceTypes();
    for (qsizetype i = 0; i < known.size(); ++i) {
        if (SimIdentifiers::deviceTypeIdentifier(known[i].name) == identifier) {
            return int(i);
        }
    }
    return int(known.size());
}

QString SimctlListing::availability(const DeviceRecord &device) const
{
    const QString reason = m_profiles.unavailabilityReason(device);
    return reason.isEmpty() ? QStringLiteral("(available)")
                            : QStringLiteral("(unavailable, %1)").arg(reason);
}

QList<SimctlListing::Group> SimctlListing::groups() const
{
    QList<Group> result;
    for (const RuntimeProfile &runtime : m_profiles.runtimes()) {
        result.append(Group{runtime.identifier, &runtime, {}});
    }
    QList<Group> missing;
    for (const DeviceRecord &device : m_devices) {
        auto found = std::find_if(result.begin(), result.end(), [&device](const Group &group) {
            return group.runtime == device.runtime;
        });
        if (found == result.end()) {
            found = std::find_if(missing.begin(), missing.end(), [&device](const Group &group) {
                return group.runtime == device.runtime;
            });
            if (found == missing.end()) {
                missing.append(Group{device.runtime, nullptr, {}});
                found = missing.end() - 1;
            }
        }
        found->devices.append(&device);
    }
    std::sort(missing.begin(), missing.end(), [](const Group &a, const Group &b) {
        return missingRuntimeOrder(a.runtime) < missingRuntimeOrder(b.runtime);
    });
    result.append(missing);
    for (Group &group : result) {
        std::sort(group.devices.begin(), group.devices.end(),
                  [](const DeviceRecord *a, const DeviceRecord *b) {
                      return std::make_tuple(deviceTypeOrder(a->deviceType), a->name, a->udid) <
                             std::make_tuple(deviceTypeOrder(b->deviceType), b->name, b->udid);
                  });
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
            lines.append(group.profile
                             ? QStringLiteral("-- %1 --").arg(group.profile->name)
                             : QStringLiteral("-- Unavailable: %1 --").arg(group.runtime));
            for (const DeviceRecord *device : group.devices) {
                QString line =
                    QStringLiteral("    %1 (%2) (%3)")
                        .arg(device->name, device->udid, SimIdentifiers::stateName(device->state));
                if (!m_profiles.isAvailable(*device)) {
                    line += QLatin1Char(' ') + availability(*device);
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

QString SimctlListing::json(Section sections) const
{
    JsonText root = JsonText::object();
    if (has(sections, Section::DeviceTypes)) {
        JsonText types = JsonText::array();
        for (const DeviceTypeProfile &type : m_profiles.deviceTypes()) {
            types.append(
                JsonText::object()
                    .insert(QStringLiteral("name"), JsonText::text(type.name))
                    .insert(QStringLiteral("identifier"), JsonText::text(type.identifier)));
        }
        root.insert(QStringLiteral("devicetypes"), types);
    }
    if (has(sections, Section::Runtimes)) {
        JsonText runtimes = JsonText::array();
        for (const RuntimeProfile &runtime : m_profiles.runtimes()) {
            runtimes.append(
                JsonText::object()
                    .insert(QStringLiteral("buildversion"), JsonText::text(runtime.build))
                    .insert(QStringLiteral("availability"),
                            JsonText::text(QStringLiteral("(available)")))
                    .insert(QStringLiteral("name"), JsonText::text(runtime.name))
                    .insert(QStringLiteral("identifier"), JsonText::text(runtime.identifier))
                    .insert(QStringLiteral("version"), JsonText::text(runtime.version)));
        }
        root.insert(QStringLiteral("runtimes"), runtimes);
    }
    if (has(sections, Section::Devices)) {
        JsonText devices = JsonText::object();
        for (const Group &group : groups()) {
            JsonText list = JsonText::array();
            for (const DeviceRecord *device : group.devices) {
                list.append(JsonText::object()
                                .insert(QStringLiteral("state"),
                                        JsonText::text(SimIdentifiers::stateName(device->state)))
                                .insert(QStringLiteral("availability"),
                                        JsonText::text(availability(*device)))
                                .insert(QStringLiteral("name"), JsonText::text(device->name))
                                .insert(QStringLiteral("udid"), JsonText::text(device->udid)));
            }
            devices.insert(group.profile ? group.profile->name : group.runtime, list);
        }
        root.insert(QStringLiteral("devices"), devices);
    }
    if (has(sections, Section::Pairs)) {
        root.insert(QStringLiteral("pairs"), JsonText::object());
    }
    return root.toString();
}
