#include "clisession.h"

#include "catalogueitems.h"

#include "Marrowkit/Connection/displaynames.h"
#include "Marrowkit/Connection/loginitem.h"
#include "Marrowkit/Connection/parleycontract.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <csignal>

namespace {

constexpr int catalogueTimeoutMs = 30000;
// A launch may wait 30 s for its device to boot before it is sent.
constexpr int requestTimeoutMs = 150000;
// The service says nothing of a failed uninstall, erase or deletion (the desktop's
// notifications do); the catalogue it pushes once the device set changed
// tells. It watches the set, so this is a few seconds at most.
constexpr int catalogueChangeTimeoutMs = 20000;

std::atomic<bool> interrupted{false};

extern "C" void noteInterrupt(int)
{
    interrupted = true;
}

QString stateName(const SimulatorDevice &device)
{
    return description(device.deviceState());
}

QString pathOf(const std::optional<QUrl> &url)
{
    return url ? url->toLocalFile() : QString();
}

} // namespace

struct CliSession::Command
{
    QString name;
    QString arguments;
    QString summary;
    int minimum;
    int maximum; // -1: any number
    QStringList options;
};

const QList<CliSession::Command> &CliSession::commands()
{
    static const QList<Command> table{
        {QStringLiteral("devices"),
         QString(),
         QStringLiteral("list the devices that hold apps"),
         0,
         0,
         {QStringLiteral("--json")}},
        {QStringLiteral("apps"),
         QStringLiteral("DEVICE"),
         QStringLiteral("list the apps of a device"),
         1,
         1,
         {QStringLiteral("--json")}},
        {QStringLiteral("launch"),
         QStringLiteral("DEVICE APP"),
         QStringLiteral("launch an app, booting its device in the Simulator first"),
         2,
         2,
         {}},
        {QStringLiteral("reset"),
         QStringLiteral("DEVICE APP"),
         QStringLiteral("move an app's Documents, Library and tmp contents to the Trash"),
         2,
         2,
         {}},
        {QStringLiteral("uninstall"),
         QStringLiteral("DEVICE APP"),
         QStringLiteral("uninstall an app, booting its device first"),
         2,
         2,
         {}},
        {QStringLiteral("erase"),
         QStringLiteral("DEVICE"),
         QStringLiteral("erase a device's contents and settings"),
         1,
         1,
         {}},
        {QStringLiteral("delete"),
         QStringLiteral("DEVICE"),
         QStringLiteral("delete a device from the device set"),
         1,
         1,
         {}},
        {QStringLiteral("add-photo"),
         QStringLiteral("DEVICE FILE..."),
         QStringLiteral("add image files to a device's photos"),
         2,
         -1,
         {}},
        {QStringLiteral("copy-path"),
         QStringLiteral("DEVICE [APP]"),
         QStringLiteral("print the folder of a device or an app's data, and copy it to the "
                        "clipboard"),
         1,
         2,
         {}},
        {QStringLiteral("groups"),
         QStringLiteral("DEVICE APP"),
         QStringLiteral("print the app-group folders of an app"),
         2,
         2,
         {}},
        {QStringLiteral("open-simulator"),
         QStringLiteral("DEVICE"),
         QStringLiteral("open the Simulator on a device"),
         1,
         1,
         {QStringLiteral("--hidden")}},
        {QStringLiteral("quit-simulator"),
         QString(),
         QStringLiteral("quit the Simulator"),
         0,
         0,
         {}},
        {QStringLiteral("watch"),
         QString(),
         QStringLiteral("print catalogues and updates as they arrive, until interrupted"),
         0,
         0,
         {}},
        {QStringLiteral("mount"),
         QStringLiteral("[PATH]"),
         QStringLiteral("run the volume at PATH (~/Volumes/Marrowby) until interrupted"),
         0,
         1,
         {}},
    };
    return table;
}

const CliSession::Command *CliSession::commandNamed(const QString &name)
{
    for (const Command &command : commands()) {
        if (command.name == name) {
            return &command;
        }
    }
    return nullptr;
}

