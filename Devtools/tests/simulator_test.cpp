// The Simulator stand-in as the system starts and ends it: `open` starts it
// detached, `ps` sees it, SIGTERM (through osascript's quit, or directly)
// shuts its device down.
#include "devtoolsworld.h"
#include "tests/support/testsupport.h"

#include <QProcess>

#include <gtest/gtest.h>

using namespace devtoolsworld;

namespace {

QString developerFolder()
{
    return QDir::homePath() + QStringLiteral("/Applications/Xcode.app/Contents/Developer");
}

// `ps -eo command` lines that run an executable of this test's HOME.
QStringList psLines(const QString &marker)
{
    QProcess ps;
    ps.start(QStringLiteral("/bin/ps"), {QStringLiteral("-eo"), QStringLiteral("command")});
    ps.waitForFinished();
    QStringList lines;
    for (const QString &line :
         QString::fromUtf8(ps.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        if (line.contains(QDir::homePath()) && line.contains(marker)) {
            lines.append(line);
        }
    }
    return lines;
}

class SimulatorApp : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(run(QStringLiteral("devtools"), {QStringLiteral("sample-world")}).status, 0);
        const auto phone = firstDevice(QStringLiteral("iPhone 5s"), QStringLiteral("iOS 10.0"));
        const auto watch =
            firstDevice(QStringLiteral("Apple Watch - 42mm"), QStringLiteral("watchOS 3.0"));
        ASSERT_TRUE(phone && watch);
        m_phone = phone->udid;
        m_watch = watch->udid;
    }

    void TearDown() override
    {
        // Never leave a simulator of this HOME running.
        for (const QString &name :
             {QStringLiteral("Simulator"), QStringLiteral("Simulator (Watch)")}) {
            run(QStringLiteral("osascript"),
                {QStringLiteral("-e"), QStringLiteral("tell app \"%1\" to quit").arg(name)});
        }
    }

    testsupport::TemporaryHome m_home;
    QString m_phone;
    QString m_watch;
};

} // namespace

TEST_F(SimulatorApp, OpenBootsTheDeviceAndQuitShutsItDown)
{
    const QString app = developerFolder() + QStringLiteral("/Applications/Simulator.app");
    // Shut down before: the Simulator may be booting by the time `open`
    // returns, so the first state is read here.
    QList<int> seen{deviceState(m_phone)};
    const ToolRun opened =
        run(QStringLiteral("open"),
            {app, QStringLiteral("--args"), QStringLiteral("-CurrentDeviceUDID"), m_phone});
    ASSERT_EQ(opened.status, 0) << opened.err.toStdString();

    // Booting first, Booted about half a second later.
    ASSERT_TRUE(testsupport::waitFor([&] {
        const int state = deviceState(m_phone);
        if (seen.isEmpty() || seen.last() != state) {
            seen.append(state);
        }
        return state == 3;
    }));
    EXPECT_EQ(seen, (QList<int>{1, 2, 3}));

    const QStringList running =
        psLines(QStringLiteral("/Applications/Simulator.app/Contents/MacOS/Simulator"));
    ASSERT_EQ(running.size(), 1);
    EXPECT_TRUE(running.first().contains(m_phone));

    // The quit script waits until the application has gone.
    const ToolRun quit =
        run(QStringLiteral("osascript"),
            {QStringLiteral("-e"), QStringLiteral("tell app \"Simulator\" to quit")});
    EXPECT_EQ(quit.status, 0);
    EXPECT_TRUE(psLines(QStringLiteral("/Simulator.app/")).isEmpty());
    EXPECT_EQ(deviceState(m_phone), 1);
    const QString log = systemLog(m_phone);
    EXPECT_TRUE(log.contains(QStringLiteral("from Booted to Shutting Down")));
    EXPECT_TRUE(log.contains(QStringLiteral("from Shutting Down to Shutdown")));
}

TEST_F(SimulatorApp, SigtermShutsDownAndQuittingOneSimulatorSparesTheOther)
{
    QProcess phone;
    phone.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    phone.start(developerFolder() +
                    QStringLiteral("/Applications/Simulator.app/Contents/MacOS/Simulator"),
                {QStringLiteral("-CurrentDeviceUDID"), m_phone});
    const ToolRun watch =
        run(QStringLiteral("open"),
            {developerFolder() + QStringLiteral("/Applications/Simulator (Watch).app"),
             QStringLiteral("--args"), QStringLiteral("-CurrentDeviceUDID"), m_watch});
    ASSERT_EQ(watch.status, 0);
    ASSERT_TRUE(testsupport::waitFor(
        [&] { return deviceState(m_phone) == 3 && deviceState(m_watch) == 3; }));

    phone.terminate(); // SIGTERM
    ASSERT_TRUE(phone.waitForFinished(10000));
    EXPECT_EQ(phone.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(phone.exitCode(), 0);
    EXPECT_EQ(deviceState(m_phone), 1);

    // Quitting "Simulator" leaves "Simulator (Watch)" alone.
    run(QStringLiteral("osascript"),
        {QStringLiteral("-e"), QStringLiteral("tell app \"Simulator\" to quit")});
    EXPECT_EQ(deviceState(m_watch), 3);
    EXPECT_EQ(
        psLines(QStringLiteral("/Applications/Simulator (Watch).app/Contents/MacOS/Simulator"))
            .size(),
        1);
    run(QStringLiteral("osascript"),
        {QStringLiteral("-e"), QStringLiteral("tell app \"Simulator (Watch)\" to quit")});
    EXPECT_EQ(deviceState(m_watch), 1);
}

TEST_F(SimulatorApp, UnknownDeviceEndsTheSimulatorAndChangesNothing)
{
    const auto before = snapshot(m_home.path());
    QProcess simulator;
    simulator.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    simulator.start(developerFolder() +
                        QStringLiteral("/Applications/Simulator.app/Contents/MacOS/Simulator"),
                    {QStringLiteral("-CurrentDeviceUDID"),
                     QStringLiteral("00000000-0000-4000-8000-000000000000")});
    ASSERT_TRUE(simulator.waitForFinished(10000));
    EXPECT_NE(simulator.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(simulator.readAllStandardError())
                    .contains(QStringLiteral("Invalid device")));
    EXPECT_TRUE(differences(before, snapshot(m_home.path())).isEmpty());
}
