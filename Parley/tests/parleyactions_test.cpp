// The device actions of the service as a client sends them: erasing,
// deleting, adding photos, opening and quitting the Simulator, copying
// paths, and requests that name nothing the service knows.
#include "parleyworld.h"

#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatorcoding.h"
#include "Marrowkit/model/simulatorupdate.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>

using namespace devtoolsworld;
using testsupport::waitFor;

TEST_F(ParleyWorld, EraseEmptiesTheDeviceAndDeleteRemovesIt)
{
    RecordingClient &client = newClient();
    const auto catalogue = requestCatalogue(client);
    const auto pad = deviceNamed(catalogue, QStringLiteral("iPad Pro"));
    ASSERT_TRUE(pad);
    client.inspector().resetContentsAndSettingsOfDevice(pad->uuid()).waitForFinished();
    EXPECT_TRUE(waitFor([&] {
        return !deviceNamed(latestCatalogue(client), QStringLiteral("iPad Pro"));
    })) << "an erased device holds no apps and leaves the catalogue";
    EXPECT_TRUE(QFileInfo::exists(devicePath(pad->uuid())));

    const auto atlasDevice = deviceNamed(catalogue, QStringLiteral("iPad Air"));
    ASSERT_TRUE(atlasDevice);
    client.inspector().deleteDevice(atlasDevice->uuid()).waitForFinished();
    EXPECT_FALSE(QFileInfo::exists(devicePath(atlasDevice->uuid())));
}

TEST_F(ParleyWorld, PhotosArriveInTheDevicesMediaFolder)
{
    RecordingClient &client = newClient();
    const auto phone = deviceNamed(requestCatalogue(client), QStringLiteral("iPhone 6"));
    ASSERT_TRUE(phone);
    const QString photo = m_home->filePath(QStringLiteral("photo.png"));
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(photo));
    const QString media = devicePath(phone->uuid()) + QStringLiteral("/data/Media/DCIM/100APPLE");
    const auto before = QDir(media).entryList(QDir::Files).size();

    // Not a file URL, and a text that is no URL at all: nothing is added.
    client.inspector()
        .addPhotoforDevice(QStringLiteral("https://example.com/photo.png"), phone->uuid())
        .waitForFinished();
    client.inspector()
        .addPhotoforDevice(QStringLiteral("::not a url::"), phone->uuid())
        .waitForFinished();
    EXPECT_EQ(QDir(media).entryList(QDir::Files).size(), before);

    client.inspector()
        .addPhotoforDevice(QUrl::fromLocalFile(photo).toString(), phone->uuid())
        .waitForFinished();
    EXPECT_EQ(QDir(media).entryList(QDir::Files).size(), before + 1);
}

TEST_F(ParleyWorld, CopyingAPathPutsItOnTheClipboardAndNotifies)
{
    RecordingClient &client = newClient();
    const auto phone = deviceNamed(requestCatalogue(client), QStringLiteral("iPhone 6"));
    const auto app = appNamed(phone, QStringLiteral("Birdwatch"));
    ASSERT_TRUE(app && app->sandboxURL() && phone->containerURL());
    client.inspector().copyPathOfAppWithUUID(app->uuid()).waitForFinished();
    EXPECT_TRUE(waitFor([&] {
        return hasNotification(QStringLiteral("path copied to pasteboard"),
                               app->sandboxURL()->toLocalFile());
    }));
    client.inspector().copyPathOfDeviceWithUUID(phone->uuid()).waitForFinished();
    EXPECT_TRUE(waitFor([&] {
        return hasNotification(QStringLiteral("path copied to pasteboard"),
                               phone->containerURL()->toLocalFile());
    }));
}

TEST_F(ParleyWorld, RequestsNamingNothingKnownDoNothing)
{
    RecordingClient &client = newClient();
    requestCatalogue(client);
    const auto before = snapshot(m_home->path() + QStringLiteral("/Library/Developer"));
    const QString unknown = QStringLiteral("00000000-0000-0000-0000-000000000000");
    client.inspector().launchSimulatorForDevicehidden(unknown, false).waitForFinished();
    client.inspector().resetContentsAndSettingsOfDevice(unknown).waitForFinished();
    client.inspector().deleteDevice(unknown).waitForFinished();
    client.inspector().uninstallAppWithUUID(unknown).waitForFinished();
    client.inspector().resetAppWithUUID(unknown).waitForFinished();
    client.inspector().copyPathOfAppWithUUID(QString()).waitForFinished();
    client.inspector().launchAppWithUUID(QString(100000, QLatin1Char('x'))).waitForFinished();
    EXPECT_FALSE(simulatorRunning(QStringLiteral("Simulator")));
    EXPECT_TRUE(differences(before, snapshot(m_home->path() + QStringLiteral("/Library/Developer")))
                    .isEmpty());
    EXPECT_TRUE(m_notifications->notifications.isEmpty());
}

TEST_F(ParleyWorld, TheSimulatorOpensOnTheDeviceAndQuits)
{
    RecordingClient &client = newClient();
    const auto catalogue = requestCatalogue(client);
    const auto watch = deviceNamed(catalogue, QStringLiteral("Apple Watch - 38mm"));
    ASSERT_TRUE(watch);
    client.inspector().launchSimulatorForDevicehidden(watch->uuid(), true).waitForFinished();
    EXPECT_TRUE(waitFor([&] { return deviceState(watch->uuid()) == 3; }))
        << "the watch Simulator boots the device";
    EXPECT_TRUE(simulatorRunning(QStringLiteral("Simulator (Watch)")));

    // Quitting names the Xcode's phone Simulator: the watch Simulator stays.
    client.inspector().quitSimulator().waitForFinished();
    EXPECT_TRUE(simulatorRunning(QStringLiteral("Simulator (Watch)")));
    // The device was shut down when the service scanned it; booted since,
    // which the service knows once it has told its clients.
    EXPECT_TRUE(waitFor([&] {
        for (const QByteArray &archive : std::as_const(client.updates)) {
            const auto update = SimulatorCoding::updateFromArchive(archive).value();
            if (update && update->type() == SimulatorUpdateType::DeviceBooted &&
                !update->items().isEmpty() &&
                update->items().constFirst()->uuid() == watch->uuid()) {
                return true;
            }
        }
        return false;
    }));
    client.inspector().deleteDevice(watch->uuid()).waitForFinished();
    EXPECT_TRUE(waitFor([&] { return !QFileInfo::exists(devicePath(watch->uuid())); }))
        << "deleting a booted device quits its Simulator first";
    EXPECT_TRUE(waitFor([&] { return !simulatorRunning(QStringLiteral("Simulator (Watch)")); }));
}
