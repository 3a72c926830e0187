#include "Marrowkit/simulatorapp.h"

#include "Marrowkit/assetcatalog.h"
#include "Marrowkit/fileobserver.h"
#include "Marrowkit/foldersize.h"
#include "Marrowkit/icnsconverter.h"
#include "Marrowkit/infodictionarykey.h"
#include "Marrowkit/ios7roundedrect.h"
#include "Marrowkit/propertylist.h"
#include "Marrowkit/simulatordevice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QSet>

#include <cstdio>
#include <dirent.h>
#include <mutex>

namespace {

const QLatin1String unknownIdentifier("com.unknown.Unknown");
const QLatin1String metadataFileName(".com.apple.mobile_container_manager.metadata.plist");
const QLatin1String metadataIdentifierKey("MCMMetadataIdentifier");

// Icon canvas, in points.
constexpr qreal iconSide = 28.5;
constexpr qreal tvIconHeight = 17.1;
constexpr qreal watchCornerRadius = 13.5;
constexpr qreal tvCornerRadius = 1.5;
constexpr qreal iconCornerRadius = 6.525;

// App groups nest a few folders deep; a hostile tree must not walk forever.
constexpr int maximumAppGroupDepth = 32;

std::optional<QString> text(const QVariantMap &map, QLatin1String key)
{
    const auto it = map.constFind(key);
    if (it == map.constEnd() || it->typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return it->toString();
}

std::optional<QVariantMap> dictionary(const QVariantMap &map, QLatin1String key)
{
    const auto it = map.constFind(key);
    if (it == map.constEnd() || it->typeId() != QMetaType::QVariantMap) {
        return std::nullopt;
    }
    return it->toMap();
}

// A list whose every element is text.
std::optional<QStringList> texts(const QVariant &value)
{
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList();
    }
    if (value.typeId() != QMetaType::QVariantList) {
        return std::nullopt;
    }
    QStringList list;
    for (const QVariant &item : value.toList()) {
        if (item.typeId() != QMetaType::QString) {
            return std::nullopt;
        }
        list.append(item.toString());
    }
    return list;
}

std::optional<QUrl> fileURL(const QVariantMap &map, QLatin1String key)
{
    const auto it = map.constFind(key);
    if (it == map.constEnd() || it->typeId() != QMetaType::QUrl || !it->toUrl().isLocalFile()) {
        return std::nullopt;
    }
    return it->toUrl();
}

// The URL without its last `count` path components.
QUrl upwards(const QUrl &url, int count)
{
    QString path = url.toLocalFile();
    for (int i = 0; i < count; ++i) {
        while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
            path.chop(1);
        }
        path = QFileInfo(path).path();
    }
    return QUrl::fromLocalFile(path);
}

QString lastPathComponent(const QUrl &url)
{
    QString path = url.toLocalFile();
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
        path.chop(1);
    }
    return QFileInfo(path).fileName();
}

QUrl appending(const QUrl &folder, const QString &component)
{
    QString path = folder.toLocalFile();
    if (!path.endsWith(QLatin1Char('/'))) {
        path += QLatin1Char('/');
    }
    return QUrl::fromLocalFile(path + component);
}

// The library's artwork, loaded once per process.
std::optional<Image> templateImage(const QString &name)
{
    static std::mutex mutex;
    static QHash<QString, std::optional<Image>> cache;
    std::lock_guard lock(mutex);
    const auto found = cache.constFind(name);
    if (found != cache.constEnd()) {
        return found.value();
    }
    const auto image =
        Image::fromFile(QStringLiteral(":/Marrowkit/") + name + QStringLiteral(".png"));
    cache.insert(name, image);
    return image;
}

