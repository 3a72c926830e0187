// The clipboard under the offscreen platform, and the asset-catalog loader.
#include "Marrowkit/icons/assetcatalog.h"
#include "Marrowkit/platform/pasteboard.h"

#include "tests/support/testsupport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

TEST(Pasteboard, WriteStringReplacesTheClipboardWithPlainText)
{
    auto *data = new QMimeData;
    data->setHtml(QStringLiteral("<b>old</b>"));
    QGuiApplication::clipboard()->setMimeData(data);

    const QString path = QStringLiteral("/home/u/Library/Developer/CoreSimulator/Devices/ABC");
    ASSERT_TRUE(writeString(path));
    const QMimeData *now = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(now, nullptr);
    EXPECT_EQ(now->text(), path);
    EXPECT_EQ(now->formats(), QStringList{QStringLiteral("text/plain")})
        << "plain text is the only type";
}

TEST(Pasteboard, WriteStringFromAnotherThreadHopsToTheMainThread)
{
    bool written = false;
    std::thread writer([&] { written = writeString(QStringLiteral("from a worker")); });
    // The main thread serves the hop while it waits.
    testsupport::waitFor(
        [&] { return QGuiApplication::clipboard()->text() == QStringLiteral("from a worker"); });
    writer.join();
    EXPECT_TRUE(written);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("from a worker"));
}

TEST(AssetCatalog, NoReaderSoNoImage)
{
    QTemporaryDir dir;
    const QString catalog = dir.filePath(QStringLiteral("Assets.car"));
    ASSERT_TRUE(testsupport::writeFile(catalog, QByteArray("BOMStore", 8) + QByteArray(64, '\0')));
    EXPECT_FALSE(
        imageNamedFromAssetCatalog(QStringLiteral("App Icon"), QUrl::fromLocalFile(catalog)));
    EXPECT_FALSE(imageNamedFromAssetCatalog(QString(), QUrl()));
}
