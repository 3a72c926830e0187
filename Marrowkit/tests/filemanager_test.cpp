// Emptying a folder into the freedesktop Trash under a temporary HOME, the
// change announcements, and the failures that must stop the walk.
#include "Marrowkit/platform/filemanager.h"
#include "Marrowkit/platform/filesystemchangenotifier.h"

#include "tests/support/testsupport.h"

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

using testsupport::waitFor;

namespace {

QString failureReason(const Result<Unit> &result)
{
    return result.error() ? result.error()->localizedFailureReason().value_or(QString())
                          : QString();
}

// Sets or clears the immutable flag; false where the file system or the
// process's capabilities do not allow it.
bool setImmutable(const QString &path, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    int flags = 0;
    bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

// Receives org.kde.KDirNotify FilesChanged on a bus connection of its own.
class KDirNotifyListener : public QObject
{
    Q_OBJECT
public:
    QStringList urls;
public Q_SLOTS:
    void filesChanged(const QStringList &changed) { urls += changed; }
};

class RemoveContentsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_folder = m_home.filePath(QStringLiteral("Containers/Data/App"));
        ASSERT_TRUE(QDir().mkpath(m_folder));
    }
    QString item(const QString &name) const { return m_folder + QLatin1Char('/') + name; }
    QString trashed(const QString &name) const
    {
        return m_home.filePath(QStringLiteral(".local/share/Trash/files/") + name);
    }
    QString trashInfo(const QString &name) const
    {
        return m_home.filePath(QStringLiteral(".local/share/Trash/info/") + name +
                               QStringLiteral(".trashinfo"));
    }

    testsupport::TemporaryHome m_home;
    QString m_folder;
};

} // namespace

TEST_F(RemoveContentsTest, MovesEveryItemToTheTrashAndKeepsTheFolder)
{
    ASSERT_TRUE(testsupport::writeFile(item(QStringLiteral("Documents/notes.txt")), "n"));
    ASSERT_TRUE(testsupport::writeFile(item(QStringLiteral("Library/Prefs/a.plist")), "p"));
    ASSERT_TRUE(testsupport::writeFile(item(QStringLiteral(".hidden")), "h"));
    const QString outside = m_home.filePath(QStringLiteral("outside.txt"));
    ASSERT_TRUE(testsupport::writeFile(outside, "keep"));
    ASSERT_TRUE(QFile::link(outside, item(QStringLiteral("link"))));

    QStringList announced;
    QObject context;
    QObject::connect(FileSystemChangeNotifier::instance(),
                     &FileSystemChangeNotifier::fileSystemChanged, &context,
                     [&](const QString &path) { announced.append(path); });

    const auto result = removeContentsOfDirectoryAtURL(QUrl::fromLocalFile(m_folder));
    ASSERT_TRUE(result.isSuccess()) << result.description().toStdString();
    EXPECT_TRUE(QFileInfo(m_folder).isDir()) << "the folder itself stays";
    EXPECT_TRUE(QDir(m_folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System |
                                       QDir::NoDotAndDotDot));
    for (const QString &name : {QStringLiteral("Documents"), QStringLiteral("Library"),
                                QStringLiteral(".hidden"), QStringLiteral("link")}) {
        EXPECT_TRUE(QFileInfo::exists(trashed(name))) << name.toStdString();
        EXPECT_TRUE(QFileInfo::exists(trashInfo(name))) << name.toStdString();
    }
    EXPECT_TRUE(QFileInfo::exists(trashed(QStringLiteral("Library/Prefs/a.plist"))))
        << "folders go whole, contents included";
    EXPECT_TRUE(QFileInfo(trashed(QStringLiteral("link"))).isSymLink());
    QFile target(outside);
    ASSERT_TRUE(target.open(QIODevice::ReadOnly)) << "a link goes, never what it points to";
    EXPECT_EQ(target.readAll(), QByteArray("keep"));
    QFile info(trashInfo(QStringLiteral("Documents")));
    ASSERT_TRUE(info.open(QIODevice::ReadOnly));
    EXPECT_TRUE(info.readAll().contains("Path="));

    ASSERT_TRUE(waitFor([&] { return announced.size() == 4; }));
    EXPECT_EQ(announced.count(m_folder), 4) << "each move is announced at its parent folder";
}

