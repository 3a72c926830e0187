// The device set on disk, used directly: records, listing, and the changes
// that take a device's lock (create, erase, delete, state changes), on real
// folders in a temporary HOME.
#include "binaryplistbuilder.h"
#include "devicerecord.h"
#include "deviceset.h"
#include "devtoolsworld.h"
#include "plistio.h"
#include "safefile.h"
#include "simidentifiers.h"
#include "tests/support/testsupport.h"
#include "treeremover.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using devtoolsworld::differences;
using devtoolsworld::snapshot;

namespace {

const QString iPhone6 = QStringLiteral("com.apple.CoreSimulator.SimDeviceType.iPhone-6");
const QString iOS10 = QStringLiteral("com.apple.CoreSimulator.SimRuntime.iOS-10-0");

bool makeLink(const QString &target, const QString &link)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) ==
           0;
}

class DeviceSetTest : public ::testing::Test
{
protected:
    void SetUp() override { m_set = DeviceSet(m_home.filePath(QStringLiteral("Devices"))); }

    DeviceRecord create(const QString &name)
    {
        QString error;
        const auto record = m_set.create(name, iPhone6, iOS10, &error);
        EXPECT_TRUE(record) << error.toStdString();
        return record.value_or(DeviceRecord());
    }

    // A device folder holding `plist` as its device.plist.
    QString plantDevice(const QByteArray &plist)
    {
        QString udid = SimIdentifiers::makeUuidText();
        EXPECT_TRUE(testsupport::writeFile(
            m_set.path() + QLatin1Char('/') + udid + QStringLiteral("/device.plist"), plist));
        return udid;
    }

    testsupport::TemporaryHome m_home;
    DeviceSet m_set;
};

} // namespace

