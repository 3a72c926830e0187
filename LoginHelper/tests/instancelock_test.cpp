// The instance lock: one holder at a time, released with its holder, never
// taken through a planted link, and handed down only as the same locked file.
#include "instancelock.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

namespace {

class InstanceLockTest : public ::testing::Test
{
protected:
    void TearDown() override { qunsetenv(InstanceLock::handOverVariable()); }
    QString lockPath() const { return m_dir.filePath(QStringLiteral("Marrowby/instance.lock")); }
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(InstanceLockTest, oneHolderAtATimeAndFreeAgainWhenItGoes)
{
    {
        InstanceLock first = InstanceLock::tryAcquire(lockPath());
        ASSERT_EQ(first.state(), InstanceLock::State::Acquired)
            << first.errorString().toStdString();
        EXPECT_EQ(InstanceLock::tryAcquire(lockPath()).state(), InstanceLock::State::HeldByAnother);
        // Moving the lock keeps it held.
        InstanceLock moved = std::move(first);
        EXPECT_EQ(InstanceLock::tryAcquire(lockPath()).state(), InstanceLock::State::HeldByAnother);
    }
    EXPECT_EQ(InstanceLock::tryAcquire(lockPath()).state(), InstanceLock::State::Acquired);
}

TEST_F(InstanceLockTest, aLinkOrAFolderAtTheLockPathIsRefusedWithAReason)
{
    ASSERT_TRUE(QDir().mkpath(m_dir.filePath(QStringLiteral("Marrowby"))));
    const QString target = m_dir.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QFile::link(target, lockPath()));
    const InstanceLock linked = InstanceLock::tryAcquire(lockPath());
    EXPECT_EQ(linked.state(), InstanceLock::State::Unusable);
    EXPECT_FALSE(linked.errorString().isEmpty());
    EXPECT_FALSE(QFile::exists(target)) << "the link was followed";

    ASSERT_TRUE(QFile::remove(lockPath()));
    ASSERT_TRUE(QDir().mkpath(lockPath()));
    const InstanceLock folder = InstanceLock::tryAcquire(lockPath());
    EXPECT_EQ(folder.state(), InstanceLock::State::Unusable);
    EXPECT_FALSE(folder.errorString().isEmpty());
}

TEST_F(InstanceLockTest, aHandedDownLockIsKeptAndTheVariableRemoved)
{
    InstanceLock helper = InstanceLock::tryAcquire(lockPath());
    ASSERT_EQ(helper.state(), InstanceLock::State::Acquired);
    const QByteArray value = helper.prepareHandOver();
    ASSERT_FALSE(value.isEmpty());
    const int fd = value.toInt();
    EXPECT_EQ(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0) << "a started program would not inherit it";
    qputenv(InstanceLock::handOverVariable(), value);

    InstanceLock application = InstanceLock::acquireForApplication(lockPath());
    EXPECT_EQ(application.state(), InstanceLock::State::Acquired);
    EXPECT_FALSE(qEnvironmentVariableIsSet(InstanceLock::handOverVariable()));
    // What the application keeps is not passed on to what it starts.
    EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
}

TEST_F(InstanceLockTest, aBogusHandOverIsIgnoredAndTheLockTakenAfresh)
{
    // Not a number, a standard stream, and a descriptor of another file.
    const QString other = m_dir.filePath(QStringLiteral("other"));
    const int otherFd = ::open(QFile::encodeName(other).constData(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(otherFd, 0);
    for (const QByteArray &value :
         {QByteArray("seven"), QByteArray("0"), QByteArray::number(otherFd), QByteArray("99999")}) {
        qputenv(InstanceLock::handOverVariable(), value);
        InstanceLock lock = InstanceLock::acquireForApplication(lockPath());
        EXPECT_EQ(lock.state(), InstanceLock::State::Acquired) << value.constData();
        EXPECT_FALSE(qEnvironmentVariableIsSet(InstanceLock::handOverVariable()));
        // It is a lock on the right file: nobody else gets it meanwhile.
        EXPECT_EQ(InstanceLock::tryAcquire(lockPath()).state(), InstanceLock::State::HeldByAnother);
    }
    ::close(otherFd);

    // A handed-down descriptor of the lock file that does not hold the lock
    // (somebody else does) is not taken for the lock.
    InstanceLock holder = InstanceLock::tryAcquire(lockPath());
    ASSERT_EQ(holder.state(), InstanceLock::State::Acquired);
    const int unlocked = ::open(QFile::encodeName(lockPath()).constData(), O_RDWR);
    ASSERT_GE(unlocked, 0);
    qputenv(InstanceLock::handOverVariable(), QByteArray::number(unlocked));
    EXPECT_EQ(InstanceLock::acquireForApplication(lockPath()).state(),
              InstanceLock::State::HeldByAnother);
    ::close(unlocked);
}