CliSession::~CliSession()
{
    if (m_connector) {
        // The service goes on serving the other clients.
        m_connector->stop();
    }
}

void CliSession::printHelp(const Command *command)
{
    if (command) {
        m_out << "Usage: marrowby-cli " << command->name;
        for (const QString &option : command->options) {
            m_out << " [" << option << "]";
        }
        if (!command->arguments.isEmpty()) {
            m_out << ' ' << command->arguments;
        }
        m_out << "\n\n" << command->summary << ".\n";
        if (command->arguments.contains(QStringLiteral("DEVICE"))) {
            m_out << "\nDEVICE and APP are display names, names, bundle identifiers or uuids;\n"
                     "a prefix that names only one of them will do.\n";
        }
        m_out.flush();
        return;
    }
    m_out << "Usage: marrowby-cli COMMAND [ARGUMENTS]\n\n"
             "The simulated devices and their apps, through the Marrowby service.\n\n"
             "Commands:\n";
    for (const Command &each : commands()) {
        m_out << "  " << QString(each.name + QLatin1Char(' ') + each.arguments).leftJustified(26)
              << each.summary << '\n';
    }
    m_out << "\nmarrowby-cli COMMAND --help tells more about one command.\n";
    m_out.flush();
}

int CliSession::usage(const QString &problem)
{
    m_err << "marrowby-cli: " << problem << "\nTry 'marrowby-cli --help'.\n";
    m_err.flush();
    return 1;
}

int CliSession::fail(const QString &message)
{
    m_err << "marrowby-cli: " << message << '\n';
    m_err.flush();
    return 1;
}

int CliSession::run(const QStringList &arguments)
{
    if (arguments.isEmpty()) {
        return usage(QStringLiteral("no command given"));
    }
    const QString &first = arguments.constFirst();
    if (first == QStringLiteral("--help") || first == QStringLiteral("-h") ||
        first == QStringLiteral("help")) {
        const QString about = arguments.value(1);
        const Command *command = commandNamed(about);
        if (!about.isEmpty() && !command) {
            return usage(QStringLiteral("unknown command \"%1\"").arg(about));
        }
        printHelp(command);
        return 0;
    }
    const Command *command = commandNamed(first);
    if (!command) {
        return usage(QStringLiteral("unknown command \"%1\"").arg(first));
    }
    QStringList positional;
    QStringList options;
    for (const QString &argument : arguments.mid(1)) {
        if (argument == QStringLiteral("--help") || argument == QStringLiteral("-h")) {
            printHelp(command);
            return 0;
        }
        if (argument.startsWith(QStringLiteral("--"))) {
            if (!command->options.contains(argument)) {
                return usage(QStringLiteral("%1 takes no option %2").arg(command->name, argument));
            }
            options.append(argument);
        } else {
            positional.append(argument);
        }
    }
    if (positional.size() < command->minimum ||
        (command->maximum >= 0 && positional.size() > command->maximum)) {
        return usage(QStringLiteral("%1 takes %2")
                         .arg(command->name, command->arguments.isEmpty()
                                                 ? QStringLiteral("no arguments")
                                                 : command->arguments));
    }
    const QString &name = command->name;
    if (name == QStringLiteral("mount") && !m_mount) {
        return fail(QStringLiteral("mount is not available here"));
    }
    const QString service = serviceToReach();
    if (const QString problem = unreachable(service); !problem.isEmpty()) {
        return fail(problem);
    }
    if (!connect(service)) {
        return fail(QStringLiteral("the service %1 did not answer").arg(service));
    }
    if (name == QStringLiteral("mount")) {
        return m_mount(*m_connector, positional);
    }
    const bool json = options.contains(QStringLiteral("--json"));
    if (name == QStringLiteral("devices")) {
        return devices(json);
    }
    if (name == QStringLiteral("apps")) {
        return apps(positional.constFirst(), json);
    }
    if (name == QStringLiteral("groups")) {
        return groups(positional);
    }
    if (name == QStringLiteral("copy-path")) {
        return copyPath(positional);
    }
    if (name == QStringLiteral("watch")) {
        return watch();
    }
    if (name == QStringLiteral("launch") || name == QStringLiteral("reset") ||
        name == QStringLiteral("uninstall")) {
        return appAction(name, positional);
    }
    return deviceAction(name, positional + options);
}

