// `xcrun simctl`: the device set's command line. The selected Xcode's
// profiles decide which device types and runtimes exist. Every command checks
// all of its arguments before it changes anything; failures print one clear
// line on standard error and end with a non-zero status.
#pragma once

#include "deviceset.h"
#include "xcodeprofiles.h"

#include <QStringList>

class Simctl
{
public:
    Simctl();

    int run(const QStringList &arguments);

private:
    int list(const QStringList &arguments);
    int create(const QStringList &arguments);
    int remove(const QStringList &arguments);
    int erase(const QStringList &arguments);
    int boot(const QStringList &arguments);
    int shutdown(const QStringList &arguments);
    int install(const QStringList &arguments);
    int uninstall(const QStringList &arguments);
    int launch(const QStringList &arguments);
    int addmedia(const QStringList &arguments);

    // A UDID (any case) or "booted" (the first booted device).
    std::optional<DeviceRecord> device(const QString &udid, QString *error) const;

    DeviceSet m_set;
    XcodeProfiles m_profiles;
};

namespace Xcrun {
int run(const QStringList &arguments);
}
