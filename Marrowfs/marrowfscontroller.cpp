// Mount folder, dead-mount recovery, mount and unmount.
#include "marrowfscontroller.h"

#include "fusevolume.h"
#include "marrowbyfilesystem.h"

#include "Marrowkit/foundation/log.h"
#include "Marrowkit/model/appcontents.h"
#include "Marrowkit/platform/filesystemchangenotifier.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString MarrowfsController::defaultMountPath()
{
    return QDir::homePath() + QStringLiteral("/Volumes/Marrowby");
}

bool MarrowfsController::isFuseAvailable(QString *reason)
{
    const int fd = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        if (reason) {
            *reason = QStringLiteral("/dev/fuse cannot be opened: ") +
                      QString::fromLocal8Bit(std::strerror(errno));
        }
        return false;
    }
    ::close(fd);
    return true;
}

namespace {

// Why an existing folder must not take the volume: a second mount would hide
// a live one, and a mount over a folder with things in it (a mistyped path,
// the home folder) would hide them from the user while it lasts.
QString whyNotMountableAt(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat folder = {};
    struct stat parent = {};
    if (::stat(native.constData(), &folder) == 0 &&
        ::stat((native + "/..").constData(), &parent) == 0 &&
        (folder.st_dev != parent.st_dev || folder.st_ino == parent.st_ino)) {
        return QStringLiteral("Something is mounted at %1 already (the volume of another "
                              "Marrowby?)")
            .arg(path);
    }
    if (!QDir(path).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System |
                            QDir::NoDotAndDotDot)) {
        return QStringLiteral("The folder %1 is not empty: the volume would hide what it holds")
            .arg(path);
    }
    return {};
}

} // namespace

MarrowfsController::MarrowfsController(CatalogueSource &catalogue, MarrowfsActions &actions,
                                       QString mountPath, FolderOpener *opener)
    : m_mountPath(std::move(mountPath)),
      m_fileSystem(std::make_unique<MarrowbyFileSystem>(catalogue, actions, m_mountPath)),
      m_volume(std::make_unique<FuseVolume>(*m_fileSystem)),
      m_desktopOpener(opener ? nullptr : std::make_unique<DesktopFolderOpener>()),
      m_opener(opener ? opener : m_desktopOpener.get())
{}

MarrowfsController::~MarrowfsController()
{
    stop();
}

void MarrowfsController::clearDeadMount()
{
    struct stat st = {};
    if (::stat(QFile::encodeName(m_mountPath).constData(), &st) == 0 || errno != ENOTCONN) {
        return;
    }
    // A process that died without its unmount helper left its mount behind
    // ("Transport endpoint is not connected"); a lazy unmount clears it.
    MLOG_WARNING(QStringLiteral("clearing a dead mount at ") + m_mountPath);
    QProcess::execute(QStringLiteral("fusermount3"),
                      {QStringLiteral("-u"), QStringLiteral("-z"), m_mountPath});
}

bool MarrowfsController::start()
{
    if (m_volume->isMounted()) {
        return true;
    }
    QString reason;
    m_errorString.clear();
    if (!isFuseAvailable(&reason)) {
        return fail(reason);
    }
    clearDeadMount();
    if (!QFileInfo(m_mountPath).isDir()) {
        if (!QDir().mkpath(m_mountPath)) {
            return fail(QStringLiteral("Cannot make the mount folder ") + m_mountPath);
        }
        m_madeMountFolder = true;
    } else if (const QString problem = whyNotMountableAt(m_mountPath); !problem.isEmpty()) {
        return fail(problem);
    }
    if (!m_volume->mount(m_mountPath, &reason)) {
        return fail(reason);
    }
    return true;
}

bool MarrowfsController::fail(const QString &reason)
{
    m_errorString = reason;
    MLOG_ERROR(reason);
    return false;
}

void MarrowfsController::stop()
{
    if (!m_volume->isMounted()) {
        return;
    }
    m_volume->unmount();
    if (m_madeMountFolder) {
        // Only when empty: something else may have been put there meanwhile.
        ::rmdir(QFile::encodeName(m_mountPath).constData());
        m_madeMountFolder = false;
    }
}

bool MarrowfsController::isMounted() const
{
    return m_volume->isMounted();
}

std::optional<QString> MarrowfsController::folderOfDevice(const SimulatorDevice &device) const
{
    const auto path = m_fileSystem->pathForDevice(device);
    if (!path || !isMounted()) {
        return std::nullopt;
    }
    return m_mountPath + QLatin1Char('/') + *path;
}

std::optional<QString> MarrowfsController::folderOfApp(const SimulatorApp &app) const
{
    const auto path = m_fileSystem->pathForApp(app);
    if (!path || !isMounted()) {
        return std::nullopt;
    }
    return m_mountPath + QLatin1Char('/') + *path;
}

std::optional<QString> MarrowfsController::folderOfAppGroups(const SimulatorApp &app) const
{
    const auto groups = app.appGroups();
    const auto folder = folderOfApp(app);
    // An empty list shows no group folder on the volume.
    if (!groups || groups->isEmpty() || !folder) {
        return std::nullopt;
    }
    return *folder + QLatin1Char('/') +
           (groups->size() == 1 ? QString(AppContents::AppGroupURLKey)
                                : QString(AppContents::AppGroupsURLKey));
}

bool MarrowfsController::reveal(const std::optional<QString> &folder)
{
    if (!folder) {
        return false;
    }
    m_opener->openFolder(*folder);
    return true;
}

bool MarrowfsController::revealDevice(const SimulatorDevice &device)
{
    return reveal(folderOfDevice(device));
}

bool MarrowfsController::revealApp(const SimulatorApp &app)
{
    return reveal(folderOfApp(app));
}

bool MarrowfsController::revealAppGroups(const SimulatorApp &app)
{
    return reveal(folderOfAppGroups(app));
}

void MarrowfsController::selectedXcodeChanged()
{
    m_fileSystem->dropReadmeCache();
    FileSystemChangeNotifier::noteFileSystemChanged(m_mountPath);
}