std::optional<QByteArray> resourceData(const QString &name)
{
    QFile file(QStringLiteral(":/Marrowkit/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll();
}

// The names of the files directly inside `folder`: one listing instead of a
// lookup per candidate icon file.
QSet<QString> fileNamesIn(const QString &folder)
{
    QSet<QString> names;
    DIR *dir = opendir(QFile::encodeName(folder).constData());
    if (!dir) {
        return names;
    }
    while (const dirent *entry = readdir(dir)) {
        names.insert(QFile::decodeName(entry->d_name));
    }
    closedir(dir);
    return names;
}

// Icon file names come from the app's own Info.plist: they may name a file
// in a subfolder of the bundle, never one outside it.
bool staysInside(const QString &relative)
{
    if (relative.isEmpty() || relative.startsWith(QLatin1Char('/'))) {
        return false;
    }
    const QStringList parts = relative.split(QLatin1Char('/'));
    return !parts.contains(QStringLiteral("..")) && !relative.contains(QChar(0));
}

bool isPackage(const QString &name)
{
    static const QStringList extensions{QStringLiteral(".app"),    QStringLiteral(".appex"),
                                        QStringLiteral(".bundle"), QStringLiteral(".framework"),
                                        QStringLiteral(".plugin"), QStringLiteral(".xpc")};
    for (const QString &extension : extensions) {
        if (name.endsWith(extension)) {
            return true;
        }
    }
    return false;
}

// The folder below `folder` whose container metadata names `identifier`,
// found in pre-order (a folder's own entries before its subfolders' entries).
std::optional<QString> findAppGroupFolder(const QString &folder, const QString &identifier,
                                          int depth)
{
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (entry.fileName() == metadataFileName && !entry.isSymLink() && entry.isFile()) {
            const auto metadata = PropertyList::dictionaryFromFile(entry.filePath());
            if (metadata && text(*metadata, metadataIdentifierKey) == identifier) {
                return folder;
            }
        }
        if (entry.isDir() && !entry.isSymLink() && depth < maximumAppGroupDepth) {
            if (auto found = isPackage(entry.fileName())
                                 ? std::nullopt
                                 : findAppGroupFolder(entry.filePath(), identifier, depth + 1)) {
                return found;
            }
        }
    }
    return std::nullopt;
}

QPainterPath iconClip(DeviceType type, const QRectF &rect)
{
    QPainterPath path;
    if (isWatch(type)) {
        path.addRoundedRect(rect, watchCornerRadius, watchCornerRadius);
    } else if (isTV(type)) {
        path.addRoundedRect(rect, tvCornerRadius, tvCornerRadius);
    } else {
        path = bezierPathWithIOS7RoundedRect(rect, iconCornerRadius);
    }
    path.setFillRule(Qt::OddEvenFill);
    return path;
}

} // namespace

QString SimulatorApp::rawValue(SimulatorAppChangeTypes type)
{
    switch (type) {
    case SimulatorAppChangeTypes::SandboxUpdated:
        return QStringLiteral("SandboxUpdated");
    case SimulatorAppChangeTypes::SandboxDeleted:
        return QStringLiteral("SandboxDeleted");
    case SimulatorAppChangeTypes::BundleUpdated:
        return QStringLiteral("BundlepUpdated");
    case SimulatorAppChangeTypes::BundleDeleted:
        return QStringLiteral("BundleDeleted");
    }
    return {};
}

std::optional<SimulatorApp::SimulatorAppChangeTypes>
SimulatorApp::changeTypeFromRawValue(const QString &rawValue)
{
    for (auto type :
         {SimulatorAppChangeTypes::SandboxUpdated, SimulatorAppChangeTypes::SandboxDeleted,
          SimulatorAppChangeTypes::BundleUpdated, SimulatorAppChangeTypes::BundleDeleted}) {
        if (SimulatorApp::rawValue(type) == rawValue) {
            return type;
        }
    }
    return std::nullopt;
}

SimulatorAppPtr
SimulatorApp::create(const QString &uuid, const QVariantMap &info, const std::optional<Image> &icon,
                     const std::optional<QUrl> &bundleURL, const std::optional<QUrl> &sandboxURL,
                     const std::optional<QDateTime> &creationDate, bool hasTemplateIcon)
{
    if (!text(info, InfoDictionaryKey::BundleIdentifier)) {
        return nullptr;
    }
    return std::make_shared<SimulatorApp>(Private(), uuid, info, icon, bundleURL, sandboxURL,
                                          creationDate, hasTemplateIcon);
}

SimulatorAppPtr
SimulatorApp::create(const QString &uuid, const QString &name,
                     const std::shared_ptr<SimulatorDevice> &, const std::optional<Image> &icon,
                     const std::optional<QUrl> &bundleURL, const std::optional<QUrl> &sandboxURL,
                     const std::optional<QDateTime> &creationDate, bool hasTemplateIcon)
{
    const QVariantMap info{{InfoDictionaryKey::BundleDisplayName, name},
                           {InfoDictionaryKey::BundleIdentifier, QString(unknownIdentifier)}};
    auto app =
        create(uuid, info, std::nullopt, bundleURL, sandboxURL, creationDate, hasTemplateIcon);
    app->m_icon = icon;
    return app;
}