TEST_F(DeviceSetTest, CreateWritesTheRecordAndASkeletonAtomically)
{
    const DeviceRecord record = create(QStringLiteral("Phone"));
    EXPECT_TRUE(SimIdentifiers::isUuidText(record.udid));
    EXPECT_EQ(record.path, m_set.path() + QLatin1Char('/') + record.udid);
    const auto plist = PlistIO::readDictionary(record.plistPath(), PlistIO::recordSizeLimit);
    ASSERT_TRUE(plist);
    EXPECT_EQ(*plist, record.toPlist());
    EXPECT_EQ(plist->value(QStringLiteral("state")).toInt(), SimIdentifiers::stateShutdown);
    for (const QString &folder : DeviceSet::dataSkeleton()) {
        EXPECT_TRUE(SafeFile::isRealFolder(record.dataPath() + QLatin1Char('/') + folder))
            << folder.toStdString();
    }
    // Only the device itself appeared in the set (no staging leftovers).
    EXPECT_EQ(QDir(m_set.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{record.udid});
    EXPECT_TRUE(devtoolsworld::systemLog(record.udid).contains(QStringLiteral("Device created")));

    QString error;
    for (const QString &name : {QString(), QStringLiteral("  "), QStringLiteral("two\nlines"),
                                QString(257, QLatin1Char('x'))}) {
        EXPECT_FALSE(m_set.create(name, iPhone6, iOS10, &error));
        EXPECT_TRUE(error.startsWith(QStringLiteral("Invalid device name")));
    }
}

TEST_F(DeviceSetTest, ListsReadableDevicesByNameAndNamesTheOthers)
{
    const DeviceRecord zed = create(QStringLiteral("Zed"));
    const DeviceRecord alpha = create(QStringLiteral("Alpha"));
    const DeviceRecord alpha2 = create(QStringLiteral("Alpha"));
    const QString broken = plantDevice("<plist><dict/></plist>");
    const QString fifoDevice = SimIdentifiers::makeUuidText();
    QDir().mkpath(m_set.path() + QLatin1Char('/') + fifoDevice);
    ASSERT_EQ(::mkfifo(QFile::encodeName(m_set.path() + QLatin1Char('/') + fifoDevice +
                                         QStringLiteral("/device.plist"))
                           .constData(),
                       0600),
              0);
    // A device folder that is a link to a copy elsewhere is not the set's.
    const QString elsewhere = m_home.filePath(QStringLiteral("elsewhere"));
    const QString linkedUdid = SimIdentifiers::makeUuidText();
    QDir().mkpath(elsewhere);
    ASSERT_TRUE(PlistIO::writeXml(
        elsewhere + QStringLiteral("/device.plist"),
        DeviceRecord{linkedUdid, QStringLiteral("Linked"), iPhone6, iOS10, 1, {}}.toPlist()));
    ASSERT_TRUE(makeLink(elsewhere, m_set.path() + QLatin1Char('/') + linkedUdid));
    QDir().mkpath(m_set.path() + QStringLiteral("/not-a-uuid"));
    QDir().mkpath(m_set.path() + QStringLiteral("/.staging-") + SimIdentifiers::makeUuidText());

    QStringList problems;
    const auto devices = m_set.devices(&problems);
    QStringList order;
    for (const DeviceRecord &device : devices) {
        order.append(device.udid);
    }
    const QStringList alphas = alpha.udid < alpha2.udid ? QStringList{alpha.udid, alpha2.udid}
                                                        : QStringList{alpha2.udid, alpha.udid};
    EXPECT_EQ(order, alphas + QStringList{zed.udid});
    ASSERT_EQ(problems.size(), 2);
    EXPECT_TRUE(problems.filter(broken).size() == 1)
        << problems.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(problems.filter(fifoDevice).size() == 1);

    // By UDID, in any case; never through a link.
    EXPECT_TRUE(m_set.device(zed.udid.toLower()));
    QString error;
    EXPECT_FALSE(m_set.device(linkedUdid, &error));
    EXPECT_EQ(error, QStringLiteral("Invalid device: %1").arg(linkedUdid));
    EXPECT_FALSE(m_set.device(QStringLiteral("booted"), &error));
    EXPECT_EQ(DeviceSet::normalizedUdid(zed.udid.toLower()), zed.udid);
    EXPECT_FALSE(DeviceSet::normalizedUdid(QStringLiteral("not-a-uuid")));
}

TEST_F(DeviceSetTest, RecordsAreCheckedFieldByField)
{
    const QString valid = plantDevice("<plist/>");
    const QVariantMap good = {{QStringLiteral("UDID"), valid},
                              {QStringLiteral("name"), QStringLiteral("Phone")},
                              {QStringLiteral("deviceType"), iPhone6},
                              {QStringLiteral("runtime"), iOS10},
                              {QStringLiteral("state"), 3}};
    const QString folder = m_set.path() + QLatin1Char('/') + valid;
    ASSERT_TRUE(PlistIO::writeXml(folder + QStringLiteral("/device.plist"), good));
    const auto record = DeviceRecord::read(folder);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->state, 3);
    EXPECT_EQ(record->name, QStringLiteral("Phone"));

    const std::pair<QString, QVariant> faults[] = {
        {QStringLiteral("UDID"), SimIdentifiers::makeUuidText()},
        {QStringLiteral("UDID"), valid.toLower()},
        {QStringLiteral("state"), QStringLiteral("3")},
        {QStringLiteral("state"), 5},
        {QStringLiteral("state"), -1},
        {QStringLiteral("name"), QString()},
        {QStringLiteral("runtime"), QVariantList{}},
    };
    for (const auto &[key, value] : faults) {
        QVariantMap plist = good;
        plist.insert(key, value);
        ASSERT_TRUE(PlistIO::writeXml(folder + QStringLiteral("/device.plist"), plist));
        QString error;
        EXPECT_FALSE(DeviceRecord::read(folder, &error)) << key.toStdString();
        EXPECT_TRUE(error.contains(QStringLiteral("device.plist"))) << error.toStdString();
    }

    // A binary device.plist is read like an XML one.
    BinaryPlistBuilder builder;
    const QList<int> keys = {builder.ascii("UDID"), builder.ascii("name"),
                             builder.ascii("deviceType"), builder.ascii("runtime"),
                             builder.ascii("state")};
    const QList<int> values = {
        builder.ascii(valid.toLatin1()), builder.utf16(QStringLiteral("Fön")),
        builder.ascii(iPhone6.toLatin1()), builder.ascii(iOS10.toLatin1()), builder.integer(1)};
    ASSERT_TRUE(testsupport::writeFile(folder + QStringLiteral("/device.plist"),
                                       builder.build(builder.dictionary(keys, values))));
    const auto binary = DeviceRecord::read(folder);
    ASSERT_TRUE(binary);
    EXPECT_EQ(binary->name, QStringLiteral("Fön"));
}

