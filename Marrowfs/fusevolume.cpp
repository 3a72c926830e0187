// Session set-up, the request loop's thread, the clean stop order, and the
// thread that invalidates the kernel's entries when the catalogue changes.
#include "fusevolume.h"

#include "fuseoperations_p.h"
#include "requestloop_p.h"

#include "Marrowkit/foundation/log.h"

#include <QFile>
#include <QSet>

#include <string>
#include <vector>

namespace {

// Workers for the requests that may wait: enough to keep several readers
// and a listing busy without one slow real disk stalling the rest.
constexpr unsigned RequestWorkers = 8;

QSet<QString> deviceFolders(const CatalogueSnapshotPtr &snapshot)
{
    QSet<QString> names;
    if (snapshot) {
        for (const auto &entry : snapshot->deviceNames) {
            names.insert(entry.second);
        }
    }
    return names;
}

QSet<QString> appFolders(const CatalogueSnapshotPtr &snapshot, const QString &deviceFolder)
{
    QSet<QString> names;
    if (!snapshot) {
        return names;
    }
    for (const auto &[device, name] : snapshot->deviceNames) {
        if (name == deviceFolder) {
            for (const auto &app : snapshot->appNames.value(device->uuid())) {
                names.insert(app.second);
            }
        }
    }
    return names;
}

} // namespace

FuseVolume::FuseVolume(MarrowbyFileSystem &fileSystem) : m_fileSystem(fileSystem)
{}

FuseVolume::~FuseVolume()
{
    unmount();
}

bool FuseVolume::mount(const QString &mountPoint, QString *error)
{
    if (m_session) {
        return true;
    }
    // auto_unmount leaves a helper behind that unmounts when this process
    // ends in any way, a crash included.
    std::vector<std::string> arguments{"marrowby", "-o",
                                       "fsname=Marrowby,subtype=marrowby,auto_unmount"};
    std::vector<char *> argv;
    argv.reserve(arguments.size());
    for (std::string &argument : arguments) {
        argv.push_back(argument.data());
    }
    fuse_args args = FUSE_ARGS_INIT(int(argv.size()), argv.data());
    m_session = fuse_session_new(&args, &marrowfsOperations(), sizeof(fuse_lowlevel_ops), this);
    fuse_opt_free_args(&args);
    if (!m_session) {
        *error = QStringLiteral("The volume's session could not be made.");
        return false;
    }
    if (fuse_session_mount(m_session, QFile::encodeName(mountPoint).constData()) != 0) {
        fuse_session_destroy(m_session);
        m_session = nullptr;
        *error = QStringLiteral("Mounting ") + mountPoint + QStringLiteral(" failed.");
        return false;
    }
    {
        std::lock_guard lock(m_invalidateMutex);
        m_invalidateStop = false;
        m_invalidatePending = false;
        m_shownSnapshot = m_fileSystem.catalogue().snapshot();
    }
    m_invalidator = std::thread([this] { invalidationLoop(); });
    m_fileSystem.catalogue().setChangeHandler(
        [this](const CatalogueSnapshotPtr &snapshot) { catalogueChanged(snapshot); });
    fuse_session *session = m_session;
    m_loop = std::thread([session] { RequestLoop(session, RequestWorkers).run(); });
    MLOG_INFO(QStringLiteral("mounted ") + mountPoint);
    return true;
}

void FuseVolume::unmount()
{
    if (!m_session) {
        return;
    }
    m_fileSystem.catalogue().setChangeHandler({});
    {
        std::lock_guard lock(m_invalidateMutex);
        m_invalidateStop = true;
    }
    m_invalidateWake.notify_all();
    m_invalidator.join();
    // The order matters: after the exit flag only the unmount wakes the
    // request threads, and the session may go only once they have ended.
    fuse_session_exit(m_session);
    fuse_session_unmount(m_session);
    m_loop.join();
    fuse_session_destroy(m_session);
    m_session = nullptr;
    MLOG_INFO(QStringLiteral("unmounted"));
}

void FuseVolume::catalogueChanged(const CatalogueSnapshotPtr &)
{
    {
        std::lock_guard lock(m_invalidateMutex);
        m_invalidatePending = true;
    }
    m_invalidateWake.notify_all();
}

void FuseVolume::invalidationLoop()
{
    std::unique_lock lock(m_invalidateMutex);
    while (true) {
        m_invalidateWake.wait(lock, [this] { return m_invalidateStop || m_invalidatePending; });
        if (m_invalidateStop) {
            return;
        }
        m_invalidatePending = false;
        const CatalogueSnapshotPtr before = m_shownSnapshot;
        const CatalogueSnapshotPtr after = m_fileSystem.catalogue().snapshot();
        m_shownSnapshot = after;
        lock.unlock();

        m_fileSystem.dropReadmeCache();
        // Names cached under either catalogue may now be wrong: a device or
        // app that went, came, or changed its name.
        const QSet<QString> devices = deviceFolders(before) | deviceFolders(after);
        for (const QString &device : devices) {
            const QByteArray name = QFile::encodeName(device);
            fuse_lowlevel_notify_inval_entry(m_session, InodeTable::RootInode, name.constData(),
                                             size_t(name.size()));
            const std::optional<uint64_t> folder = m_inodes.find(QLatin1Char('/') + device);
            if (!folder) {
                continue;
            }
            for (const QString &app : appFolders(before, device) | appFolders(after, device)) {
                const QByteArray appName = QFile::encodeName(app);
                fuse_lowlevel_notify_inval_entry(m_session, *folder, appName.constData(),
                                                 size_t(appName.size()));
            }
            fuse_lowlevel_notify_inval_inode(m_session, *folder, 0, 0);
        }
        fuse_lowlevel_notify_inval_inode(m_session, InodeTable::RootInode, 0, 0);
        lock.lock();
    }
}
