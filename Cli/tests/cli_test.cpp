// marrowby-cli as a user runs it: a program that reaches the service on the
// session bus (here a private one that starts the real service), with every
// command's output and exit status checked, and bad input changing nothing.
#include "sampleworldtest.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

using testsupport::waitFor;

namespace {

struct CliRun
{
    int status = -1;
    QString out;
    QString err;
};

class CliWorld : public SampleWorldTest
{
protected:
    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus->address());
        return environment;
    }

    CliRun cli(const QStringList &arguments)
    {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(QStringLiteral(MARROWBY_CLI_PROGRAM), arguments);
        process.waitForFinished(180000);
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    QJsonArray json(const QStringList &arguments)
    {
        const CliRun run = cli(arguments);
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString();
        EXPECT_TRUE(document.isArray());
        return document.array();
    }

    QJsonObject deviceNamed(const QString &name)
    {
        for (const QJsonValue &device :
             json({QStringLiteral("devices"), QStringLiteral("--json")})) {
            if (device[QStringLiteral("displayName")].toString() == name) {
                return device.toObject();
            }
        }
        return {};
    }

    QMap<QString, QString> developerSnapshot() const
    {
        return devtoolsworld::snapshot(m_home->filePath(QStringLiteral("Library/Developer")));
    }
};

} // namespace