TEST_F(DeviceSetTest, EraseReplacesTheDataFolderAndLeavesLinkedTargetsAlone)
{
    const DeviceRecord device = create(QStringLiteral("Phone"));
    ASSERT_TRUE(testsupport::writeFile(
        device.dataPath() + QStringLiteral("/Media/DCIM/100APPLE/IMG_0001.PNG"), "png"));
    const QString precious = m_home.filePath(QStringLiteral("precious"));
    ASSERT_TRUE(testsupport::writeFile(precious + QStringLiteral("/work.txt"), "keep"));
    const auto before = snapshot(precious);
    ASSERT_TRUE(makeLink(precious, device.dataPath() + QStringLiteral("/Containers/linked")));

    ASSERT_TRUE(m_set.changeState(device.udid, {1}, {2, 3}, QStringLiteral("boot")));
    QString error;
    int code = 0;
    EXPECT_FALSE(m_set.erase(device.udid, &error, &code));
    EXPECT_EQ(code, SimIdentifiers::incorrectStateErrorCode);
    EXPECT_EQ(error,
              QStringLiteral("Unable to erase contents and settings in current state: Booted"));
    ASSERT_TRUE(m_set.changeState(device.udid, {3}, {4, 1}, QStringLiteral("shutdown")));

    ASSERT_TRUE(m_set.erase(device.udid, &error)) << error.toStdString();
    EXPECT_FALSE(
        QFileInfo::exists(device.dataPath() + QStringLiteral("/Media/DCIM/100APPLE/IMG_0001.PNG")));
    EXPECT_EQ(QDir(device.path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("data"), QStringLiteral("device.plist")}));
    EXPECT_EQ(differences(before, snapshot(precious)), QStringList());

    // The whole data folder a link: replaced by a fresh folder, target kept.
    TreeRemover::remove(device.dataPath());
    ASSERT_TRUE(makeLink(precious, device.dataPath()));
    ASSERT_TRUE(m_set.erase(device.udid, &error)) << error.toStdString();
    EXPECT_TRUE(SafeFile::isRealFolder(device.dataPath()));
    EXPECT_EQ(differences(before, snapshot(precious)), QStringList());
    // Even when the link points nowhere.
    TreeRemover::remove(device.dataPath());
    ASSERT_TRUE(makeLink(QStringLiteral("/nonexistent"), device.dataPath()));
    ASSERT_TRUE(m_set.erase(device.udid, &error)) << error.toStdString();
    EXPECT_TRUE(SafeFile::isRealFolder(device.dataPath()));
}

TEST_F(DeviceSetTest, RemoveAndStateChangesAreRefusedInTheWrongStateWithTheirCode)
{
    const DeviceRecord device = create(QStringLiteral("Phone"));
    const QString precious = m_home.filePath(QStringLiteral("precious"));
    ASSERT_TRUE(testsupport::writeFile(precious + QStringLiteral("/work.txt"), "keep"));
    const auto before = snapshot(precious);
    ASSERT_TRUE(makeLink(precious, device.dataPath() + QStringLiteral("/tmp/linked")));

    QString error;
    int code = 0;
    EXPECT_FALSE(
        m_set.changeState(device.udid, {3}, {4, 1}, QStringLiteral("shutdown"), &error, &code));
    EXPECT_EQ(error, QStringLiteral("Unable to shutdown device in current state: Shutdown"));
    EXPECT_EQ(code, SimIdentifiers::incorrectStateErrorCode);
    ASSERT_TRUE(m_set.changeState(device.udid, {1}, {2, 3}, QStringLiteral("boot")));
    EXPECT_EQ(m_set.device(device.udid)->state, 3);
    ASSERT_TRUE(m_set.changeState(device.udid, {3}, {4}, QStringLiteral("shutdown")));
    code = 0;
    EXPECT_FALSE(m_set.remove(device.udid, &error, &code));
    EXPECT_EQ(error,
              QStringLiteral("Unable to delete a device in the current state: Shutting Down"));
    EXPECT_EQ(code, SimIdentifiers::incorrectStateErrorCode);
    const QString log = devtoolsworld::systemLog(device.udid);
    EXPECT_TRUE(log.contains(QStringLiteral("from Shutdown to Booting")));
    EXPECT_TRUE(log.contains(QStringLiteral("from Booted to Shutting Down")));

    ASSERT_TRUE(m_set.changeState(device.udid, {4}, {1}, QStringLiteral("shutdown")));
    code = 0;
    ASSERT_TRUE(m_set.remove(device.udid, &error, &code)) << error.toStdString();
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(SafeFile::existsWithoutFollowing(device.path));
    EXPECT_EQ(QDir(m_set.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList());
    EXPECT_EQ(differences(before, snapshot(precious)), QStringList());
    EXPECT_FALSE(m_set.remove(device.udid, &error));
    EXPECT_EQ(error, QStringLiteral("Invalid device: %1").arg(device.udid));
}

TEST_F(DeviceSetTest, LogLinesNeverGoThroughALink)
{
    const DeviceRecord device = create(QStringLiteral("Phone"));
    const QString log = m_home.filePath(QStringLiteral("Library/Logs/CoreSimulator/") +
                                        device.udid + QStringLiteral("/system.log"));
    const QString precious = m_home.filePath(QStringLiteral("precious.txt"));
    ASSERT_TRUE(testsupport::writeFile(precious, "keep"));
    ASSERT_TRUE(QFile::remove(log));
    ASSERT_TRUE(makeLink(precious, log));
    ASSERT_TRUE(m_set.changeState(device.udid, {1}, {2, 3}, QStringLiteral("boot")));
    EXPECT_EQ(SafeFile::read(precious, 100), QByteArray("keep"));
    EXPECT_TRUE(QFileInfo(log).isSymLink());
}
