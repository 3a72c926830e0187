// One app installed on a simulated device: its bundle and data folders, the
// names and version read from its info dictionary, its icon drawn in the
// device's style, its app groups, the space it takes and watchers on its two
// folders. Built from the app-data dictionary the simulator control library
// hands over, or decoded from an archive.
//
// Threads: not synchronised, owned like its device (one thread at a time).
// Two exceptions: bundleFileSize() walks the folders on the global background
// queue, so the cached size is atomic and the walk works on copies of the
// URLs; and the folder watchers call back on their own queues.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/dispatchqueue.h"
#include "Marrowkit/icons/image.h"
#include "Marrowkit/model/appiconsource.h"
#include "Marrowkit/model/simulatoritem.h"

#include <QDateTime>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class FileObserver;
class SimulatorDevice;
class SimulatorApp;
using SimulatorAppPtr = std::shared_ptr<SimulatorApp>;

class MARROWKIT_EXPORT SimulatorApp : public SimulatorItem,
                                      public std::enable_shared_from_this<SimulatorApp>
{
public:
    // What the folder watchers report.
    enum class SimulatorAppChangeTypes {
        SandboxUpdated,
        SandboxDeleted,
        BundleUpdated,
        BundleDeleted
    };
    // "SandboxUpdated", "SandboxDeleted", "BundlepUpdated", "BundleDeleted".
    static QString rawValue(SimulatorAppChangeTypes type);
    // Exactly the raw values; nothing otherwise.
    static std::optional<SimulatorAppChangeTypes> changeTypeFromRawValue(const QString &rawValue);

    using ChangeCallback = std::function<void(const SimulatorAppPtr &app, SimulatorAppChangeTypes)>;

    // The designated way to make an app. Nothing when `info` has no text
    // "CFBundleIdentifier". Name and version come from `info`; a missing
    // creation date is the start of the epoch.
    static SimulatorAppPtr create(const QString &uuid, const QVariantMap &info,
                                  const std::optional<Image> &icon = std::nullopt,
                                  const std::optional<QUrl> &bundleURL = std::nullopt,
                                  const std::optional<QUrl> &sandboxURL = std::nullopt,
                                  const std::optional<QDateTime> &creationDate = std::nullopt,
                                  bool hasTemplateIcon = false);
    // An app known only by name: its info dictionary holds that name and the
    // identifier "com.unknown.Unknown". `device` is not stored.
    static SimulatorAppPtr
    create(const QString &uuid, const QString &name, const std::shared_ptr<SimulatorDevice> &device,
           const std::optional<Image> &icon, const std::optional<QUrl> &bundleURL,
           const std::optional<QUrl> &sandboxURL, const std::optional<QDateTime> &creationDate,
           bool hasTemplateIcon);
    // From the app-data dictionary: "containerURL" (the .app bundle, required),
    // "dataURL" (optional), "info" (required). Nothing when the required
    // entries are missing or of the wrong kind. `deviceType` is not used.
    static SimulatorAppPtr fromAppData(const QVariantMap &appData, const QString &deviceType);

    // A bare app with a name and version text and the identifier
    // "com.unknown.Unknown" (stand-ins and tests).
    explicit SimulatorApp(QString uuid, QString name = {}, QString versionDescription = {});
    ~SimulatorApp() override;

    // The first text of "CFBundleDisplayName", "CFBundleName"; else "<Untitled App>".
    static QString appNameFromInfoDictionary(const QVariantMap &info);
    static QString appVersionDescriptionFromInfoDictionary(const QVariantMap &info);

    const QString &bundleIdentifier() const { return m_bundleIdentifier; }
    void setBundleIdentifier(const QString &identifier) { m_bundleIdentifier = identifier; }
    const QString &versionDescription() const { return m_versionDescription; }
    void setVersionDescription(const QString &text) { m_versionDescription = text; }
    const QString &name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    const std::optional<Image> &icon() const { return m_icon; }
    void setIcon(const std::optional<Image> &icon)
    {
        m_icon = icon;
        m_iconSource.reset();
    }
    // What the icon is drawn from, when it was made by generateIcon().
    const std::optional<AppIconSource> &iconSource() const { return m_iconSource; }
    // The bundle container's modification date; the epoch when unknown.
    const QDateTime &creationDate() const { return m_creationDate; }
    void setCreationDate(const QDateTime &date) { m_creationDate = date; }
    bool hasTemplateIcon() const { return m_hasTemplateIcon; }
    void setHasTemplateIcon(bool value) { m_hasTemplateIcon = value; }
    const QVariantMap &info() const { return m_info; }
    void setInfo(const QVariantMap &info) { m_info = info; }
    const std::optional<QUrl> &bundleURL() const { return m_bundleURL; }
    void setBundleURL(const std::optional<QUrl> &url) { m_bundleURL = url; }
    const std::optional<QUrl> &sandboxURL() const { return m_sandboxURL; }

    // The device that holds the app; empty once that device is gone.
    std::shared_ptr<SimulatorDevice> device() const { return m_device.lock(); }
    // Setting a device while the app has no icon draws the icon for it.
    void setDevice(const std::shared_ptr<SimulatorDevice> &device);

    // The icon for the device's kind from the bundle's best icon file, or
    // the library's template picture (then hasTemplateIcon is set). Only the
    // file's header is read now; the icon is drawn when its pixels or PNG are
    // first asked for, through the rendered-icon cache, and then holds only
    // the PNG. Nothing without a device, or for NullDevice.
    std::optional<Image> generateIcon();
    // Every representation of the bundle's PNG icon files of these names
    // (each with the suffixes "", "@2x", "@3x", "@2x~ipad", "~ipad").
    std::optional<Image>
    getCombinedIconImageForBundleIcons(const std::optional<QStringList> &names) const;
    // icns data of the app's own icon (cached per bundle identifier), else
    // the library's generic app icon for the device's kind.
    std::optional<QByteArray> iconData() const;

    // The info dictionary's "appGroups" when it is a list of texts.
    std::optional<QStringList> appGroups() const;
    // The folder of the app group whose metadata names `identifier`, else the
    // shared app-group folder of the device; nothing without a data folder.
    std::optional<QUrl> containerURLForAppGroup(const QString &identifier) const;

    // The name of the bundle container (the folder holding the .app).
    std::optional<QString> containerName() const;
    // Re-points the bundle into the container `name` next to the current one
    // and re-reads the info dictionary (after a reinstall).
    void updateContainerName(const QString &name);
    // Re-reads bundleURL/Info.plist; changes nothing when it does not read.
    void updateAppInfo();

    // Watches the data folder and the bundle; `callback` gets SandboxUpdated
    // or BundleUpdated on the watchers' queues while the app exists.
    void startObservingFilesChangesWithCallback(const ChangeCallback &callback);
    void stopObservingFileChanges();

    // The bytes of bundle and data folder together, computed once on the
    // global background queue and answered on `queue`; later calls answer
    // from the cache. Never answers when either folder is unknown.
    void bundleFileSize(const DispatchQueuePtr &queue, const std::function<void(qint64)> &callback);
    void bundleFileSize(const std::function<void(qint64)> &callback);
    std::optional<qint64> cachedBundleSize() const;
    void setCachedBundleSize(std::optional<qint64> size);

    // uuid + ": " + name + ".app (" + versionDescription + ")".
    QString description() const override;
    // Only another app with the same uuid.
    bool isEqual(const SimulatorItem &other) const override;

private:
    struct Private
    {
        explicit Private() = default;
    };

public:
    SimulatorApp(Private, const QString &uuid, const QVariantMap &info,
                 const std::optional<Image> &icon, const std::optional<QUrl> &bundleURL,
                 const std::optional<QUrl> &sandboxURL,
                 const std::optional<QDateTime> &creationDate, bool hasTemplateIcon);

private:
    QString m_bundleIdentifier;
    QString m_versionDescription;
    QString m_name;
    std::optional<Image> m_icon;
    std::optional<AppIconSource> m_iconSource;
    QDateTime m_creationDate;
    bool m_hasTemplateIcon = false;
    std::weak_ptr<SimulatorDevice> m_device;
    QVariantMap m_info;
    std::unique_ptr<FileObserver> m_bundleFileObserver;
    std::unique_ptr<FileObserver> m_sandboxFileObserver;
    std::optional<QUrl> m_bundleURL;
    std::optional<QUrl> m_sandboxURL;
    // Never archived. -1 while unknown.
    std::atomic<qint64> m_cachedBundleSize{-1};
};