TEST_F(CliWorld, HelpForEveryCommandAndUsageErrorsOnStandardError)
{
    const CliRun help = cli({QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    const QStringList commands{QStringLiteral("devices"),        QStringLiteral("apps"),
                               QStringLiteral("launch"),         QStringLiteral("reset"),
                               QStringLiteral("uninstall"),      QStringLiteral("erase"),
                               QStringLiteral("delete"),         QStringLiteral("add-photo"),
                               QStringLiteral("copy-path"),      QStringLiteral("groups"),
                               QStringLiteral("open-simulator"), QStringLiteral("quit-simulator"),
                               QStringLiteral("watch")};
    for (const QString &command : commands) {
        EXPECT_TRUE(help.out.contains(QStringLiteral("  ") + command + QLatin1Char(' ')))
            << command.toStdString();
        const CliRun one = cli({command, QStringLiteral("--help")});
        EXPECT_EQ(one.status, 0) << command.toStdString();
        EXPECT_TRUE(one.out.startsWith(QStringLiteral("Usage: marrowby-cli ") + command))
            << one.out.toStdString();
    }
    for (const QStringList &bad :
         QList<QStringList>{{},
                            {QStringLiteral("frobnicate")},
                            {QStringLiteral("apps")},
                            {QStringLiteral("launch"), QStringLiteral("iPhone 6")},
                            {QStringLiteral("devices"), QStringLiteral("--bogus")},
                            {QStringLiteral("quit-simulator"), QStringLiteral("extra")},
                            {QStringLiteral("help"), QStringLiteral("frobnicate")}}) {
        const CliRun run = cli(bad);
        EXPECT_EQ(run.status, 1) << bad.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_TRUE(run.err.startsWith(QStringLiteral("marrowby-cli: "))) << run.err.toStdString();
    }
}

TEST_F(CliWorld, DevicesAndAppsAsTextAndJson)
{
    const CliRun text = cli({QStringLiteral("devices")});
    ASSERT_EQ(text.status, 0) << text.err.toStdString();
    EXPECT_TRUE(text.out.contains(QStringLiteral("iPhone 6\t")));
    const QJsonObject phone = deviceNamed(QStringLiteral("iPhone 6"));
    ASSERT_FALSE(phone.isEmpty());
    EXPECT_EQ(phone[QStringLiteral("state")].toString(), QStringLiteral("Booted"));
    EXPECT_TRUE(QFileInfo(phone[QStringLiteral("path")].toString()).isDir());
    const QString uuid = phone[QStringLiteral("uuid")].toString();
    EXPECT_TRUE(text.out.contains(uuid));

    // By a prefix of the uuid, as JSON.
    const QJsonArray apps = json({QStringLiteral("apps"), uuid.left(8), QStringLiteral("--json")});
    EXPECT_EQ(apps.size(), phone[QStringLiteral("apps")].toInt());
    QStringList shown;
    for (const QJsonValue &app : apps) {
        shown.append(app[QStringLiteral("displayName")].toString());
        EXPECT_TRUE(QFileInfo(app[QStringLiteral("bundlePath")].toString()).isDir());
    }
    EXPECT_TRUE(shown.contains(QStringLiteral("Birdwatch")))
        << shown.join(QLatin1Char(',')).toStdString();
    const CliRun appsText = cli({QStringLiteral("apps"), QStringLiteral("iPhone 6")});
    EXPECT_EQ(appsText.status, 0);
    EXPECT_TRUE(appsText.out.contains(QStringLiteral("Birdwatch\tcom.example.birdwatch\t")));
}

TEST_F(CliWorld, NamesThatFindNothingOrTooMuchChangeNothing)
{
    const auto before = developerSnapshot();
    for (const QStringList &bad : QList<QStringList>{
             {QStringLiteral("apps"), QStringLiteral("iPh")},
             {QStringLiteral("erase"), QStringLiteral("No Such Device")},
             {QStringLiteral("delete"), QStringLiteral("i")},
             {QStringLiteral("reset"), QStringLiteral("iPhone 6"), QStringLiteral("Nothing")},
             {QStringLiteral("uninstall"), QStringLiteral("iPhone 6"), QStringLiteral("")},
             {QStringLiteral("add-photo"), QStringLiteral("iPhone 6"),
              QStringLiteral("/nonexistent.png")}}) {
        const CliRun run = cli(bad);
        EXPECT_EQ(run.status, 1) << bad.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.err.startsWith(QStringLiteral("marrowby-cli: "))) << run.err.toStdString();
    }
    const CliRun ambiguous = cli({QStringLiteral("apps"), QStringLiteral("iPh")});
    EXPECT_TRUE(ambiguous.err.contains(QStringLiteral("more than one device")))
        << ambiguous.err.toStdString();
    EXPECT_TRUE(devtoolsworld::differences(before, developerSnapshot()).isEmpty());
}

// A user who never started the application: the bus knows only the user's
// own activation files, and there are none yet.
TEST_F(CliWorld, StartsTheServiceForAUserWhoNeverRanTheApplication)
{
    const QString services = m_home->filePath(QStringLiteral(".local/share/dbus-1/services"));
    ASSERT_TRUE(QDir().mkpath(services));
    m_bus = std::make_unique<testsupport::PrivateBus>(QStringList{services});
    ASSERT_TRUE(m_bus->isRunning());

    const CliRun devices = cli({QStringLiteral("devices")});
    EXPECT_EQ(devices.status, 0) << devices.err.toStdString();
    EXPECT_TRUE(devices.out.contains(QStringLiteral("iPhone 6\t"))) << devices.out.toStdString();
    EXPECT_FALSE(QDir(services).entryList(QDir::Files).isEmpty());

    // Where the bus cannot start the service, the user hears so at once, not
    // after waiting for a catalogue that cannot come.
    const QString elsewhere = m_home->filePath(QStringLiteral("elsewhere"));
    m_bus = std::make_unique<testsupport::PrivateBus>(QStringList{elsewhere});
    ASSERT_TRUE(m_bus->isRunning());
    const CliRun refused = cli({QStringLiteral("devices")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.out.isEmpty());
    EXPECT_TRUE(refused.err.contains(QStringLiteral("the session bus cannot start it")))
        << refused.err.toStdString();
}

// The service answers a request once it has carried it out but never says
// that it failed: the command waits for the catalogue to show the result.
TEST_F(CliWorld, UninstallAndDeleteEndOnlyOnceTheCatalogueShowsThem)
{
    const CliRun uninstall = cli(
        {QStringLiteral("uninstall"), QStringLiteral("iPhone 6s"), QStringLiteral("Metronome")});
    EXPECT_EQ(uninstall.status, 0) << uninstall.err.toStdString();
    const CliRun apps = cli({QStringLiteral("apps"), QStringLiteral("iPhone 6s")});
    EXPECT_EQ(apps.status, 0) << apps.err.toStdString();
    EXPECT_TRUE(apps.out.contains(QStringLiteral("Birdwatch"))) << apps.out.toStdString();
    EXPECT_FALSE(apps.out.contains(QStringLiteral("Metronome"))) << apps.out.toStdString();

    // A running device cannot be deleted: the user hears so.
    const QJsonObject phone = deviceNamed(QStringLiteral("iPhone 6"));
    ASSERT_EQ(phone[QStringLiteral("state")].toString(), QStringLiteral("Booted"));
    const CliRun refused = cli({QStringLiteral("delete"), QStringLiteral("iPhone 6")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("iPhone 6 is still there")))
        << refused.err.toStdString();
    EXPECT_TRUE(
        QFileInfo::exists(devtoolsworld::devicePath(phone[QStringLiteral("uuid")].toString())));
}

// Erased, a device holds no apps and leaves the list; a running one cannot be
// erased, and the user hears so.
TEST_F(CliWorld, EraseEndsOnceTheDeviceHoldsNoApps)
{
    const CliRun erased = cli({QStringLiteral("erase"), QStringLiteral("iPad Pro")});
    EXPECT_EQ(erased.status, 0) << erased.err.toStdString();
    EXPECT_TRUE(deviceNamed(QStringLiteral("iPad Pro")).isEmpty());
    const CliRun busy = cli({QStringLiteral("erase"), QStringLiteral("iPhone 6")});
    EXPECT_EQ(busy.status, 1);
    EXPECT_TRUE(busy.err.contains(QStringLiteral("iPhone 6 still holds its apps")))
        << busy.err.toStdString();
}

TEST_F(CliWorld, ActionsReachTheService)
{
    const QJsonObject phone = deviceNamed(QStringLiteral("iPhone 6"));
    ASSERT_FALSE(phone.isEmpty());
    const CliRun path = cli({QStringLiteral("copy-path"), QStringLiteral("iPhone 6")});
    EXPECT_EQ(path.status, 0) << path.err.toStdString();
    EXPECT_EQ(path.out.trimmed(), phone[QStringLiteral("path")].toString());

    const CliRun groups =
        cli({QStringLiteral("groups"), QStringLiteral("iPhone 6"), QStringLiteral("Birdwatch")});
    EXPECT_EQ(groups.status, 0) << groups.err.toStdString();
    const QStringList folders = groups.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(folders.size(), 1) << groups.out.toStdString();
    EXPECT_TRUE(QFileInfo(folders.constFirst()).isDir());

    // A shut-down device other than the booted phone goes.
    QString doomed;
    for (const QJsonValue &device : json({QStringLiteral("devices"), QStringLiteral("--json")})) {
        if (device[QStringLiteral("state")].toString() == QStringLiteral("Shutdown")) {
            doomed = device[QStringLiteral("uuid")].toString();
        }
    }
    ASSERT_FALSE(doomed.isEmpty());
    const CliRun deleted = cli({QStringLiteral("delete"), doomed});
    EXPECT_EQ(deleted.status, 0) << deleted.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(devtoolsworld::devicePath(doomed)));
}

TEST_F(CliWorld, WatchPrintsTheCatalogueAndUpdatesAsTheyArrive)
{
    const QJsonObject watchDevice = deviceNamed(QStringLiteral("Apple Watch - 42mm"));
    ASSERT_FALSE(watchDevice.isEmpty());
    QProcess watch;
    watch.setProcessEnvironment(environment());
    watch.start(QStringLiteral(MARROWBY_CLI_PROGRAM), {QStringLiteral("watch")});
    QString output;
    const auto read = [&] {
        watch.waitForReadyRead(50);
        output += QString::fromUtf8(watch.readAllStandardOutput());
        return output;
    };
    ASSERT_TRUE(waitFor([&] { return read().contains(QStringLiteral("catalogue: ")); },
                        std::chrono::seconds(30)));
    ASSERT_EQ(devtoolsworld::run(QStringLiteral("xcrun"),
                                 {QStringLiteral("simctl"), QStringLiteral("boot"),
                                  watchDevice[QStringLiteral("uuid")].toString()})
                  .status,
              0);
    EXPECT_TRUE(waitFor(
        [&] { return read().contains(QStringLiteral("update: DeviceBooted Apple Watch - 42mm")); },
        std::chrono::seconds(30)))
        << output.toStdString();
    watch.terminate();
    ASSERT_TRUE(watch.waitForFinished(10000));
    EXPECT_EQ(watch.exitCode(), 0);
}

TEST_F(CliWorld, PhotosResetsAndTheSimulatorThroughTheService)
{
    const QJsonObject phone = deviceNamed(QStringLiteral("iPhone 6"));
    ASSERT_FALSE(phone.isEmpty());
    const QString uuid = phone[QStringLiteral("uuid")].toString();
    const QString photo = m_home->filePath(QStringLiteral("photo.png"));
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(photo));
    const QString media =
        devtoolsworld::devicePath(uuid) + QStringLiteral("/data/Media/DCIM/100APPLE");
    const auto photosBefore = QDir(media).entryList(QDir::Files).size();
    const CliRun added = cli({QStringLiteral("add-photo"), QStringLiteral("iPhone 6"), photo});
    EXPECT_EQ(added.status, 0) << added.err.toStdString();
    EXPECT_EQ(QDir(media).entryList(QDir::Files).size(), photosBefore + 1);

    QString data;
    for (const QJsonValue &app :
         json({QStringLiteral("apps"), QStringLiteral("iPhone 6"), QStringLiteral("--json")})) {
        if (app[QStringLiteral("bundleIdentifier")].toString() ==
            QStringLiteral("com.example.birdwatch")) {
            data = app[QStringLiteral("dataPath")].toString();
        }
    }
    ASSERT_FALSE(data.isEmpty());
    ASSERT_TRUE(testsupport::writeFile(data + QStringLiteral("/Documents/note.txt"), "old"));
    const CliRun reset = cli({QStringLiteral("reset"), QStringLiteral("iPhone 6"),
                              QStringLiteral("com.example.birdwatch")});
    EXPECT_EQ(reset.status, 0) << reset.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(data + QStringLiteral("/Documents/note.txt")));

    const QJsonObject watchDevice = deviceNamed(QStringLiteral("Apple Watch - 38mm"));
    const QString watchUUID = watchDevice[QStringLiteral("uuid")].toString();
    ASSERT_FALSE(watchUUID.isEmpty());
    const CliRun opened = cli({QStringLiteral("open-simulator"), QStringLiteral("--hidden"),
                               QStringLiteral("Apple Watch - 38mm")});
    EXPECT_EQ(opened.status, 0) << opened.err.toStdString();
    EXPECT_TRUE(waitFor([&] { return devtoolsworld::deviceState(watchUUID) == 3; }))
        << "the Simulator boots the device";
    // Quitting names the Xcode's phone Simulator, which runs the booted phone.
    const CliRun quit = cli({QStringLiteral("quit-simulator")});
    EXPECT_EQ(quit.status, 0) << quit.err.toStdString();
    // The watch Simulator is not the one quit: end it as the tests do.
    const CliRun deleted = cli({QStringLiteral("delete"), watchUUID});
    EXPECT_EQ(deleted.status, 0) << deleted.err.toStdString();
    EXPECT_TRUE(waitFor([&] { return !QFileInfo::exists(devtoolsworld::devicePath(watchUUID)); }));
}

