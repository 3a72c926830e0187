// What `simctl list` prints, in text and as JSON, for a device set seen
// through one Xcode's profiles.
//
// Text:
//   == Device Types ==
//   iPhone 6 (com.apple.CoreSimulator.SimDeviceType.iPhone-6)
//   == Runtimes ==
//   iOS 10.0 (10.0 - 14A345) (com.apple.CoreSimulator.SimRuntime.iOS-10-0)
//   == Devices ==
//   -- iOS 10.0 --
//       iPhone 6 (<UDID>) (Booted)
//   -- Unavailable: com.apple.CoreSimulator.SimRuntime.iOS-9-3 --
//       iPhone 6 (<UDID>) (Shutdown) (unavailable, runtime profile not found)
//   == Device Pairs ==
// JSON: {"devicetypes": [{name, identifier}], "runtimes": [{name, version,
// buildversion, identifier, availability}], "devices": {<runtime name or
// identifier>: [{name, udid, state, availability}]}, "pairs": {}}
#pragma once

#include "devicerecord.h"
#include "xcodeprofiles.h"

#include <QJsonObject>
#include <QStringList>

class SimctlListing
{
public:
    enum class Section { DeviceTypes = 1, Runtimes = 2, Devices = 4, Pairs = 8, All = 15 };

    SimctlListing(XcodeProfiles profiles, QList<DeviceRecord> devices);

    QStringList text(Section sections) const;
    QJsonObject json(Section sections) const;

private:
    struct Group
    {
        QString title; // runtime name, or the identifier for unavailable ones
        bool available = true;
        QList<const DeviceRecord *> devices;
    };
    QList<Group> groups() const;

    XcodeProfiles m_profiles;
    QList<DeviceRecord> m_devices;
};
