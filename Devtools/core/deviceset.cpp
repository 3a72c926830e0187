#include "deviceset.h"

#include "devicelock.h"
#include "fileops.h"
#include "plistio.h"
#include "safefile.h"
#include "simidentifiers.h"
#include "systemlog.h"
#include "treeremover.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

void setError(QString *error, const QString &text)
{
    if (error) {
        *error = text;
    }
}

void setCode(int *code, int value)
{
    if (code) {
        *code = value;
    }
}

QString invalidDevice(const QString &udid)
{
    return QStringLiteral("Invalid device: %1").arg(udid);
}

bool writeRecord(const DeviceRecord &record, QString *error)
{
    return PlistIO::writeXml(record.plistPath(), record.toPlist(), error);
}

bool validDeviceName(const QString &name)
{
    return !name.trimmed().isEmpty() && name.size() <= 256 && !name.contains(QLatin1Char('\n')) &&
           !name.contains(QLatin1Char('\0'));
}

} // namespace

DeviceSet::DeviceSet(QString path) : m_path(std::move(path))
{}

std::optional<QString> DeviceSet::normalizedUdid(const QString &text)
{
    const QString upper = text.toUpper();
    if (!SimIdentifiers::isUuidText(upper)) {
        return std::nullopt;
    }
    return upper;
}

QStringList DeviceSet::dataSkeleton()
{
    return {QStringLiteral("Containers/Bundle/Application"),
            QStringLiteral("Containers/Data/Application"),
            QStringLiteral("Containers/Shared/AppGroup"),
            QStringLiteral("Media/DCIM/100APPLE"),
            QStringLiteral("Library/Preferences"),
            QStringLiteral("tmp")};
}

QList<DeviceRecord> DeviceSet::devices(QStringList *problems) const
{
    QList<DeviceRecord> result;
    const QDir dir(m_path);
    // A linked device folder is not the set's own: never listed, never changed.
    const auto entries = dir.entryList(QDir::Dirs | QDir::NoSymLinks | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        if (!SimIdentifiers::isUuidText(entry)) {
            continue;
        }
        QString error;
        if (auto record = DeviceRecord::read(dir.filePath(entry), &error)) {
            result.append(*record);
        } else if (problems) {
            problems->append(error);
        }
    }
    std::sort(result.begin(), result.end(), [](const DeviceRecord &a, const DeviceRecord &b) {
        return a.name != b.name ? a.name < b.name : a.udid < b.udid;
    });
    return result;
}

std::optional<DeviceRecord> DeviceSet::device(const QString &udid, QString *error) const
{
    const auto normalized = normalizedUdid(udid);
    if (!normalized) {
        setError(error, invalidDevice(udid));
        return std::nullopt;
    }
    const QString folder = m_path + QLatin1Char('/') + *normalized;
    if (!SafeFile::isRealFolder(folder)) {
        setError(error, invalidDevice(udid));
        return std::nullopt;
    }
    return DeviceRecord::read(folder, error);
}

std::optional<DeviceRecord> DeviceSet::create(const QString &name, const QString &deviceType,
                                              const QString &runtime, QString *error)
{
    if (!validDeviceName(name)) {
        setError(error, QStringLiteral("Invalid device name: '%1'").arg(name));
        return std::nullopt;
    }
    if (!QDir().mkpath(m_path)) {
        setError(error, QStringLiteral("Unable to create the device set at %1").arg(m_path));
        return std::nullopt;
    }
    DeviceRecord record;
    record.udid = SimIdentifiers::makeUuidText();
    record.name = name;
    record.deviceType = deviceType;
    record.runtime = runtime;
    record.state = SimIdentifiers::stateShutdown;
    // Built under a hidden name and moved into place whole.
    const QString staging = FileOps::stagingPath(m_path);
    record.path = staging;
    if (!QDir().mkpath(staging) ||
        !FileOps::makeFolders(record.dataPath(), dataSkeleton(), error) ||
        !writeRecord(record, error)) {
        TreeRemover::remove(staging);
        return std::nullopt;
    }
    record.path = m_path + QLatin1Char('/') + record.udid;
    if (!FileOps::renamePath(staging, record.path, error)) {
        TreeRemover::remove(staging);
        return std::nullopt;
    }
    SystemLog::append(record.udid, record.name, QStringLiteral("Device created"));
    return record;
}

// Reads the device again (the caller holds its lock) and refuses it unless it
// is shut down; `refusal` gets the state's name.
std::optional<DeviceRecord> DeviceSet::rereadShutDown(const QString &path, const QString &refusal,
                                                      QString *error, int *code)
{
    auto record = DeviceRecord::read(path, error);
    if (record && record->state != SimIdentifiers::stateShutdown) {
        setError(error, refusal.arg(SimIdentifiers::stateName(record->state)));
        setCode(code, SimIdentifiers::incorrectStateErrorCode);
        return std::nullopt;
    }
    return record;
}

bool DeviceSet::remove(const QString &udid, QString *error, int *code)
{
    auto record = device(udid, error);
    if (!record) {
        return false;
    }
    DeviceLock lock(record->path);
    record = rereadShutDown(record->path,
                            QStringLiteral("Unable to delete a device in the current state: %1"),
                            error, code);
    if (!record) {
        return false;
    }
    if (!FileOps::removeTree(record->path, m_path, error)) {
        return false;
    }
    SystemLog::append(record->udid, record->name, QStringLiteral("Device deleted"));
    return true;
}

bool DeviceSet::erase(const QString &udid, QString *error, int *code)
{
    auto record = device(udid, error);
    if (!record) {
        return false;
    }
    DeviceLock lock(record->path);
    record = rereadShutDown(
        record->path, QStringLiteral("Unable to erase contents and settings in current state: %1"),
        error, code);
    if (!record) {
        return false;
    }
    const QString fresh = FileOps::stagingPath(record->path);
    if (!QDir().mkpath(fresh) || !FileOps::makeFolders(fresh, dataSkeleton(), error)) {
        TreeRemover::remove(fresh);
        return false;
    }
    // A linked data folder goes as a link; its target keeps its contents.
    if (SafeFile::existsWithoutFollowing(record->dataPath()) &&
        !FileOps::removeTree(record->dataPath(), record->path, error)) {
        TreeRemover::remove(fresh);
        return false;
    }
    if (!FileOps::renamePath(fresh, record->dataPath(), error)) {
        return false;
    }
    SystemLog::append(record->udid, record->name, QStringLiteral("Erased contents and settings"));
    return true;
}

bool DeviceSet::changeState(const QString &udid, const QList<int> &from, const QList<int> &steps,
                            const QString &action, QString *error, int *code)
{
    auto record = device(udid, error);
    if (!record) {
        return false;
    }
    DeviceLock lock(record->path);
    record = DeviceRecord::read(record->path, error);
    if (!record) {
        return false;
    }
    if (!from.contains(record->state)) {
        setError(error, QStringLiteral("Unable to %1 device in current state: %2")
                            .arg(action, SimIdentifiers::stateName(record->state)));
        setCode(code, SimIdentifiers::incorrectStateErrorCode);
        return false;
    }
    for (int state : steps) {
        const int previous = record->state;
        record->state = state;
        if (!writeRecord(*record, error)) {
            return false;
        }
        SystemLog::append(
            record->udid, record->name,
            QStringLiteral("Device state changed from %1 to %2")
                .arg(SimIdentifiers::stateName(previous), SimIdentifiers::stateName(state)));
    }
    return true;
}