TEST_F(RemoveContentsTest, EmptyOrMissingFolderSucceeds)
{
    EXPECT_TRUE(removeContentsOfDirectoryAtURL(QUrl::fromLocalFile(m_folder)).isSuccess());
    EXPECT_TRUE(removeContentsOfDirectoryAtURL(QUrl::fromLocalFile(item(QStringLiteral("absent"))))
                    .isSuccess());
    EXPECT_FALSE(QFileInfo::exists(m_home.filePath(QStringLiteral(".local/share/Trash/files"))) &&
                 !QDir(m_home.filePath(QStringLiteral(".local/share/Trash/files"))).isEmpty());
}

TEST_F(RemoveContentsTest, UrlWithoutPathFails)
{
    for (const QUrl &url : {QUrl(), QUrl(QStringLiteral("https://example.org/folder"))}) {
        const auto result = removeContentsOfDirectoryAtURL(url);
        ASSERT_TRUE(result.isFailure());
        EXPECT_EQ(result.error()->domain, QStringLiteral("NSFileManagerErrorDomain"));
        EXPECT_EQ(result.error()->code, 1);
        EXPECT_EQ(failureReason(result), QStringLiteral("URL has no path."));
    }
}

TEST_F(RemoveContentsTest, NameTooLongForTheTrashFailsInsteadOfHanging)
{
    // The .trashinfo of a 255-byte name cannot exist; the walk must report
    // that item and leave the rest where it is.
    const QString longName = QStringLiteral("b") + QString(254, QLatin1Char('x'));
    ASSERT_TRUE(testsupport::writeFile(item(QStringLiteral("a.txt")), "a"));
    ASSERT_TRUE(testsupport::writeFile(item(longName), "b"));
    ASSERT_TRUE(testsupport::writeFile(item(QStringLiteral("c.txt")), "c"));

    const auto result = removeContentsOfDirectoryAtURL(QUrl::fromLocalFile(m_folder));
    ASSERT_TRUE(result.isFailure());
    EXPECT_EQ(result.error()->domain, QStringLiteral("NSFileManagerErrorDomain"));
    EXPECT_EQ(failureReason(result), QStringLiteral("Could not remove url."));
    EXPECT_EQ(result.error()->code, ENAMETOOLONG);
    EXPECT_TRUE(QFileInfo::exists(trashed(QStringLiteral("a.txt"))));
    EXPECT_TRUE(QFileInfo::exists(item(longName)));
    EXPECT_TRUE(QFileInfo::exists(item(QStringLiteral("c.txt"))))
        << "the walk stops at the failure";
}

TEST_F(RemoveContentsTest, ImmovableItemStopsTheWalk)
{
    ASSERT_TRUE(testsupport::writeFile(item(QStringLiteral("a.txt")), "a"));
    ASSERT_TRUE(testsupport::writeFile(item(QStringLiteral("b.txt")), "b"));
    ASSERT_TRUE(testsupport::writeFile(item(QStringLiteral("c.txt")), "c"));
    if (!setImmutable(item(QStringLiteral("b.txt")), true)) {
        GTEST_SKIP() << "cannot make a file immutable here (file system or capabilities)";
    }
    const auto result = removeContentsOfDirectoryAtURL(QUrl::fromLocalFile(m_folder));
    setImmutable(item(QStringLiteral("b.txt")), false);

    ASSERT_TRUE(result.isFailure());
    EXPECT_EQ(failureReason(result), QStringLiteral("Could not remove url."));
    EXPECT_EQ(result.error()->userInfo.value(Error::filePathKey()).toString(),
              item(QStringLiteral("b.txt")));
    EXPECT_TRUE(QFileInfo::exists(trashed(QStringLiteral("a.txt"))));
    EXPECT_TRUE(QFileInfo::exists(item(QStringLiteral("b.txt"))));
    EXPECT_FALSE(QFileInfo::exists(trashInfo(QStringLiteral("b.txt")))) << "no stray info file";
    EXPECT_TRUE(QFileInfo::exists(item(QStringLiteral("c.txt"))));
}

