// Resolution of virtual paths against a catalogue snapshot, the readme, and
// the deferred removals of device and app folders.
#include "marrowbyfilesystem.h"

#include "Marrowkit/devtools/developertools.h"
#include "Marrowkit/foundation/log.h"
#include "Marrowkit/model/appcontents.h"
#include "Marrowkit/platform/usercache.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

const QString ReadmeName = QStringLiteral("Readme.txt");
const QString DeviceLogName = QStringLiteral("system.log");
const QString ContainerMetadataName =
    QStringLiteral(".com.apple.mobile_container_manager.metadata.plist");

// Components of a virtual path as views into it: resolution runs on every
// request, and copying each name into a string of its own showed up there.
using Components = QList<QStringView>;

Components componentsOf(const QString &path)
{
    return QStringView(path).split(u'/', Qt::SkipEmptyParts);
}

// A name the kernel may hand us that must never reach a real path: the
// kernel resolves "." and ".." itself, so these only come from a hostile or
// confused caller; control characters are refused outright.
bool isSafeComponent(QStringView name)
{
    if (name.isEmpty() || name == u"." || name == u".." || name.contains(u'/')) {
        return false;
    }
    return std::none_of(name.cbegin(), name.cend(),
                        [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

SimulatorDevicePtr deviceNamed(const CatalogueSnapshot &snapshot, QStringView name)
{
    for (const auto &[device, deviceName] : snapshot.deviceNames) {
        if (deviceName == name) {
            return device;
        }
    }
    return nullptr;
}

SimulatorAppPtr appNamed(const CatalogueSnapshot &snapshot, const SimulatorDevice &device,
                         QStringView name)
{
    const auto apps = snapshot.appNames.constFind(device.uuid());
    if (apps == snapshot.appNames.cend()) {
        return nullptr;
    }
    for (const auto &[app, appName] : *apps) {
        if (appName == name) {
            return app;
        }
    }
    return nullptr;
}

std::optional<QString> localPath(const std::optional<QUrl> &url)
{
    if (!url || !url->isLocalFile() || url->toLocalFile().isEmpty()) {
        return std::nullopt;
    }
    return url->toLocalFile();
}

std::optional<QString> groupContainer(const SimulatorApp &app, const QString &group)
{
    return localPath(app.containerURLForAppGroup(group));
}

// The components from `first` on, below the real folder `entryPoint`.
VirtualNode realNode(const SimulatorAppPtr &app, const QString &entryPoint,
                     const Components &components, qsizetype first, bool writable)
{
    QString relative;
    for (qsizetype i = first; i < components.size(); ++i) {
        if (!isSafeComponent(components.at(i))) {
            return {};
        }
        if (i > first) {
            relative += u'/';
        }
        relative += components.at(i);
    }
    VirtualNode node;
    node.kind = VirtualNode::Kind::Real;
    node.app = app;
    node.device = app->device();
    node.entryPoint = entryPoint;
    node.relative = std::move(relative);
    node.writable = writable;
    return node;
}

// Levels below an app folder. Each key names one place; the app's groups
// are only read for the keys that need them.
VirtualNode resolveBelowApp(const SimulatorAppPtr &app, const Components &components)
{
    const QStringView key = components.at(2);
    if (key == AppContents::BundleURLKey) {
        if (auto bundle = localPath(app->bundleURL())) {
            return realNode(app, *bundle, components, 3, false);
        }
        return {};
    }
    if (key == AppContents::SandboxURLKey) {
        if (auto sandbox = localPath(app->sandboxURL())) {
            return realNode(app, *sandbox, components, 3, true);
        }
        return {};
    }
    if (key != AppContents::AppGroupURLKey && key != AppContents::AppGroupsURLKey) {
        return {};
    }
    const std::optional<QStringList> groups = app->appGroups();
    if (!groups || groups->isEmpty()) {
        return {};
    }
    if (key == AppContents::AppGroupURLKey) {
        if (auto container = groupContainer(*app, groups->first())) {
            return realNode(app, *container, components, 3, true);
        }
        return {};
    }
    if (components.size() == 3) {
        VirtualNode node;
        node.kind = VirtualNode::Kind::GroupList;
        node.app = app;
        node.device = app->device();
        return node;
    }
    const QString group = components.at(3).toString();
    if (groups->contains(group)) {
        if (auto container = groupContainer(*app, group)) {
            return realNode(app, *container, components, 4, true);
        }
    }
    return {};
}

} // namespace

const QString MarrowbyFileSystem::FolderIconName = QStringLiteral(".directory");

MarrowbyFileSystem::MarrowbyFileSystem(CatalogueSource &catalogue, MarrowfsActions &actions,
                                       QString rootPath)
    : m_catalogue(catalogue), m_actions(actions), m_rootPath(std::move(rootPath)),
      m_removalThread([this] { removalLoop(); })
{}

MarrowbyFileSystem::~MarrowbyFileSystem()
{
    {
        std::lock_guard lock(m_removalMutex);
        m_stopping = true;
    }
    m_removalWake.notify_all();
    m_removalThread.join();
}

VirtualNode MarrowbyFileSystem::resolve(const QString &path) const
{
    return resolve(path, *m_catalogue.snapshot());
}

VirtualNode MarrowbyFileSystem::resolve(const QString &path,
                                        const CatalogueSnapshot &snapshot) const
{
    const Components components = componentsOf(path);
    VirtualNode node;
    if (components.isEmpty()) {
        node.kind = VirtualNode::Kind::Root;
        return node;
    }
    if (!isSafeComponent(components.first()) || components.first().startsWith(u'.')) {
        return node;
    }
    if (components.size() == 1 && components.first() == ReadmeName) {
        node.kind = VirtualNode::Kind::Readme;
        return node;
    }
    const SimulatorDevicePtr device = deviceNamed(snapshot, components.first());
    if (!device) {
        return node;
    }
    node.device = device;
    if (components.size() == 1) {
        node.kind = VirtualNode::Kind::Device;
        return node;
    }
    if (components.size() == 2 && components.at(1) == DeviceLogName) {
        node.kind = VirtualNode::Kind::DeviceLog;
        node.entryPoint = QDir::homePath() + QStringLiteral("/Library/Logs/CoreSimulator/") +
                          device->uuid() + QStringLiteral("/system.log");
        return node;
    }
    const SimulatorAppPtr app = appNamed(snapshot, *device, components.at(1));
    if (!app) {
        return {};
    }
    node.app = app;
    if (components.size() == 2) {
        node.kind = VirtualNode::Kind::App;
        return node;
    }
    if (components.size() == 3 && components.at(2) == FolderIconName && app->icon()) {
        node.kind = VirtualNode::Kind::FolderIcon;
        return node;
    }
    return resolveBelowApp(app, components);
}

std::optional<QString> MarrowbyFileSystem::originalPathForPath(const QString &path) const
{
    const VirtualNode node = resolve(path);
    if (node.kind != VirtualNode::Kind::Real) {
        return std::nullopt;
    }
    return node.realPath();
}

QStringList MarrowbyFileSystem::rootContents(const CatalogueSnapshot &snapshot) const
{
    QStringList names;
    for (const auto &entry : snapshot.deviceNames) {
        names.append(entry.second);
    }
    if (names.isEmpty()) {
        names.append(ReadmeName);
    }
    return names;
}

QStringList MarrowbyFileSystem::contentsOfApp(const SimulatorApp &app)
{
    QStringList names{AppContents::SandboxURLKey, AppContents::BundleURLKey};
    const std::optional<QStringList> groups = app.appGroups();
    if (groups && groups->size() == 1) {
        names.append(AppContents::AppGroupURLKey);
    } else if (groups && groups->size() > 1) {
        names.append(AppContents::AppGroupsURLKey);
    }
    return names;
}

QStringList MarrowbyFileSystem::contentsOfDirectory(const QString &path) const
{
    const CatalogueSnapshotPtr snapshot = m_catalogue.snapshot();
    const VirtualNode node = resolve(path, *snapshot);
    switch (node.kind) {
    case VirtualNode::Kind::Root:
        return rootContents(*snapshot);
    case VirtualNode::Kind::Device: {
        QStringList names;
        for (const auto &entry : snapshot->appNames.value(node.device->uuid())) {
            names.append(entry.second);
        }
        names.append(DeviceLogName);
        return names;
    }
    case VirtualNode::Kind::App: {
        QStringList names = contentsOfApp(*node.app);
        if (node.app->icon()) {
            names.append(FolderIconName);
        }
        return names;
    }
    case VirtualNode::Kind::GroupList:
        return node.app->appGroups().value_or(QStringList());
    case VirtualNode::Kind::Real:
        return QDir(node.realPath())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    default:
        return {};
    }
}

std::optional<QString> MarrowbyFileSystem::pathForDevice(const SimulatorDevice &device) const
{
    for (const auto &[candidate, name] : m_catalogue.snapshot()->deviceNames) {
        if (*candidate == device) {
            return name;
        }
    }
    return std::nullopt;
}

std::optional<QString> MarrowbyFileSystem::pathForApp(const SimulatorApp &app) const
{
    const SimulatorDevicePtr device = app.device();
    if (!device) {
        return std::nullopt;
    }
    const std::optional<QString> devicePath = pathForDevice(*device);
    if (!devicePath) {
        return std::nullopt;
    }
    for (const auto &[candidate, name] : m_catalogue.snapshot()->appNames.value(device->uuid())) {
        if (*candidate == app) {
            return *devicePath + QLatin1Char('/') + name;
        }
    }
    return std::nullopt;
}

QByteArray MarrowbyFileSystem::readmeContent()
{
    // Asking the developer tools runs a program; do it outside the lock so
    // concurrent readers do not queue behind it.
    const QList<XcodeVersion> installed = DeveloperTools().installedXcodes();
    std::optional<XcodeVersion> selected;
    for (const XcodeVersion &xcode : installed) {
        if (xcode.isCurrentlySelected()) {
            selected = xcode;
            break;
        }
    }
    const CatalogueSnapshotPtr snapshot = m_catalogue.snapshot();
    std::lock_guard lock(m_readmeMutex);
    const bool changed = selected.has_value() != m_lastSelectedXcode.has_value() ||
                         (selected && !(*selected == *m_lastSelectedXcode));
    m_installedXcodes = installed;
    m_lastSelectedXcode = selected;
    if (changed || !m_readmeContent) {
        QString text;
        if (!snapshot->devices || !snapshot->devices->isEmpty()) {
            text = QStringLiteral("Waiting for Simulators...\n");
        } else if (!selected) {
            text = QStringLiteral("You have no Xcode selected.\n\nYou can change the selection "
                                  "in the Marrowby preferences.\n");
        } else {
            text = QStringLiteral("No Simulators for Xcode ") + selected->version() +
                   QStringLiteral(" with apps found.\n");
            if (installed.size() > 1) {
                text += QStringLiteral("\nYou can select another Xcode in the Marrowby "
                                       "preferences.\n");
            }
        }
        m_readmeContent = text.toUtf8();
    }
    return *m_readmeContent;
}

QByteArray MarrowbyFileSystem::contentsOfSynthesizedFile(const VirtualNode &node)
{
    if (node.kind == VirtualNode::Kind::Readme) {
        return readmeContent();
    }
    if (node.kind == VirtualNode::Kind::FolderIcon) {
        return folderIconEntry(*node.app).value_or(QByteArray());
    }
    return {};
}

std::optional<QByteArray> MarrowbyFileSystem::folderIconEntry(const SimulatorApp &app)
{
    const std::optional<Image> &icon = app.icon();
    const std::optional<QString> folder = UserCache::folder(QStringLiteral("FolderIcons")).value();
    const QString fileName = app.bundleIdentifier() + QStringLiteral(".png");
    if (!icon || !folder || !UserCache::isPlainName(fileName)) {
        return std::nullopt;
    }
    const QString path = *folder + QLatin1Char('/') + fileName;
    if (!QFileInfo::exists(path)) {
        const std::optional<QByteArray> png = icon->PNGRepresentation();
        if (!png || UserCache::writeAtomically(*folder, fileName, *png).isFailure()) {
            return std::nullopt;
        }
    }
    return QByteArray("[Desktop Entry]\nIcon=") + QFile::encodeName(path) + '\n';
}

void MarrowbyFileSystem::dropReadmeCache()
{
    std::lock_guard lock(m_readmeMutex);
    m_readmeContent.reset();
}

bool MarrowbyFileSystem::isProtectedPath(const QString &path)
{
    const Components components = componentsOf(path);
    return isProtected(components.size(), components.isEmpty() ? QStringView() : components.last());
}

bool MarrowbyFileSystem::isProtected(const QStringList &components)
{
    return isProtected(components.size(), components.isEmpty() ? QStringView() : components.last());
}

bool MarrowbyFileSystem::isProtected(qsizetype depth, QStringView name)
{
    return depth > 0 && (name == ContainerMetadataName || (depth == 2 && name == DeviceLogName));
}

void MarrowbyFileSystem::noteRemoval(const QString &path)
{
    const Components components = componentsOf(path);
    if (components.isEmpty()) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(m_removalMutex);
    // Bounded by the number of device folders; old entries go on the way.
    m_lastRemovalInDevice.removeIf(
        [&](const auto &entry) { return now - entry.value().when > RecursiveRemovalWindow; });
    m_lastRemovalInDevice.insert(components.first().toString(),
                                 {now, path.left(path.lastIndexOf(QLatin1Char('/')))});
}

bool MarrowbyFileSystem::isPartOfRecursiveRemoval(const QString &path, bool aloneInFolder) const
{
    const Components components = componentsOf(path);
    if (components.isEmpty()) {
        return false;
    }
    std::lock_guard lock(m_removalMutex);
    const auto last = m_lastRemovalInDevice.constFind(components.first().toString());
    if (last == m_lastRemovalInDevice.constEnd() ||
        std::chrono::steady_clock::now() - last->when > RecursiveRemovalWindow) {
        return false;
    }
    if (last->folder == path.left(path.lastIndexOf(QLatin1Char('/')))) {
        return true;
    }
    // Inside an app, a folder may hold nothing but the container metadata
    // (an empty app group's container): the walk reaches it straight from
    // another part of the same app.
    if (!aloneInFolder || components.size() <= 3) {
        return false;
    }
    const QString app = QLatin1Char('/') + components.at(0).toString() + QLatin1Char('/') +
                        components.at(1).toString();
    return last->folder == app || last->folder.startsWith(app + QLatin1Char('/'));
}

void MarrowbyFileSystem::deferRemoval(const QString &path)
{
    {
        std::lock_guard lock(m_removalMutex);
        m_removablePaths.append(path);
        m_removalDeadline = std::chrono::steady_clock::now() + RemovalBurstWait;
    }
    m_removalWake.notify_all();
}

void MarrowbyFileSystem::removalLoop()
{
    std::unique_lock lock(m_removalMutex);
    while (!m_stopping) {
        if (m_removablePaths.isEmpty()) {
            m_removalWake.wait(lock);
            continue;
        }
        // Each further removal moves the deadline: wait out the whole burst.
        if (m_removalWake.wait_until(lock, m_removalDeadline) == std::cv_status::timeout &&
            std::chrono::steady_clock::now() >= m_removalDeadline) {
            QStringList paths;
            paths.swap(m_removablePaths);
            lock.unlock();
            actOnRemovals(paths);
            lock.lock();
        }
    }
}

void MarrowbyFileSystem::actOnRemovals(const QStringList &paths)
{
    // The shallowest path of the burst decides.
    const auto shallowest =
        std::min_element(paths.cbegin(), paths.cend(), [](const QString &a, const QString &b) {
            return componentsOf(a).size() < componentsOf(b).size();
        });
    const QString &path = *shallowest;
    const Components components = componentsOf(path);
    const VirtualNode node = resolve(path);
    if (components.size() == 1 && node.kind == VirtualNode::Kind::Device) {
        MLOG_INFO(QStringLiteral("deleting the device of ") + path);
        m_actions.deleteDevice(node.device);
    } else if (components.size() == 2 && node.kind == VirtualNode::Kind::App) {
        MLOG_INFO(QStringLiteral("uninstalling the app of ") + path);
        m_actions.uninstallApp(node.app);
    } else if (components.size() > 2 && components.contains(AppContents::BundleURLKey)) {
        m_actions.showAlert(QStringLiteral("Cannot delete items in the app bundle!"));
    }
}
