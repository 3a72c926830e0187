// Installing, removing and launching apps on one device, and adding photos,
// the way the device's containers lay them out:
//
//   data/Containers/Bundle/Application/<UUID>/<Name>.app     the bundle
//   data/Containers/Data/Application/<UUID>/                 the app's data
//       (Documents, Library, Library/Caches, Library/Preferences, tmp)
//   data/Containers/Shared/AppGroup/<UUID>/                  one per group
//   data/Media/DCIM/100APPLE/IMG_0001.JPG                    photos
//
// Each container holds ".com.apple.mobile_container_manager.metadata.plist"
// with MCMMetadataIdentifier (bundle or group identifier); a data container's
// MCMMetadataInfo also lists the app's groups under
// "com.apple.MobileInstallation.GroupContainerIDs".
//
// Every change takes the device's lock and becomes visible in one rename.
// Containers are real folders: links among them (or in place of the folders
// that hold them) are never listed, and links inside a removed container are
// removed as links, their targets left alone.
// Bad input (not an app, unreadable Info.plist or entitlements, not an image)
// is refused before anything on the device changes.
#pragma once

#include "devicerecord.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct InstalledApp
{
    QString bundleIdentifier;
    QString bundleContainerPath;
    QString appPath;
    QString dataContainerPath; // empty when the app has none
};

struct AppBundleInfo
{
    QString path;
    QString identifier;
    QStringList appGroups;

    // Reads and checks an app bundle folder before anything is installed.
    static std::optional<AppBundleInfo> inspect(const QString &appPath, QString *error);
};

class AppInstaller
{
public:
    explicit AppInstaller(DeviceRecord device);

    static QString metadataFileName();
    static QStringList dataContainerFolders();

    // Installs or reinstalls: a reinstalled app keeps its data container and
    // moves to a new bundle container.
    std::optional<InstalledApp> install(const QString &appPath, QString *error = nullptr);
    // Removes the bundle and data containers (app groups stay).
    bool uninstall(const QString &bundleIdentifier, QString *error = nullptr);
    // Needs a booted device (else `code`, when given, becomes
    // SimIdentifiers::incorrectStateErrorCode) and an installed app; logs
    // the launch.
    bool launch(const QString &bundleIdentifier, QString *error = nullptr, int *code = nullptr);
    // Copies every file, all checked first, as IMG_nnnn.<type>; returns the new names.
    std::optional<QStringList> addMedia(const QStringList &files, QString *error = nullptr);

    std::optional<InstalledApp> installedApp(const QString &bundleIdentifier) const;
    // The group's container, if one exists on the device.
    QString appGroupContainer(const QString &groupIdentifier) const;

    QString bundleContainersPath() const;
    QString dataContainersPath() const;
    QString appGroupContainersPath() const;
    QString mediaPath() const;

private:
    bool refresh(QString *error);
    QStringList containersIn(const QString &parent) const;
    QStringList relativeTo(const QStringList &paths) const;
    bool realFolders(const QStringList &paths, bool mayBeMissing, QString *error) const;
    QStringList containersWithIdentifier(const QString &parent, const QString &identifier,
                                         bool bundles) const;
    QString createContainer(const QString &parent, const QString &identifier,
                            const QStringList &groups, const QStringList &folders, QString *error);
    bool writeDataMetadata(const QString &container, const QString &identifier,
                           const QStringList &groups, QString *error);

    DeviceRecord m_device;
};
