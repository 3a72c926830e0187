// A mount process killed outright never leaves the next start stuck: its
// unmount helper takes the mount down, and where the helper died too, the
// next start finds the dead mount and clears it before mounting afresh.
#include "connectorfeed.h"
#include "connectorworld.h"
#include "marrowfscontroller.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <sys/stat.h>

using testsupport::isMountPoint;
using testsupport::waitFor;

namespace {

// The processes whose parent is `parent`.
QList<qint64> childrenOf(qint64 parent)
{
    QList<qint64> children;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        QFile stat(QStringLiteral("/proc/") + entry + QStringLiteral("/stat"));
        if (!number || !stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        // "pid (comm) state ppid ...": the name may hold spaces, so read after ')'.
        const QByteArray text = stat.readAll();
        const QList<QByteArray> rest = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (rest.size() > 1 && rest.at(1).toLongLong() == parent) {
            children.append(pid);
        }
    }
    return children;
}

// The mount process reaches the service on the test's private bus.
class CrashedMount : public ConnectorWorld
{
protected:
    void SetUp() override
    {
        QString reason;
        if (!MarrowfsController::isFuseAvailable(&reason)) {
            GTEST_SKIP() << "FUSE cannot be used here: " << reason.toStdString();
        }
        ConnectorWorld::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        m_mountPath = m_parent.path() + QStringLiteral("/Marrowby");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus->address());
        m_process.setProcessEnvironment(environment);
    }

    void TearDown() override
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
        if (isMountPoint(m_mountPath)) {
            QProcess::execute(QStringLiteral("fusermount3"),
                              {QStringLiteral("-u"), QStringLiteral("-z"), m_mountPath});
        }
        ConnectorWorld::TearDown();
    }

    // Runs marrowby-cli mount until it says it has mounted.
    bool startMountProcess()
    {
        m_process.start(testsupport::bundlePath() + QStringLiteral("/Contents/MacOS/marrowby-cli"),
                        {QStringLiteral("mount"), m_mountPath});
        return m_process.waitForStarted() && waitFor([&] {
                   m_process.waitForReadyRead(100);
                   m_output += m_process.readAllStandardOutput();
                   return m_output.contains("Mounted at");
               }) &&
               isMountPoint(m_mountPath);
    }

    void mountAfreshAndList()
    {
        WatchedConnector &watched = newConnector();
        ASSERT_TRUE(waitForCatalogue(watched));
        ConnectorFeed feed(*watched.connector, nullptr);
        MarrowfsController volume(feed.catalogue(), feed, m_mountPath);
        ASSERT_TRUE(volume.start());
        EXPECT_FALSE(
            QDir(m_mountPath).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
        volume.stop();
    }

    QTemporaryDir m_parent;
    QString m_mountPath;
    QProcess m_process;
    QByteArray m_output;
};

} // namespace

TEST_F(CrashedMount, TheUnmountHelperTakesDownTheMountOfAKilledProcess)
{
    ASSERT_TRUE(startMountProcess()) << m_process.readAllStandardError().toStdString();
    EXPECT_FALSE(QDir(m_mountPath).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
    m_process.kill();
    m_process.waitForFinished();
    EXPECT_TRUE(waitFor([&] { return !isMountPoint(m_mountPath); }));
    mountAfreshAndList();
}

TEST_F(CrashedMount, ADeadMountIsClearedAtTheNextStart)
{
    ASSERT_TRUE(startMountProcess()) << m_process.readAllStandardError().toStdString();
    // Without its helper, the killed process leaves the mount dead behind.
    const QList<qint64> helpers = childrenOf(m_process.processId());
    ASSERT_FALSE(helpers.isEmpty());
    for (const qint64 helper : helpers) {
        ::kill(pid_t(helper), SIGKILL);
    }
    m_process.kill();
    m_process.waitForFinished();
    struct stat st = {};
    ASSERT_TRUE(waitFor([&] {
        return ::stat(QFile::encodeName(m_mountPath).constData(), &st) != 0 && errno == ENOTCONN;
    }));
    mountAfreshAndList();
    EXPECT_FALSE(isMountPoint(m_mountPath));
}

TEST_F(CrashedMount, TheMountProcessUnmountsOnTerminate)
{
    ASSERT_TRUE(startMountProcess()) << m_process.readAllStandardError().toStdString();
    m_process.terminate();
    ASSERT_TRUE(m_process.waitForFinished());
    EXPECT_EQ(m_process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_process.exitCode(), 0);
    EXPECT_FALSE(isMountPoint(m_mountPath));
}

TEST_F(CrashedMount, ALiveMountOrAFolderWithThingsInItIsNotMountedOver)
{
    ASSERT_TRUE(startMountProcess()) << m_process.readAllStandardError().toStdString();
    QProcess second;
    second.setProcessEnvironment(m_process.processEnvironment());
    second.start(testsupport::bundlePath() + QStringLiteral("/Contents/MacOS/marrowby-cli"),
                 {QStringLiteral("mount"), m_mountPath});
    ASSERT_TRUE(second.waitForFinished(60000));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_TRUE(second.readAllStandardError().contains("is mounted at"));
    // The first volume still serves.
    EXPECT_EQ(m_process.state(), QProcess::Running);
    EXPECT_FALSE(QDir(m_mountPath).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
    m_process.terminate();
    ASSERT_TRUE(m_process.waitForFinished());
    ASSERT_FALSE(isMountPoint(m_mountPath));

    // A folder the user keeps things in stays as it is, visible.
    ASSERT_TRUE(QDir().mkpath(m_mountPath));
    ASSERT_TRUE(testsupport::writeFile(m_mountPath + QStringLiteral("/.notes"), "mine"));
    WatchedConnector &watched = newConnector();
    ASSERT_TRUE(waitForCatalogue(watched));
    ConnectorFeed feed(*watched.connector, nullptr);
    MarrowfsController volume(feed.catalogue(), feed, m_mountPath);
    EXPECT_FALSE(volume.start());
    EXPECT_TRUE(volume.errorString().contains(QStringLiteral("not empty")))
        << volume.errorString().toStdString();
    EXPECT_FALSE(isMountPoint(m_mountPath));
    volume.stop();
    EXPECT_TRUE(QFile::exists(m_mountPath + QStringLiteral("/.notes")));
}
