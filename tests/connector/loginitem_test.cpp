// The service as the application's login item: enabling writes the user's
// bus-activation file for the program inside the bundle, the bus then starts
// the service from it, and disabling removes it.
#include "connectorworld.h"

#include "Marrowkit/Connection/loginitem.h"
#include "Marrowkit/Connection/parleycontract.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using testsupport::waitFor;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString serviceProgram()
{
    return testsupport::bundlePath() + QStringLiteral("/Contents/Library/LoginItems/") +
           ParleyContract::loginItemName() + QStringLiteral("/Contents/MacOS/Parley");
}

class LoginItemWorld : public ConnectorWorld
{
protected:
    void SetUp() override
    {
        ConnectorWorld::SetUp();
        // A bus that knows only the user's activation files.
        m_userServices =
            QFileInfo(LoginItem::activationFilePath(ParleyContract::serviceName())).absolutePath();
        ASSERT_TRUE(m_userServices.startsWith(m_home->path()));
        ASSERT_TRUE(QDir().mkpath(m_userServices));
        m_notifications.reset();
        m_bus = std::make_unique<testsupport::PrivateBus>(QStringList{m_userServices});
        ASSERT_TRUE(m_bus->isRunning());
    }

    QString activationFile() const
    {
        return LoginItem::activationFilePath(ParleyContract::serviceName());
    }

    QString m_userServices;
};

} // namespace

TEST_F(LoginItemWorld, TheConnectorEnablesTheItemConnectsAndQuitDisablesIt)
{
    ASSERT_FALSE(QFileInfo::exists(activationFile()));
    ParleyConnector connector(QStringLiteral("login-item"), std::nullopt, m_bus->address());
    EXPECT_TRUE(QFileInfo(activationFile()).isFile());
    const QByteArray text = readAll(activationFile());
    EXPECT_TRUE(text.contains("Name=" + ParleyContract::serviceName().toUtf8())) << text.data();
    EXPECT_TRUE(text.contains(QFileInfo(serviceProgram()).canonicalFilePath().toUtf8()))
        << text.data();
    ASSERT_TRUE(waitFor([&] { return connector.devices().has_value(); }, std::chrono::seconds(20)))
        << "the bus started the service from the user's file";
    EXPECT_FALSE(connector.devices()->isEmpty());
    connector.quit();
    EXPECT_FALSE(QFileInfo::exists(activationFile()));
    EXPECT_FALSE(connector.isConnected());
    EXPECT_TRUE(waitFor([&] { return servicePid() == 0; })) << "quit ends the service";
}

TEST_F(LoginItemWorld, AStaleFileIsReplacedOnTheNextEnable)
{
    ASSERT_TRUE(testsupport::writeFile(
        activationFile(), "[D-BUS Service]\nName=" + ParleyContract::serviceName().toUtf8() +
                              "\nExec=/nonexistent/Parley\n"));
    ParleyConnector connector(QStringLiteral("stale"), std::nullopt, m_bus->address());
    EXPECT_FALSE(readAll(activationFile()).contains("/nonexistent/"));
    EXPECT_TRUE(waitFor([&] { return connector.devices().has_value(); }, std::chrono::seconds(20)));
}

TEST_F(LoginItemWorld, AnItemNotNamedAfterItsIdentifierGivesNoConnection)
{
    // A copy of the item under another name.
    const QString other = m_home->filePath(QStringLiteral("Other.app"));
    ASSERT_TRUE(testsupport::writeFile(
        other + QStringLiteral("/Contents/Info.plist"),
        readAll(testsupport::bundlePath() + QStringLiteral("/Contents/Library/LoginItems/") +
                ParleyContract::loginItemName() + QStringLiteral("/Contents/Info.plist"))));
    EXPECT_FALSE(LoginItem::connectionForLoginItemAt(other).has_value());
    EXPECT_FALSE(LoginItem::connectionForLoginItemName(QStringLiteral("Missing.app")).has_value());
    EXPECT_FALSE(LoginItem::connectionForLoginItemName(QStringLiteral("../Other.app")).has_value());
    EXPECT_FALSE(QFileInfo::exists(activationFile()));
    EXPECT_TRUE(LoginItem::connectionForLoginItemName(ParleyContract::loginItemName()).has_value());
    EXPECT_TRUE(QFileInfo::exists(activationFile()));
}

TEST_F(LoginItemWorld, DisablingRemovesALinkWithoutFollowingIt)
{
    const QString target = m_home->filePath(QStringLiteral("kept.service"));
    ASSERT_TRUE(testsupport::writeFile(target, "keep me"));
    ASSERT_TRUE(QFile::link(target, activationFile()));
    EXPECT_TRUE(LoginItem::setEnabled(ParleyContract::serviceName(), false));
    EXPECT_FALSE(QFileInfo(activationFile()).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(activationFile()));
    EXPECT_EQ(readAll(target), QByteArray("keep me"));
    EXPECT_FALSE(LoginItem::setEnabled(QStringLiteral("not-a-bus-name"), true));
}
