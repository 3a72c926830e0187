#include "iphonesimulator.h"

#include "frameworkloader.h"

#include "Marrowkit/foundation/performtask.h"
#include "Marrowkit/platform/bundle.h"

#include <QDir>
#include <QFileInfo>

#include <syslog.h>

namespace {

const QString dvtFoundation = QStringLiteral("com.apple.dt.DVTFoundation");
const QString devToolsFoundation = QStringLiteral("com.apple.DevToolsFoundation");
const QString coreSimulator = QStringLiteral("com.apple.CoreSimulator");
const QString remoteClient = QStringLiteral("com.apple.dt.DVTiPhoneSimulatorRemoteClient");

// This class logs to the system log, not to the program's log file.
void systemLog(const QString &message)
{
    syslog(LOG_NOTICE, "%s", message.toUtf8().constData());
}

const SimDeviceSetClass *deviceSetClass()
{
    auto *cls = static_cast<const SimDeviceSetClass *>(FrameworkLoader::symbol("SimDeviceSet"));
    return cls && cls->interfaceVersion == SIM_CORESIMULATOR_INTERFACE_VERSION ? cls : nullptr;
}

const SimDeviceClass *deviceClass()
{
    auto *cls = static_cast<const SimDeviceClass *>(FrameworkLoader::symbol("SimDevice"));
    return cls && cls->interfaceVersion == SIM_CORESIMULATOR_INTERFACE_VERSION ? cls : nullptr;
}

// The default set, released when the holder goes.
struct DefaultSet
{
    DefaultSet() : cls(deviceSetClass()), set(cls ? cls->defaultSet() : nullptr) {}
    ~DefaultSet()
    {
        if (set) {
            cls->release(set);
        }
    }
    DefaultSet(const DefaultSet &) = delete;
    DefaultSet &operator=(const DefaultSet &) = delete;
    explicit operator bool() const { return set; }

    const SimDeviceSetClass *cls;
    SimDeviceSetObject *set;
};

// Runs a device message that reports failure through an error slot.
bool sendWithErrorSlot(const std::function<int(char **)> &message, QString *error)
{
    char *slot = nullptr;
    const int ok = message(&slot);
    auto text = takeFrameworkText(slot);
    if (text && error) {
        *error = *text;
    }
    return ok && !text;
}

} // namespace

const QStringList &iPhoneSimulator::frameworkIdentifiers()
{
    static const QStringList identifiers{dvtFoundation, devToolsFoundation, coreSimulator,
                                         remoteClient};
    return identifiers;
}

void iPhoneSimulator::unloadSimulatorFrameworks()
{
    // Handlers of the frameworks that go would otherwise keep coming, beside
    // those registered with the frameworks loaded next.
    NotificationRegistration::endAll();
    for (const QString &identifier : frameworkIdentifiers()) {
        FrameworkLoader::unload(identifier);
    }
}

bool iPhoneSimulator::loadSimulatorFrameworkAtPath(const QString &developerDirectory)
{
    unloadSimulatorFrameworks();
    const QDir developer(developerDirectory);
    if (!FrameworkLoader::load(
            developer.filePath(QStringLiteral("../SharedFrameworks/DVTFoundation.framework")))) {
        return false;
    }
    if (!FrameworkLoader::load(developer.filePath(
            QStringLiteral("../OtherFrameworks/DevToolsFoundation.framework")))) {
        return false;
    }
    const QString coreSimulatorPath =
        developer.filePath(QStringLiteral("Library/PrivateFrameworks/CoreSimulator.framework"));
    if (!QFileInfo::exists(coreSimulatorPath)) {
        return false;
    }
    return FrameworkLoader::load(coreSimulatorPath);
}

QString iPhoneSimulator::versionStringForDevice(const SimDeviceHandle &device, bool detailed)
{
    QString version = device.runtimeVersionString().value_or(QString());
    if (!detailed) {
        return version;
    }
    return QStringLiteral("%1 (%2)").arg(version,
                                         device.runtimeBuildVersionString().value_or(QString()));
}

QString iPhoneSimulator::typeForDevice(const SimDeviceHandle &device)
{
    return device.deviceTypeName().value_or(QString());
}

