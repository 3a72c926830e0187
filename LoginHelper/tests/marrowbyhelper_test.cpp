// The helper program as the autostart entry runs it, with the real
// application in a temporary home on a private bus: started twice in a row
// it starts the application once, started while the application runs it
// starts nothing, and the application it started keeps others out.
#include "instancelock.h"

#include "tests/support/privatebus.h"
#include "tests/support/processscan.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <QProcess>

using testsupport::waitFor;

namespace {

class MarrowbyHelperProgram : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_home = std::make_unique<testsupport::TemporaryHome>();
        // No volume: the application is only to be seen running.
        ASSERT_TRUE(testsupport::writeFile(
            m_home->filePath(QStringLiteral(".config/Marrowby/Marrowby.conf")),
            "[General]\nMarrowfsEnabled=false\n"));
        m_bus = std::make_unique<testsupport::PrivateBus>();
        ASSERT_TRUE(m_bus->isRunning());
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus->address());
        m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    void TearDown() override
    {
        if (m_home) {
            EXPECT_TRUE(testsupport::terminateAll(applications()));
        }
        m_bus.reset();
        m_home.reset();
    }

    static QString helperProgram()
    {
        return testsupport::bundlePath() + QStringLiteral("/Contents/Library/LoginItems/"
                                                          "MarrowbyHelper.app/Contents/MacOS/"
                                                          "MarrowbyHelper");
    }
    static QString applicationProgram()
    {
        return testsupport::bundlePath() + QStringLiteral("/Contents/MacOS/Marrowby");
    }
    QList<pid_t> applications() const
    {
        return testsupport::processesOf(applicationProgram(), m_home->path());
    }
    // Starts a program of the bundle; the caller waits for it as it needs.
    std::unique_ptr<QProcess> start(const QString &program)
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(m_environment);
        process->start(program, {});
        EXPECT_TRUE(process->waitForStarted());
        return process;
    }
    static bool ended(QProcess &process)
    {
        return waitFor([&] { return process.state() == QProcess::NotRunning; },
                       std::chrono::seconds(30)) &&
               process.exitStatus() == QProcess::NormalExit;
    }
    bool lockHeldElsewhere() const
    {
        return InstanceLock::tryAcquire(InstanceLock::defaultPath()).state() ==
               InstanceLock::State::HeldByAnother;
    }

    std::unique_ptr<testsupport::TemporaryHome> m_home;
    std::unique_ptr<testsupport::PrivateBus> m_bus;
    QProcessEnvironment m_environment;
};

} // namespace

TEST_F(MarrowbyHelperProgram, startedTwiceInARowItStartsTheApplicationOnce)
{
    auto first = start(helperProgram());
    auto second = start(helperProgram());
    ASSERT_TRUE(ended(*first));
    ASSERT_TRUE(ended(*second));
    EXPECT_EQ(first->exitCode(), 0);
    EXPECT_EQ(second->exitCode(), 0);
    // A helper may end before the child it started has become the
    // application: wait for one, then make sure no second one follows.
    ASSERT_TRUE(waitFor([&] { return !applications().isEmpty() && lockHeldElsewhere(); },
                        std::chrono::seconds(30)));
    EXPECT_FALSE(waitFor([&] { return applications().size() > 1; }, std::chrono::seconds(1)));
    EXPECT_EQ(applications().size(), 1);

    // Once more while the application runs: nothing new.
    auto third = start(helperProgram());
    ASSERT_TRUE(ended(*third));
    EXPECT_FALSE(waitFor([&] { return applications().size() > 1; }, std::chrono::seconds(1)));
    EXPECT_EQ(applications().size(), 1);
}

TEST_F(MarrowbyHelperProgram, theApplicationStartedByHandKeepsTheHelperAndAnotherCopyOut)
{
    auto byHand = start(applicationProgram());
    ASSERT_TRUE(waitFor([&] { return lockHeldElsewhere(); }, std::chrono::seconds(30)));
    auto helper = start(helperProgram());
    ASSERT_TRUE(ended(*helper));
    EXPECT_EQ(applications().size(), 1);

    auto again = start(applicationProgram());
    ASSERT_TRUE(ended(*again));
    EXPECT_EQ(again->exitCode(), 0);
    EXPECT_TRUE(QString::fromLocal8Bit(again->readAllStandardError())
                    .contains(QStringLiteral("runs already")));
    EXPECT_EQ(applications(), QList<pid_t>{pid_t(byHand->processId())});
    EXPECT_TRUE(testsupport::terminateAll(applications()));
    ASSERT_TRUE(ended(*byHand));
    // It ended the way Quit ends it, and the lock went with it.
    EXPECT_FALSE(lockHeldElsewhere());
}