SimulatorAppPtr SimulatorApp::fromAppData(const QVariantMap &appData, const QString &)
{
    const auto bundle = fileURL(appData, QLatin1String("containerURL"));
    const auto info = dictionary(appData, QLatin1String("info"));
    if (!bundle || !info) {
        return nullptr;
    }
    const QUrl sandbox = fileURL(appData, QLatin1String("dataURL")).value_or(upwards(*bundle, 1));
    const auto created = modifiedDateForFolderAtURL(upwards(*bundle, 1));
    return create(lastPathComponent(sandbox), *info, std::nullopt, bundle, sandbox, created, false);
}

SimulatorApp::SimulatorApp(QString uuid, QString name, QString versionDescription)
    : SimulatorItem(std::move(uuid)), m_bundleIdentifier(unknownIdentifier),
      m_versionDescription(std::move(versionDescription)), m_name(std::move(name)),
      m_creationDate(QDateTime::fromMSecsSinceEpoch(0, Qt::UTC)),
      m_info{{InfoDictionaryKey::BundleDisplayName, m_name},
             {InfoDictionaryKey::BundleIdentifier, QString(unknownIdentifier)}}
{}

SimulatorApp::SimulatorApp(Private, const QString &uuid, const QVariantMap &info,
                           const std::optional<Image> &icon, const std::optional<QUrl> &bundleURL,
                           const std::optional<QUrl> &sandboxURL,
                           const std::optional<QDateTime> &creationDate, bool hasTemplateIcon)
    : SimulatorItem(uuid),
      m_bundleIdentifier(text(info, InfoDictionaryKey::BundleIdentifier).value_or(QString())),
      m_versionDescription(appVersionDescriptionFromInfoDictionary(info)),
      m_name(appNameFromInfoDictionary(info)), m_icon(icon),
      m_creationDate(creationDate.value_or(QDateTime::fromMSecsSinceEpoch(0, Qt::UTC))),
      m_hasTemplateIcon(hasTemplateIcon), m_info(info), m_bundleURL(bundleURL),
      m_sandboxURL(sandboxURL)
{}

SimulatorApp::~SimulatorApp() = default;

QString SimulatorApp::appNameFromInfoDictionary(const QVariantMap &info)
{
    if (auto name = text(info, InfoDictionaryKey::BundleDisplayName)) {
        return *name;
    }
    return text(info, InfoDictionaryKey::BundleName).value_or(QStringLiteral("<Untitled App>"));
}

QString SimulatorApp::appVersionDescriptionFromInfoDictionary(const QVariantMap &info)
{
    const auto version = text(info, InfoDictionaryKey::BundleVersion);
    const auto shortVersion = text(info, InfoDictionaryKey::BundleShortVersionString);
    if (!shortVersion) {
        return QStringLiteral("<Unknown version>");
    }
    if (!version || *version == *shortVersion) {
        return *shortVersion;
    }
    return *shortVersion + QStringLiteral(" (") + *version + QLatin1Char(')');
}

void SimulatorApp::setDevice(const std::shared_ptr<SimulatorDevice> &device)
{
    m_device = device;
    if (!m_icon) {
        m_icon = generateIcon();
    }
}

