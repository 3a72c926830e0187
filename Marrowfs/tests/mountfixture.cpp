// Mounting and unmounting around each test.
#include "mountfixture.h"

#include "marrowbyfilesystem.h"

#include "Marrowkit/model/simulatorapp.h"

void MountedVolume::SetUp()
{
    QString reason;
    if (!MarrowfsController::isFuseAvailable(&reason)) {
        GTEST_SKIP() << "FUSE cannot be used here: " << reason.toStdString();
    }
    MarrowfsWorld::SetUp();
    if (HasFatalFailure()) {
        return;
    }
    m_volume = std::make_unique<MarrowfsController>(
        m_catalogue, m_actions, m_mountParent.path() + QStringLiteral("/Marrowby"));
    ASSERT_TRUE(m_volume->start());
}

void MountedVolume::TearDown()
{
    if (m_volume) {
        m_volume->stop();
        m_volume.reset();
    }
    MarrowfsWorld::TearDown();
}

QString MountedVolume::onMount(const QString &virtualPath) const
{
    return m_volume->mountPath() + virtualPath;
}

QString MountedVolume::realSandbox(const QString &appName) const
{
    const SimulatorAppPtr app = appNamed(deviceWithApp(appName), appName);
    return app && app->sandboxURL() ? app->sandboxURL()->toLocalFile() : QString();
}