bool CliSession::waitUntil(const std::function<bool()> &condition, int milliseconds)
{
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired() || interrupted) {
            return condition();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(5);
    }
    return true;
}

QString CliSession::serviceToReach()
{
    // Run from the application's bundle, the service is the bundle's login
    // item: enabling it, as the application does when it starts, lets the
    // session bus start the service even where the application never ran.
    return LoginItem::connectionForLoginItemName(ParleyContract::loginItemName())
        .value_or(ParleyContract::serviceName());
}

QString CliSession::unreachable(const QString &service)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return QStringLiteral("no session bus: %1").arg(bus.lastError().message());
    }
    QDBusConnectionInterface *names = bus.interface();
    if (!names || names->isServiceRegistered(service).value()) {
        return {};
    }
    // Starting it now tells a name the bus cannot start from one that is slow
    // to answer; the bus reads activation files written a moment ago first.
    const QDBusReply<void> started = names->startService(service);
    if (started.isValid()) {
        return {};
    }
    if (started.error().type() == QDBusError::ServiceUnknown) {
        return QStringLiteral("the service %1 is not running and the session bus cannot start "
                              "it; start Marrowby once, or run the marrowby-cli of its bundle")
            .arg(service);
    }
    return QStringLiteral("the service %1 could not be started: %2")
        .arg(service, started.error().message());
}

bool CliSession::connect(const QString &service)
{
    m_connector = std::make_unique<ParleyConnector>(QStringLiteral("marrowby-cli"), service);
    return waitUntil([this] { return m_connector->devices().has_value(); }, catalogueTimeoutMs);
}

bool CliSession::waitForCatalogue(
    const std::function<bool(const QList<SimulatorDevicePtr> &)> &shows)
{
    return waitUntil(
        [&] {
            const auto devices = m_connector->devices();
            return devices && shows(*devices);
        },
        catalogueChangeTimeoutMs);
}

bool CliSession::settle()
{
    return waitUntil([this] { return !m_connector->hasPendingRequests(); }, requestTimeoutMs);
}

std::optional<SimulatorDevicePtr> CliSession::device(const QString &given)
{
    auto found = CatalogueItems::findDevice(*m_connector->devices(), given);
    if (const QString *problem = std::get_if<QString>(&found)) {
        fail(*problem);
        return std::nullopt;
    }
    return std::get<SimulatorDevicePtr>(found);
}

std::optional<SimulatorAppPtr> CliSession::app(const SimulatorDevicePtr &device,
                                               const QString &given)
{
    auto found = CatalogueItems::findApp(*device, given);
    if (const QString *problem = std::get_if<QString>(&found)) {
        fail(*problem);
        return std::nullopt;
    }
    return std::get<SimulatorAppPtr>(found);
}

int CliSession::devices(bool json)
{
    const auto &list = *m_connector->devices();
    const auto names = DisplayNames::deviceNameMap(list);
    QJsonArray array;
    for (const SimulatorDevicePtr &device : list) {
        const QString name = names.value(device->uuid());
        if (json) {
            array.append(QJsonObject{{QStringLiteral("uuid"), device->uuid()},
                                     {QStringLiteral("name"), device->name()},
                                     {QStringLiteral("displayName"), name},
                                     {QStringLiteral("version"), device->version()},
                                     {QStringLiteral("state"), stateName(*device)},
                                     {QStringLiteral("path"), pathOf(device->containerURL())},
                                     {QStringLiteral("apps"), int(device->apps().size())}});
        } else {
            m_out << name << '\t' << device->uuid() << '\t' << stateName(*device) << '\t'
                  << device->apps().size() << (device->apps().size() == 1 ? " app" : " apps")
                  << '\n';
        }
    }
    if (json) {
        m_out << QJsonDocument(array).toJson(QJsonDocument::Indented);
    }
    m_out.flush();
    return 0;
}