TEST_F(RemoveContentsTest, DanglingLinkIsReportedNotLost)
{
    ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent"), item(QStringLiteral("dangling"))));
    const auto result = removeContentsOfDirectoryAtURL(QUrl::fromLocalFile(m_folder));
    ASSERT_TRUE(result.isFailure());
    EXPECT_EQ(failureReason(result), QStringLiteral("Could not remove url."));
    EXPECT_TRUE(QFileInfo(item(QStringLiteral("dangling"))).isSymLink());
}

TEST_F(RemoveContentsTest, AFolderThatIsALinkIsNotEmptied)
{
    // A data container replaced by a link to a folder of the user's own.
    const QString elsewhere = m_home.filePath(QStringLiteral("Documents/Thesis"));
    ASSERT_TRUE(testsupport::writeFile(elsewhere + QStringLiteral("/chapter1.tex"), "text"));
    const QString linked = m_home.filePath(QStringLiteral("Containers/Data/Linked"));
    ASSERT_TRUE(QFile::link(elsewhere, linked));

    const auto result = removeContentsOfDirectoryAtURL(QUrl::fromLocalFile(linked));
    ASSERT_TRUE(result.isFailure());
    EXPECT_EQ(failureReason(result), QStringLiteral("Could not remove url."));
    EXPECT_EQ(result.error()->code, ELOOP);
    EXPECT_TRUE(QFileInfo::exists(elsewhere + QStringLiteral("/chapter1.tex")));
    EXPECT_TRUE(QFileInfo(linked).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(trashed(QStringLiteral("chapter1.tex"))));
}

TEST_F(RemoveContentsTest, KernelFilesCannotBeTrashed)
{
    const auto result =
        removeContentsOfDirectoryAtURL(QUrl::fromLocalFile(QStringLiteral("/proc/self/fdinfo")));
    ASSERT_TRUE(result.isFailure());
    EXPECT_EQ(failureReason(result), QStringLiteral("Could not remove url."));
}

TEST_F(RemoveContentsTest, AnnouncesOnTheSessionBus)
{
    QProcess daemon;
    if (!qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS")) {
        // A private bus, so the test neither needs nor disturbs a desktop one.
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"),
                      QStringLiteral("--print-address=1")});
        if (!daemon.waitForStarted() || !daemon.waitForReadyRead(10000)) {
            GTEST_SKIP() << "no dbus-daemon to start a private bus with";
        }
        qputenv("DBUS_SESSION_BUS_ADDRESS", daemon.readLine().trimmed());
    }
    QDBusConnection listenerBus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("kdirnotify"));
    ASSERT_TRUE(listenerBus.isConnected());
    KDirNotifyListener listener;
    ASSERT_TRUE(listenerBus.connect(
        QString(), QStringLiteral("/"), QStringLiteral("org.kde.KDirNotify"),
        QStringLiteral("FilesChanged"), &listener, SLOT(filesChanged(QStringList))));

    ASSERT_TRUE(testsupport::writeFile(item(QStringLiteral("one")), "1"));
    ASSERT_TRUE(removeContentsOfDirectoryAtURL(QUrl::fromLocalFile(m_folder)).isSuccess());
    EXPECT_TRUE(waitFor([&] { return !listener.urls.isEmpty(); }));
    EXPECT_EQ(listener.urls, QStringList{QUrl::fromLocalFile(m_folder).toString()});

    QDBusConnection::disconnectFromBus(QStringLiteral("kdirnotify"));
    if (daemon.state() != QProcess::NotRunning) {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        daemon.kill();
        daemon.waitForFinished();
    }
}

#include "filemanager_test.moc"