std::optional<quint64> iPhoneSimulator::stateForDevice(const SimDeviceHandle &device)
{
    auto state = device.state();
    if (!state) {
        return std::nullopt;
    }
    return quint64(*state);
}

NotificationRegistration
iPhoneSimulator::registerNotificationHandlerOnDefaultDeviceSet(NotificationHandler handler)
{
    DefaultSet set;
    if (!set) {
        return {};
    }
    return NotificationRegistration::start(set.cls, set.set, deviceClass(), std::move(handler));
}

bool iPhoneSimulator::uninstallApp(const QString &bundleIdentifier, const SimDeviceHandle &device)
{
    if (device.isNull()) {
        return false;
    }
    const QByteArray identifier = bundleIdentifier.toUtf8();
    QString error;
    const bool ok = sendWithErrorSlot(
        [&](char **slot) {
            return device.deviceClass()->uninstallApplication(
                device.object(), identifier.constData(), nullptr, slot);
        },
        &error);
    if (!ok) {
        systemLog(QStringLiteral("Error uninstalling app %1: %2").arg(bundleIdentifier, error));
    }
    return ok;
}

QHash<QUuid, SimDeviceHandle> iPhoneSimulator::availableDevicesByUDID()
{
    QHash<QUuid, SimDeviceHandle> result;
    DefaultSet set;
    const SimDeviceClass *cls = deviceClass();
    if (!set || !cls) {
        return result;
    }
    char **udids = nullptr;
    SimDeviceObject **devices = nullptr;
    const size_t count = set.cls->devicesByUDID(set.set, &udids, &devices);
    for (size_t i = 0; i < count; ++i) {
        const SimDeviceHandle handle = SimDeviceHandle::adopt(cls, devices[i]);
        const QUuid uuid(takeFrameworkText(udids[i]).value_or(QString()));
        if (!uuid.isNull()) {
            result.insert(uuid, handle);
        }
    }
    freeFrameworkMemory(udids);
    freeFrameworkMemory(devices);
    return result;
}

QList<SimDeviceHandle> iPhoneSimulator::availableDevices()
{
    QList<SimDeviceHandle> result;
    DefaultSet set;
    const SimDeviceClass *cls = deviceClass();
    if (!set || !cls) {
        return result;
    }
    SimDeviceObject **devices = nullptr;
    const size_t count = set.cls->availableDevices(set.set, &devices);
    result.reserve(qsizetype(count));
    for (size_t i = 0; i < count; ++i) {
        result.append(SimDeviceHandle::adopt(cls, devices[i]));
    }
    freeFrameworkMemory(devices);
    return result;
}

bool iPhoneSimulator::addPhoto(const QUrl &url, const SimDeviceHandle &device)
{
    if (device.isNull()) {
        return false;
    }
    const QByteArray path = url.toLocalFile().toUtf8();
    QString error;
    const bool ok = sendWithErrorSlot(
        [&](char **slot) {
            return device.deviceClass()->addPhoto(device.object(), path.constData(), slot);
        },
        &error);
    if (!ok) {
        systemLog(QStringLiteral("error: %1").arg(error));
    }
    return ok;
}

bool iPhoneSimulator::launchApp(const QString &bundleIdentifier, const SimDeviceHandle &device)
{
    if (device.isNull()) {
        return false;
    }
    const QByteArray identifier = bundleIdentifier.toUtf8();
    return sendWithErrorSlot(
        [&](char **slot) {
            return device.deviceClass()->launchApplicationWithID(
                device.object(), identifier.constData(), nullptr, slot);
        },
        nullptr);
}

bool iPhoneSimulator::resetContentsAndSettingsForDevice(const SimDeviceHandle &device)
{
    // Erasing goes through the command-line tool, which also takes care of a
    // device that is still booted (it refuses, and says so).
    const QString udid = device.udid().value_or(QString());
    const auto output = performTask(developerToolPath(QStringLiteral("xcrun")),
                                    {QStringLiteral("simctl"), QStringLiteral("erase"), udid});
    systemLog(QStringLiteral("resetContentsAndSettingsForDevice error: %1")
                  .arg(output.value_or(QStringLiteral("(null)"))));
    return true;
}