int CliSession::apps(const QString &given, bool json)
{
    const auto found = device(given);
    if (!found) {
        return 1;
    }
    QJsonArray array;
    for (const auto &[app, name] : DisplayNames::appNameMapForDevice(**found)) {
        if (json) {
            array.append(QJsonObject{{QStringLiteral("uuid"), app->uuid()},
                                     {QStringLiteral("name"), app->name()},
                                     {QStringLiteral("displayName"), name},
                                     {QStringLiteral("bundleIdentifier"), app->bundleIdentifier()},
                                     {QStringLiteral("version"), app->versionDescription()},
                                     {QStringLiteral("bundlePath"), pathOf(app->bundleURL())},
                                     {QStringLiteral("dataPath"), pathOf(app->sandboxURL())}});
        } else {
            m_out << name << '\t' << app->bundleIdentifier() << '\t' << app->uuid() << '\n';
        }
    }
    if (json) {
        m_out << QJsonDocument(array).toJson(QJsonDocument::Indented);
    }
    m_out.flush();
    return 0;
}

int CliSession::appAction(const QString &action, const QStringList &arguments)
{
    const auto foundDevice = device(arguments.at(0));
    const auto foundApp = foundDevice ? app(*foundDevice, arguments.at(1)) : std::nullopt;
    if (!foundApp) {
        return 1;
    }
    if (action == QStringLiteral("launch")) {
        m_connector->launchApp(**foundApp);
    } else if (action == QStringLiteral("reset")) {
        m_connector->resetApp(**foundApp);
    } else {
        m_connector->uninstallApp(**foundApp);
    }
    if (!settle()) {
        return fail(QStringLiteral("no answer from the service"));
    }
    if (action != QStringLiteral("uninstall")) {
        return 0;
    }
    const QString deviceUuid = (*foundDevice)->uuid();
    const QString bundleIdentifier = (*foundApp)->bundleIdentifier();
    const bool gone = waitForCatalogue([&](const QList<SimulatorDevicePtr> &devices) {
        for (const SimulatorDevicePtr &device : devices) {
            if (device->uuid() == deviceUuid) {
                return std::none_of(device->apps().cbegin(), device->apps().cend(),
                                    [&](const SimulatorAppPtr &app) {
                                        return app->bundleIdentifier() == bundleIdentifier;
                                    });
            }
        }
        return true;
    });
    return gone ? 0
                : fail(QStringLiteral("%1 is still installed on %2")
                           .arg(arguments.at(1), arguments.at(0)));
}

int CliSession::deviceAction(const QString &action, const QStringList &arguments)
{
    if (action == QStringLiteral("quit-simulator")) {
        m_connector->quitSimulator();
        return settle() ? 0 : fail(QStringLiteral("no answer from the service"));
    }
    const auto found = device(arguments.at(0));
    if (!found) {
        return 1;
    }
    const SimulatorDevice &target = **found;
    if (action == QStringLiteral("erase")) {
        m_connector->resetContentsAndSettingsOfDevice(target);
    } else if (action == QStringLiteral("delete")) {
        m_connector->deleteDevice(target);
    } else if (action == QStringLiteral("open-simulator")) {
        m_connector->launchSimulatorForDevice(target,
                                              arguments.contains(QStringLiteral("--hidden")));
    } else if (action == QStringLiteral("add-photo")) {
        QList<QUrl> photos;
        for (const QString &file : arguments.mid(1)) {
            const QFileInfo info(file);
            if (!info.isFile() || !info.isReadable()) {
                return fail(QStringLiteral("\"%1\" is not a readable file").arg(file));
            }
            photos.append(QUrl::fromLocalFile(info.absoluteFilePath()));
        }
        for (const QUrl &photo : std::as_const(photos)) {
            m_connector->addPhoto(photo, target);
        }
    }
    if (!settle()) {
        return fail(QStringLiteral("no answer from the service"));
    }
    const bool erase = action == QStringLiteral("erase");
    if (!erase && action != QStringLiteral("delete")) {
        return 0;
    }
    // The catalogue lists devices that hold apps: a deleted device leaves
    // it, and so does an erased one, which holds none any more.
    const QString uuid = target.uuid();
    const bool gone = waitForCatalogue([&uuid](const QList<SimulatorDevicePtr> &devices) {
        return std::none_of(devices.cbegin(), devices.cend(),
                            [&uuid](const SimulatorDevicePtr &device) {
                                return device->uuid() == uuid && !device->apps().isEmpty();
                            });
    });
    if (gone) {
        return 0;
    }
    return fail(erase ? QStringLiteral("%1 still holds its apps").arg(arguments.at(0))
                      : QStringLiteral("%1 is still there").arg(arguments.at(0)));
}