TEST(CliCompletion, TheBundledCompletionOffersCommandsAndOptions)
{
    const QString script =
        testsupport::bundlePath() + QStringLiteral("/Contents/Resources/completions/marrowby-cli");
    ASSERT_TRUE(QFileInfo(script).isFile());
    const auto complete = [&](const QString &words, int current) {
        QProcess bash;
        bash.start(QStringLiteral("bash"),
                   {QStringLiteral("-c"),
                    QStringLiteral("source \"$0\"; COMP_WORDS=(%1); COMP_CWORD=%2; _marrowby_cli; "
                                   "printf '%s\\n' \"${COMPREPLY[@]}\"")
                        .arg(words)
                        .arg(current),
                    script});
        bash.waitForFinished();
        EXPECT_EQ(bash.exitCode(), 0) << bash.readAllStandardError().toStdString();
        return QString::fromUtf8(bash.readAllStandardOutput())
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    };
    EXPECT_EQ(complete(QStringLiteral("marrowby-cli de"), 1),
              (QStringList{QStringLiteral("devices"), QStringLiteral("delete")}));
    EXPECT_EQ(complete(QStringLiteral("marrowby-cli apps --"), 2),
              (QStringList{QStringLiteral("--json"), QStringLiteral("--help")}));
    EXPECT_EQ(complete(QStringLiteral("marrowby-cli open-simulator --h"), 2),
              (QStringList{QStringLiteral("--hidden"), QStringLiteral("--help")}));
}
