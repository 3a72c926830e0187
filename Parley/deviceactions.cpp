#define MARROWBY_LOG_SOURCE "Parley/DeviceInspector"

#include "deviceactions.h"

#include "Marrowkit/platform/stringtable.h"

#include "Marrowkit/devtools/developertools.h"
#include "Marrowkit/foundation/log.h"
#include "Marrowkit/foundation/performtask.h"
#include "Marrowkit/platform/bundle.h"
#include "Marrowkit/platform/filemanager.h"
#include "Marrowkit/platform/pasteboard.h"
#include "Marrowkit/plist/keyedarchiver.h"

#include <QVariantList>

namespace {

QString text(const char *key, const char *english)
{
    return StringTable::localizedString(key, english);
}

QString quoted(const QString &name)
{
    return QLatin1Char('"') + name + QLatin1Char('"');
}

void runProgram(const QString &program, const QStringList &arguments)
{
    // The programs' output and status are not used: their effects show in
    // the device set, which the observers report.
    (void)performTask(developerToolPath(program), arguments);
}

QUrl appending(const QUrl &folder, const QString &name)
{
    QString path = folder.toLocalFile();
    if (!path.endsWith(QLatin1Char('/'))) {
        path += QLatin1Char('/');
    }
    return QUrl::fromLocalFile(path + name);
}

} // namespace

void DeviceActions::launchApp(const SimulatorApp &app) const
{
    m_control->with<bool>([&app](MarrowsimController &c) { return c.launchApp(app); }, false);
}

void DeviceActions::resetApp(const SimulatorApp &app) const
{
    if (!app.sandboxURL()) {
        return;
    }
    // All three are emptied whatever the others gave.
    bool failed = false;
    for (const char *folder : {"Documents", "Library", "tmp"}) {
        const auto emptied = removeContentsOfDirectoryAtURL(
            appending(*app.sandboxURL(), QString::fromLatin1(folder)));
        failed = failed || emptied.isFailure();
    }
    if (failed) {
        m_notifier.deliverNotification(
            StringTable::formatted(
                text("parley.notification.reset.error.title", "Error resetting %@"), app.name()),
            text("parley.notification.reset.error.informative-text",
                 "Contents of Documents, Library, and tmp could not be removed"));
    } else {
        m_notifier.deliverNotification(
            StringTable::formatted(
                text("parley.notification.reset.success.title", "%@ was resetted"), app.name()),
            text("parley.notification.reset.success.informative-text",
                 "Contents of Documents, Library, and tmp were removed"));
    }
}

void DeviceActions::uninstallApp(const SimulatorApp &app) const
{
    const auto device = app.device();
    if (!device) {
        return;
    }
    const bool uninstalled = m_control->with<bool>(
        [&app](MarrowsimController &c) { return c.uninstallApp(app); }, false);
    if (uninstalled) {
        m_notifier.deliverNotification(
            StringTable::formatted(text("parley.notification.uninstall.success.title", "%@"),
                                   app.name()),
            StringTable::formatted(text("parley.notification.uninstall.success.informative-text",
                                        "was uninstalled from %@"),
                                   device->name()));
    } else {
        m_notifier.deliverNotification(
            StringTable::formatted(
                text("parley.notification.uninstall.error.title", "Error uninstalling %@"),
                app.name()),
            StringTable::formatted(text("parley.notification.uninstall.error.informative-text",
                                        "Could not be removed from %@"),
                                   device->name()));
    }
}

void DeviceActions::eraseDevice(const SimulatorDevice &device) const
{
    m_control->with<bool>(
        [&device](MarrowsimController &c) { return c.resetContentsAndSettingsOfDevice(device); },
        false);
}

void DeviceActions::addPhoto(const QUrl &url, const SimulatorDevice &device) const
{
    // Only files of this machine: the URL came over the bus.
    if (!url.isLocalFile() || url.toLocalFile().isEmpty()) {
        return;
    }
    const QUrl local = QUrl::fromLocalFile(url.toLocalFile());
    m_control->with<bool>(
        [&local, &device](MarrowsimController &c) { return c.addPhoto(local, device); }, false);
}

void DeviceActions::quitSimulator() const
{
    if (const auto xcode = DeveloperTools().currentlySelectedXcode()) {
        runProgram(QStringLiteral("osascript"),
                   {QStringLiteral("-e"), QStringLiteral("tell app ") +
                                              quoted(xcode->simulatorAppName()) +
                                              QStringLiteral(" to quit")});
    }
}

void DeviceActions::launchSimulator(const SimulatorDevice &device, bool hidden) const
{
    const DeveloperTools tools;
    const auto xcode = tools.currentlySelectedXcode();
    if (!xcode || xcode->simulatorAppURL().path().isEmpty()) {
        return;
    }
    QString application = xcode->simulatorAppURL().path();
    tools.quitSimulatorIfRunning(device.deviceType());
    const bool watch = isWatch(device.deviceType());
    if (const auto again = tools.currentlySelectedXcode(); again && watch) {
        application = again->watchSimulatorAppURL().path();
    }
    runProgram(QStringLiteral("open"), {application, QStringLiteral("--args"),
                                        QStringLiteral("-CurrentDeviceUDID"), device.uuid()});
    if (hidden) {
        const QString process =
            watch ? QStringLiteral("Simulator (Watch)") : QStringLiteral("Simulator");
        runProgram(QStringLiteral("osascript"),
                   {QStringLiteral("-e"),
                    QStringLiteral("tell application ") + quoted(QStringLiteral("Finder")),
                    QStringLiteral("-e"),
                    QStringLiteral("set visible of process ") + quoted(process) +
                        QStringLiteral(" to false"),
                    QStringLiteral("-e"), QStringLiteral("end tell")});
    }
}

void DeviceActions::deleteDevice(const SimulatorDevice &device, bool booted) const
{
    if (booted) {
        DeveloperTools().quitSimulatorIfRunning(device.deviceType());
    }
    runProgram(QStringLiteral("xcrun"),
               {QStringLiteral("simctl"), QStringLiteral("delete"), device.uuid()});
}

void DeviceActions::copyPathOfApp(const SimulatorApp &app) const
{
    if (app.sandboxURL()) {
        copyPath(app.sandboxURL()->toLocalFile(), app.name());
    }
}

void DeviceActions::copyPathOfDevice(const SimulatorDevice &device) const
{
    if (device.containerURL()) {
        copyPath(device.containerURL()->toLocalFile(), device.name());
    }
}

void DeviceActions::copyPath(const QString &path, const QString &name) const
{
    if (path.isEmpty() || !writeString(path)) {
        return;
    }
    m_notifier.deliverNotification(
        StringTable::formatted(
            text("parley.notification.copy-path.title", "path copied to pasteboard"), name),
        path);
}

std::optional<QByteArray> DeviceActions::appGroupFolders(const SimulatorApp &app)
{
    const auto groups = app.appGroups();
    if (!groups) {
        return std::nullopt;
    }
    QVariantList urls;
    for (const QString &group : *groups) {
        if (const auto url = app.containerURLForAppGroup(group)) {
            urls.append(*url);
        }
    }
    return KeyedArchiver::archivedDataWithRootObject(urls).value();
}

std::optional<QByteArray> DeviceActions::appGroupFolder(const QString &group,
                                                        const SimulatorApp &app)
{
    const auto url = app.containerURLForAppGroup(group);
    return url ? KeyedArchiver::archivedDataWithRootObject(*url).value() : std::nullopt;
}
