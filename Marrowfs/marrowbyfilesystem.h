// The volume's tree: one folder per device with apps, one per app, and in each
// app folder the entry points into its real bundle, data and app-group
// folders. Resolves a virtual path into what it names, builds the readme, and
// gathers a burst of removals of device and app folders into one device
// deletion or app uninstall.
//
// Threads: resolution and listing work on an immutable catalogue snapshot and
// are safe from any number of threads. The readme cache is guarded by
// m_readmeMutex; the deferred removals by m_removalMutex and carried out on
// the removal thread this object owns.
#pragma once

#include "Marrowfs/marrowfs_export.h"

#include "cataloguesource.h"
#include "marrowfsactions.h"

#include "Marrowkit/devtools/xcodeversion.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

// What a virtual path names.
struct MARROWFS_EXPORT VirtualNode
{
    enum class Kind {
        Absent,     // unknown names, names the tree hides, paths that try to climb out
        Root,       // "/"
        Readme,     // "/Readme.txt"
        Device,     // "/DEVICE"
        DeviceLog,  // "/DEVICE/system.log", a real file at a fixed place
        App,        // "/DEVICE/APP"
        FolderIcon, // "/DEVICE/APP/.directory", the app's icon for desktops that read it
        GroupList,  // "/DEVICE/APP/App Groups"
        Real,       // an entry point or anything below one
    };
    Kind kind = Kind::Absent;
    SimulatorDevicePtr device;
    SimulatorAppPtr app;
    // Real: the entry point's real folder and the components below it joined
    // by "/" (empty for the entry point itself). DeviceLog: the log's path.
    QString entryPoint;
    QString relative;
    // Real items in the data and app-group folders; never the bundle.
    bool writable = false;

    QString realPath() const
    {
        return relative.isEmpty() ? entryPoint : entryPoint + QLatin1Char('/') + relative;
    }
};

class MARROWFS_EXPORT MarrowbyFileSystem
{
public:
    static constexpr std::chrono::milliseconds RemovalBurstWait{100};

    // `actions` must outlive the file system.
    MarrowbyFileSystem(CatalogueSource &catalogue, MarrowfsActions &actions, QString rootPath);
    ~MarrowbyFileSystem();
    MarrowbyFileSystem(const MarrowbyFileSystem &) = delete;
    MarrowbyFileSystem &operator=(const MarrowbyFileSystem &) = delete;

    const QString &rootPath() const { return m_rootPath; }
    CatalogueSource &catalogue() const { return m_catalogue; }

    VirtualNode resolve(const QString &path) const;
    VirtualNode resolve(const QString &path, const CatalogueSnapshot &snapshot) const;
    // The real path behind a virtual path; nothing when it does not lead
    // into a real folder (the root, a device or app folder, unknown names).
    std::optional<QString> originalPathForPath(const QString &path) const;
    // Names in a synthesized folder, or in a real folder (hidden items
    // included); empty for everything else.
    QStringList contentsOfDirectory(const QString &path) const;

    QStringList rootContents(const CatalogueSnapshot &snapshot) const;
    static QStringList contentsOfApp(const SimulatorApp &app);
    // The name of the icon entry in app folders: file managers that take a
    // folder's icon from a file in it read this one.
    static const QString FolderIconName;

    // Relative folder paths (no leading "/"); nothing when not in the tree.
    std::optional<QString> pathForDevice(const SimulatorDevice &device) const;
    std::optional<QString> pathForApp(const SimulatorApp &app) const;

    // The readme's UTF-8 bytes, rebuilt when the catalogue or the selected
    // Xcode changed since the last read.
    QByteArray readmeContent();
    void dropReadmeCache();
    // The synthesized files' bytes (the readme, an app folder's icon entry);
    // empty for everything else.
    QByteArray contentsOfSynthesizedFile(const VirtualNode &node);
    // A desktop entry naming the app's icon, written once into the user's
    // cache as PNG; nothing when the app has no icon or the cache cannot be
    // written.
    static std::optional<QByteArray> folderIconEntry(const SimulatorApp &app);

    // A removal that is neither protected nor inside a writable area: kept,
    // and acted on once no further one has come for RemovalBurstWait.
    void deferRemoval(const QString &path);
    // True for names the volume never lets anyone remove or move.
    static bool isProtected(const QStringList &components);
    static bool isProtectedPath(const QString &path);
    // Every removal inside a device's folder is noted. A terminal's `rm -r`
    // removes children first and gives up on a folder once one child fails:
    // a protected item whose device folder saw, within
    // RecursiveRemovalWindow, the removal of an item next to it (same
    // folder; for an item alone in its folder inside an app, anywhere in
    // that app) as the last removal is taken as part of such a walk,
    // answered as removed, and kept. Listings put protected items last for
    // this.
    static constexpr std::chrono::milliseconds RecursiveRemovalWindow{1000};
    void noteRemoval(const QString &path);
    bool isPartOfRecursiveRemoval(const QString &path, bool aloneInFolder = false) const;

private:
    static bool isProtected(qsizetype depth, QStringView name);
    void removalLoop();
    void actOnRemovals(const QStringList &paths);

    CatalogueSource &m_catalogue;
    MarrowfsActions &m_actions;
    QString m_rootPath;

    std::mutex m_readmeMutex;
    std::optional<QByteArray> m_readmeContent;
    std::optional<XcodeVersion> m_lastSelectedXcode;
    QList<XcodeVersion> m_installedXcodes;

    mutable std::mutex m_removalMutex;
    struct LastRemoval
    {
        std::chrono::steady_clock::time_point when;
        QString folder; // the removed item's parent path
    };
    // Device folder name -> the last removal inside it.
    QHash<QString, LastRemoval> m_lastRemovalInDevice;
    std::condition_variable m_removalWake;
    QStringList m_removablePaths;
    std::chrono::steady_clock::time_point m_removalDeadline;
    bool m_stopping = false;
    std::thread m_removalThread;
};
