// What `simctl list` prints, in text and as JSON, for a device set seen
// through one Xcode's profiles, laid out as the vendor's tool lays it out.
//
// Text:
//   == Device Types ==
//   iPhone 6 (com.apple.CoreSimulator.SimDeviceType.iPhone-6)
//   == Runtimes ==
//   iOS 10.0 (10.0 - 14A345) (com.apple.CoreSimulator.SimRuntime.iOS-10-0)
//   == Devices ==
//   -- iOS 10.0 --
//       iPhone 6 (<UDID>) (Booted)
//       Resizable iPad (<UDID>) (Shutdown) (unavailable, device type profile not found)
//   -- Unavailable: com.apple.CoreSimulator.SimRuntime.iOS-9-3 --
//       iPhone 6 (<UDID>) (Shutdown) (unavailable, runtime profile not found)
//   == Device Pairs ==
//
// Every runtime of the Xcode has a group (empty or not), by platform, then
// version; devices whose runtime the Xcode lacks follow in groups of their
// runtime's identifier, in the same order. Within a group devices go in
// device-type order (iPhones before iPads), then by name.
//
// JSON (JsonText): {"devicetypes": [{name, identifier}], "runtimes":
// [{buildversion, availability, name, identifier, version}], "devices":
// {<runtime name, or identifier when missing>: [{state, availability, name,
// udid}]}, "pairs": {}}.
#pragma once

#include "devicerecord.h"
#include "xcodeprofiles.h"

#include <QStringList>

class SimctlListing
{
public:
    enum class Section { DeviceTypes = 1, Runtimes = 2, Devices = 4, Pairs = 8, All = 15 };

    SimctlListing(XcodeProfiles profiles, QList<DeviceRecord> devices);

    QStringList text(Section sections) const;
    QString json(Section sections) const;

private:
    struct Group
    {
        QString runtime;                         // the runtime's identifier
        const RuntimeProfile *profile = nullptr; // null when the Xcode lacks it
        QList<const DeviceRecord *> devices;
    };
    QList<Group> groups() const;
    static int deviceTypeOrder(const QString &identifier);
    // "(available)" or "(unavailable, <reason>)".
    QString availability(const DeviceRecord &device) const;

    XcodeProfiles m_profiles;
    QList<DeviceRecord> m_devices;
};