std::optional<Image> SimulatorApp::generateIcon()
{
    const auto device = m_device.lock();
    if (!device || *device == *NullDevice()) {
        return std::nullopt;
    }
    const DeviceType type = device->deviceType();
    const QSizeF canvas(iconSide, isTV(type) ? tvIconHeight : iconSide);

    std::optional<QVariantMap> icons;
    if (isPad(type)) {
        icons = dictionary(m_info, InfoDictionaryKey::BundleIconsIPad);
    }
    if (!icons) {
        icons = dictionary(m_info, InfoDictionaryKey::BundleIcons);
    }

    std::optional<Image> source;
    if (icons) {
        const QVariant primary = icons->value(InfoDictionaryKey::BundlePrimaryIcon);
        const auto primaryIcon = dictionary(*icons, InfoDictionaryKey::BundlePrimaryIcon);
        const auto files = primaryIcon
                               ? texts(primaryIcon->value(InfoDictionaryKey::BundleIconFiles))
                               : std::nullopt;
        if (files) {
            if (auto combined = getCombinedIconImageForBundleIcons(files)) {
                const qreal side = (isWatch(type) ? 40
                                    : isPad(type) ? 76
                                                  : 60) *
                                   (isRetina(type) ? 2 : 1);
                if (auto best = combined->bestRepresentationForRect(QRectF(0, 0, side, side))) {
                    source = Image();
                    source->addRepresentation(*best);
                }
            }
        } else if (primary.typeId() == QMetaType::QString && isTV(type) && m_bundleURL) {
            // Only a 400 x 240 image of that name serves (a TV app icon).
            if (auto image = imageNamedFromAssetCatalog(
                    primary.toString(), appending(*m_bundleURL, QStringLiteral("Assets.car")))) {
                source = Image::fromBitmap(*image);
            }
        }
    }
    if (!source) {
        source = templateImage(isWatch(type) ? QStringLiteral("WatchTemplate")
                               : isTV(type)  ? QStringLiteral("TVTemplate")
                                             : QStringLiteral("iOSTemplate"));
        if (!source) {
            return std::nullopt;
        }
        source->setTemplate(false);
        m_hasTemplateIcon = true;
    }

    const Image picture = *source;
    return Image::withDrawingHandler(
        canvas, [picture, type](QPainter &painter, const QRectF &rect) {
            if (!painter.isActive()) {
                return false;
            }
            painter.save();
            painter.setRenderHints(QPainter::SmoothPixmapTransform | QPainter::Antialiasing);
            painter.setClipPath(iconClip(type, rect));
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
            painter.setOpacity(1.0);
            const bool drawn = picture.drawInRect(painter, rect);
            painter.restore();
            return drawn;
        });
}

std::optional<Image>
SimulatorApp::getCombinedIconImageForBundleIcons(const std::optional<QStringList> &names) const
{
    if (!names || !m_bundleURL) {
        return std::nullopt;
    }
    const QString bundle = m_bundleURL->toLocalFile();
    const QSet<QString> present = fileNamesIn(bundle);
    Image combined;
    for (const QString &name : *names) {
        for (const char *suffix : {"", "@2x", "@3x", "@2x~ipad", "~ipad"}) {
            const QString file = name + QLatin1String(suffix) + QStringLiteral(".png");
            const bool inSubfolder = file.contains(QLatin1Char('/'));
            if (!staysInside(file) || (!inSubfolder && !present.contains(file))) {
                continue;
            }
            const auto image = Image::fromFile(bundle + QLatin1Char('/') + file);
            if (!image) {
                continue;
            }
            for (const ImageRepresentation &rep : image->representations()) {
                combined.addRepresentation(rep);
            }
        }
    }
    if (combined.representations().isEmpty()) {
        return std::nullopt;
    }
    return combined;
}

std::optional<QByteArray> SimulatorApp::iconData() const
{
    if (m_icon && !m_hasTemplateIcon) {
        return IcnsConverter::convertImagesToData({*m_icon}, m_bundleIdentifier);
    }
    const auto device = m_device.lock();
    return resourceData(device && isWatch(device->deviceType())
                            ? QStringLiteral("watchApplication.icns")
                            : QStringLiteral("iOSApplication.icns"));
}

std::optional<QStringList> SimulatorApp::appGroups() const
{
    const auto it = m_info.constFind(InfoDictionaryKey::AppGroups);
    return it == m_info.constEnd() ? std::nullopt : texts(*it);
}

std::optional<QUrl> SimulatorApp::containerURLForAppGroup(const QString &identifier) const
{
    if (!m_sandboxURL) {
        return std::nullopt;
    }
    const QUrl sharedRoot = appending(upwards(*m_sandboxURL, 3), QStringLiteral("Shared/AppGroup"));
    if (auto found = findAppGroupFolder(sharedRoot.toLocalFile(), identifier, 0)) {
        return QUrl::fromLocalFile(*found);
    }
    return sharedRoot;
}

std::optional<QString> SimulatorApp::containerName() const
{
    if (!m_bundleURL) {
        return std::nullopt;
    }
    return lastPathComponent(upwards(*m_bundleURL, 1));
}

