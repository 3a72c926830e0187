// Owns the volume: makes the mount folder, clears a dead mount a crashed
// process left there, mounts the tree, and unmounts on stop (and, through the
// mount helper, when the process dies). Answers where a device's or an app's
// folder is on the volume while it is mounted, opens those folders in the
// file manager, and tells file managers to read the volume again when the
// selected Xcode changes.
//
// Threads: created, started, stopped and asked on one owner thread (the main
// thread of the menu or of the command-line program). The volume's requests
// run on its own threads.
#pragma once

#include "Marrowfs/marrowfs_export.h"

#include "cataloguesource.h"
#include "folderopener.h"
#include "marrowfsactions.h"

#include <QString>

#include <memory>
#include <optional>

class FuseVolume;
class MarrowbyFileSystem;

class MARROWFS_EXPORT MarrowfsController
{
public:
    // "~/Volumes/Marrowby".
    static QString defaultMountPath();
    // Whether this process can mount at all (the FUSE device can be opened).
    static bool isFuseAvailable(QString *reason = nullptr);

    // `opener` (the desktop's file manager when null) must outlive the
    // controller.
    MarrowfsController(CatalogueSource &catalogue, MarrowfsActions &actions,
                       QString mountPath = defaultMountPath(), FolderOpener *opener = nullptr);
    ~MarrowfsController();
    MarrowfsController(const MarrowfsController &) = delete;
    MarrowfsController &operator=(const MarrowfsController &) = delete;

    // Mounts; false (with a logged reason) when it cannot. An existing folder
    // must be empty and not mounted on already.
    bool start();
    // Why the last start failed, for the user.
    const QString &errorString() const { return m_errorString; }
    // Unmounts and removes the mount folder when it made it and it is empty.
    void stop();
    bool isMounted() const;
    const QString &mountPath() const { return m_mountPath; }
    MarrowbyFileSystem &fileSystem() { return *m_fileSystem; }

    // Absolute folders on the mounted volume; nothing while not mounted or
    // for items not in the tree.
    std::optional<QString> folderOfDevice(const SimulatorDevice &device) const;
    std::optional<QString> folderOfApp(const SimulatorApp &app) const;
    std::optional<QString> folderOfAppGroups(const SimulatorApp &app) const;

    // Open the item's folder on the mounted volume and answer true; false
    // (nothing opened) while not mounted or for items not in the tree, so
    // the caller falls back to the service's way.
    bool revealDevice(const SimulatorDevice &device);
    bool revealApp(const SimulatorApp &app);
    bool revealAppGroups(const SimulatorApp &app);

    // To be called when the user selected another Xcode: the readme is made
    // again and file managers are told to read the volume's root again. The
    // volume stays mounted.
    void selectedXcodeChanged();

private:
    void clearDeadMount();
    bool fail(const QString &reason);
    bool reveal(const std::optional<QString> &folder);

    QString m_mountPath;
    std::unique_ptr<MarrowbyFileSystem> m_fileSystem;
    std::unique_ptr<FuseVolume> m_volume;
    bool m_madeMountFolder = false;
    QString m_errorString;
    std::unique_ptr<FolderOpener> m_desktopOpener;
    FolderOpener *m_opener;
};
