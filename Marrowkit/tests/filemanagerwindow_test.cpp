// Reveal requests reach the file manager on the session bus, or the
// desktop's handler for folders where no file manager is there.
#include "Marrowkit/platform/filemanagerwindow.h"

#include "tests/support/privatebus.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDesktopServices>
#include <QDir>
#include <QTemporaryDir>

namespace {

// Stands in for the desktop's handler of file URLs.
class DesktopStandIn : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl &url) { opened.append(url); }
};

// Stands in for a file manager on the bus.
class FileManagerStandIn : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList items;
    QStringList folders;
public Q_SLOTS:
    void ShowItems(const QStringList &uris, const QString &) { items += uris; }
    void ShowFolders(const QStringList &uris, const QString &) { folders += uris; }
};

class FileManagerWindowTest : public ::testing::Test
{
protected:
    // One bus for every test of this process: the session bus connection is
    // made on first use and kept for the life of the process.
    static void SetUpTestSuite()
    {
        s_bus = new testsupport::PrivateBus();
        qputenv("DBUS_SESSION_BUS_ADDRESS", s_bus->address().toUtf8());
    }
    static void TearDownTestSuite()
    {
        delete s_bus;
        s_bus = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_bus->isRunning());
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_desktop, "open");
        ASSERT_TRUE(QDir().mkpath(m_dir.filePath(QStringLiteral("Documents"))));
        ASSERT_TRUE(testsupport::writeFile(m_dir.filePath(QStringLiteral("Documents/note")), "x"));
    }
    void TearDown() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }

    QUrl url(const QString &relative) const
    {
        return QUrl::fromLocalFile(m_dir.filePath(relative));
    }

    static testsupport::PrivateBus *s_bus;
    QTemporaryDir m_dir;
    DesktopStandIn m_desktop;
};

testsupport::PrivateBus *FileManagerWindowTest::s_bus = nullptr;

} // namespace

TEST_F(FileManagerWindowTest, withoutAFileManagerTheDesktopOpensTheFolders)
{
    FileManagerWindow::showItems({url(QStringLiteral("Documents/note"))});
    ASSERT_TRUE(testsupport::waitFor([&] { return !m_desktop.opened.isEmpty(); }));
    // An item: the folder holding it.
    EXPECT_EQ(m_desktop.opened, QList<QUrl>{url(QStringLiteral("Documents"))});

    m_desktop.opened.clear();
    FileManagerWindow::showFolders({url(QStringLiteral("Documents"))});
    ASSERT_TRUE(testsupport::waitFor([&] { return !m_desktop.opened.isEmpty(); }));
    // A folder: the folder itself, not its parent.
    EXPECT_EQ(m_desktop.opened, QList<QUrl>{url(QStringLiteral("Documents"))});
}

TEST_F(FileManagerWindowTest, aFileManagerOnTheBusIsAskedAndNothingElseOpens)
{
    QDBusConnection manager = s_bus->connect(QStringLiteral("file-manager"));
    FileManagerStandIn standIn;
    ASSERT_TRUE(manager.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &standIn,
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(manager.registerService(QStringLiteral("org.freedesktop.FileManager1")));

    FileManagerWindow::showItems({url(QStringLiteral("Documents/note"))});
    FileManagerWindow::showFolders({url(QStringLiteral("Documents"))});
    ASSERT_TRUE(testsupport::waitFor(
        [&] { return !standIn.items.isEmpty() && !standIn.folders.isEmpty(); }));
    EXPECT_EQ(standIn.items, QStringList{url(QStringLiteral("Documents/note")).toString()});
    EXPECT_EQ(standIn.folders, QStringList{url(QStringLiteral("Documents")).toString()});
    // The answers came back: no second way was taken.
    testsupport::waitFor([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_TRUE(m_desktop.opened.isEmpty());
    manager.unregisterService(QStringLiteral("org.freedesktop.FileManager1"));
    manager.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
}

#include "filemanagerwindow_test.moc"
