// The device set on disk: <set>/<UDID>/device.plist plus the device's data
// folder. Every change takes the device's lock, re-reads the device, writes
// device.plist atomically and appends a line to the device's system.log.
// Used on one thread at a time per instance; processes are kept apart by the
// per-device lock.
#pragma once

#include "devicerecord.h"
#include "paths.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class DeviceSet
{
public:
    explicit DeviceSet(QString path = DevtoolsPaths::deviceSetPath());

    QString path() const { return m_path; }

    // Every readable device, sorted by name then UDID; unreadable device
    // folders are named in `problems`. Linked device folders are skipped.
    QList<DeviceRecord> devices(QStringList *problems = nullptr) const;
    // "Invalid device: <udid>" when there is no such device.
    std::optional<DeviceRecord> device(const QString &udid, QString *error = nullptr) const;

    std::optional<DeviceRecord> create(const QString &name, const QString &deviceType,
                                       const QString &runtime, QString *error = nullptr);
    // A refusal because of the device's state also sets `code` (when given)
    // to SimIdentifiers::incorrectStateErrorCode; other failures leave it.

    // Refused unless the device is shut down. Links in the device's folder
    // are removed as links (FileOps::removeTree).
    bool remove(const QString &udid, QString *error = nullptr, int *code = nullptr);
    // Empties the data folder (a linked one is replaced, its target left
    // alone); refused unless the device is shut down.
    bool erase(const QString &udid, QString *error = nullptr, int *code = nullptr);

    // Refused ("Unable to <action> device in current state: <state>") unless
    // the device is in one of `from`; then writes each state of `steps`.
    bool changeState(const QString &udid, const QList<int> &from, const QList<int> &steps,
                     const QString &action, QString *error = nullptr, int *code = nullptr);

    // The folders of a fresh data folder.
    static QStringList dataSkeleton();
    // The UDID as stored (upper case), or nothing when the text is no UUID.
    static std::optional<QString> normalizedUdid(const QString &text);

private:
    static std::optional<DeviceRecord> rereadShutDown(const QString &path, const QString &refusal,
                                                      QString *error, int *code);
    QString m_path;
};