void SimulatorApp::updateContainerName(const QString &name)
{
    const QString line =
        QStringLiteral("update ") + m_name + QStringLiteral(" to container name ") + name;
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
    // The name is a folder name; anything that would lead elsewhere is ignored.
    if (!m_bundleURL || name.isEmpty() || name.contains(QLatin1Char('/')) ||
        name == QLatin1String(".") || name == QLatin1String("..")) {
        return;
    }
    const QUrl containers = upwards(*m_bundleURL, 2);
    m_bundleURL = appending(appending(containers, name), lastPathComponent(*m_bundleURL));
    updateAppInfo();
}

void SimulatorApp::updateAppInfo()
{
    if (!m_bundleURL) {
        return;
    }
    const auto info = PropertyList::dictionaryFromFile(
        appending(*m_bundleURL, QStringLiteral("Info.plist")).toLocalFile());
    if (!info) {
        return;
    }
    m_info = *info;
    if (auto name = text(m_info, InfoDictionaryKey::BundleName)) {
        m_name = *name;
    }
    if (auto identifier = text(m_info, InfoDictionaryKey::BundleIdentifier)) {
        m_bundleIdentifier = *identifier;
    }
    const auto shortVersion = text(m_info, InfoDictionaryKey::BundleShortVersionString);
    const auto version = text(m_info, InfoDictionaryKey::BundleVersion);
    if (shortVersion && version) {
        m_versionDescription = *shortVersion + QStringLiteral(" (") + *version + QLatin1Char(')');
    }
}

void SimulatorApp::startObservingFilesChangesWithCallback(const ChangeCallback &callback)
{
    const std::weak_ptr<SimulatorApp> weak = weak_from_this();
    auto reporting = [weak, callback](SimulatorAppChangeTypes type) {
        return [weak, callback, type] {
            if (auto app = weak.lock(); app && callback) {
                callback(app, type);
            }
        };
    };
    if (m_sandboxURL) {
        m_sandboxFileObserver = std::make_unique<FileObserver>(
            *m_sandboxURL, reporting(SimulatorAppChangeTypes::SandboxUpdated), [] {});
        m_sandboxFileObserver->startMonitoring();
    }
    if (m_bundleURL) {
        m_bundleFileObserver = std::make_unique<FileObserver>(
            *m_bundleURL, reporting(SimulatorAppChangeTypes::BundleUpdated), [] {});
        m_bundleFileObserver->startMonitoring();
    }
}

void SimulatorApp::stopObservingFileChanges()
{
    if (m_sandboxFileObserver) {
        m_sandboxFileObserver->stopMonitoring();
        m_sandboxFileObserver.reset();
    }
    if (m_bundleFileObserver) {
        m_bundleFileObserver->stopMonitoring();
        m_bundleFileObserver.reset();
    }
}

void SimulatorApp::bundleFileSize(const std::function<void(qint64)> &callback)
{
    bundleFileSize(GlobalMainQueue(), callback);
}

void SimulatorApp::bundleFileSize(const DispatchQueuePtr &queue,
                                  const std::function<void(qint64)> &callback)
{
    if (auto cached = cachedBundleSize()) {
        queue->async([callback, size = *cached] { callback(size); });
        return;
    }
    // The walk gets its own copies of the URLs: the app stays on its thread.
    GlobalBackgroundQueue()->async(
        [weak = weak_from_this(), bundle = m_bundleURL, sandbox = m_sandboxURL, queue, callback] {
            if (!bundle || !sandbox) {
                return;
            }
            const qint64 size = sizeOfFolderAtURL(*bundle) + sizeOfFolderAtURL(*sandbox);
            if (auto app = weak.lock()) {
                app->setCachedBundleSize(size);
            }
            queue->async([callback, size] { callback(size); });
        });
}

std::optional<qint64> SimulatorApp::cachedBundleSize() const
{
    const qint64 size = m_cachedBundleSize.load();
    return size < 0 ? std::nullopt : std::optional<qint64>(size);
}

void SimulatorApp::setCachedBundleSize(std::optional<qint64> size)
{
    m_cachedBundleSize.store(size && *size >= 0 ? *size : -1);
}

QString SimulatorApp::description() const
{
    return uuid() + QStringLiteral(": ") + m_name + QStringLiteral(".app (") +
           m_versionDescription + QLatin1Char(')');
}

bool SimulatorApp::isEqual(const SimulatorItem &other) const
{
    return dynamic_cast<const SimulatorApp *>(&other) && other.uuid() == uuid();
}