int CliSession::groups(const QStringList &arguments)
{
    const auto foundDevice = device(arguments.at(0));
    const auto foundApp = foundDevice ? app(*foundDevice, arguments.at(1)) : std::nullopt;
    if (!foundApp) {
        return 1;
    }
    std::optional<QList<QUrl>> answer;
    m_connector->urlsForAppGroupsOfApp(**foundApp,
                                       [&answer](const QList<QUrl> &urls) { answer = urls; });
    if (!waitUntil([&answer] { return answer.has_value(); }, requestTimeoutMs)) {
        return fail(QStringLiteral("no answer from the service"));
    }
    for (const QUrl &url : std::as_const(*answer)) {
        m_out << url.toLocalFile() << '\n';
    }
    m_out.flush();
    return 0;
}

int CliSession::copyPath(const QStringList &arguments)
{
    const auto foundDevice = device(arguments.at(0));
    if (!foundDevice) {
        return 1;
    }
    QString path;
    if (arguments.size() == 2) {
        const auto foundApp = app(*foundDevice, arguments.at(1));
        if (!foundApp) {
            return 1;
        }
        path = pathOf((*foundApp)->sandboxURL());
        m_connector->copyPathOfApp(**foundApp);
    } else {
        path = pathOf((*foundDevice)->containerURL());
        m_connector->copyPathOfDevice(**foundDevice);
    }
    if (!settle()) {
        return fail(QStringLiteral("no answer from the service"));
    }
    m_out << path << '\n';
    m_out.flush();
    return 0;
}

int CliSession::watch()
{
    (void)std::signal(SIGINT, noteInterrupt);
    (void)std::signal(SIGTERM, noteInterrupt);
    const auto printCatalogue = [this](const QList<SimulatorDevicePtr> &devices) {
        const auto names = DisplayNames::deviceNameMap(devices);
        m_out << "catalogue: " << devices.size() << " devices\n";
        for (const SimulatorDevicePtr &device : devices) {
            m_out << "  " << names.value(device->uuid()) << '\t' << device->uuid() << '\t'
                  << stateName(*device) << '\t' << device->apps().size() << " apps\n";
        }
        m_out.flush();
    };
    printCatalogue(*m_connector->devices());
    m_connector->addDeviceUpdateHandler(QStringLiteral("watch"), printCatalogue);
    m_connector->addUpdateHandler(QStringLiteral("watch"), [this](const SimulatorUpdate &update) {
        const auto names = DisplayNames::deviceNameMap(
            m_connector->devices().value_or(QList<SimulatorDevicePtr>()));
        QStringList items;
        for (const SimulatorItemPtr &item : update.items()) {
            items.append(names.value(item->uuid(), item->uuid()));
        }
        m_out << "update: " << rawValue(update.type()) << ' ' << items.join(QStringLiteral(", "))
              << '\n';
        m_out.flush();
    });
    waitUntil([] { return false; }, std::numeric_limits<int>::max());
    return 0;
}
