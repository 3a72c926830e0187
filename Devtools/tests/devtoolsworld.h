// Test helpers: run the stand-in's programs as processes in the test's HOME,
// and compare folder trees before and after a command.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

struct ToolRun
{
    int status = -1;
    QString out;
    QString err;
};

namespace devtoolsworld {

// Runs one stand-in program by name (xcrun, devtools, ...) with the current
// environment (so the HOME a TemporaryHome set) and waits for it.
ToolRun run(const QString &tool, const QStringList &arguments);
QString toolPath(const QString &tool);

// Path -> kind, size, contents digest and link target of everything under
// `root`; equal snapshots mean nothing changed.
QMap<QString, QString> snapshot(const QString &root);
// Entries added to or removed from `before` (changes count as both).
QStringList differences(const QMap<QString, QString> &before, const QMap<QString, QString> &after);

QString deviceSetPath();
QString devicePath(const QString &udid);
// The device's state number as its device.plist says; -1 when unreadable.
int deviceState(const QString &udid);
QString systemLog(const QString &udid);

// Devices of `simctl list -j` as (UDID, name, state, group) in list order.
struct ListedDevice
{
    QString udid;
    QString name;
    QString state;
    QString group;
    bool available = false;
};
QList<ListedDevice> listedDevices();
std::optional<ListedDevice> firstDevice(const QString &name, const QString &group,
                                        const QString &state = QString());

// Writes a minimal app bundle <folder>/<name>.app; groups go into its entitlements.
QString writeApp(const QString &folder, const QString &name, const QString &identifier,
                 const QString &version, const QStringList &groups = {});

} // namespace devtoolsworld
