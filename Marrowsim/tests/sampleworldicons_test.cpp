// The icons of the sample world's apps, scanned through the framework library
// and drawn as an archive draws them, against reference pictures in
// data/icons. The references were drawn by the code that decoded every icon
// file at scan time; drawing later, from one file and through the icon cache,
// must not change a pixel.
//
// MARROWBY_WRITE_ICON_REFERENCES=<folder> writes every app's icon there
// instead of comparing, named as the references are.
#include "Marrowsim/marrowsimcontroller.h"

#include "devtoolsworld.h"
#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatordevice.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

namespace {

QString developerFolder()
{
    return QDir::homePath() + QStringLiteral("/Applications/Xcode.app/Contents/Developer");
}

// "<device type>__<bundle identifier>.png" with spaces as dashes.
QString referenceName(const SimulatorDevice &device, const SimulatorApp &app)
{
    QString name = rawValue(device.deviceType()) + QStringLiteral("__") + app.bundleIdentifier() +
                   QStringLiteral(".png");
    return name.replace(QLatin1Char(' '), QLatin1Char('-'));
}

QImage decoded(const QByteArray &png)
{
    return QImage::fromData(png, "PNG").convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

class SampleWorldIcons : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const ToolRun world =
            devtoolsworld::run(QStringLiteral("devtools"), {QStringLiteral("sample-world")});
        ASSERT_EQ(world.status, 0) << world.err.toStdString();
    }

    // Every app's archived icon, by reference name.
    QMap<QString, QByteArray> drawnIcons()
    {
        MarrowsimController controller(developerFolder());
        EXPECT_TRUE(controller.didLoadFrameworks());
        QMap<QString, QByteArray> icons;
        for (const auto &device : controller.availableDevices()) {
            for (const auto &app : device->apps()) {
                if (app->icon()) {
                    icons.insert(referenceName(*device, *app),
                                 app->icon()->PNGRepresentation().value_or(QByteArray()));
                }
            }
        }
        return icons;
    }

    testsupport::TemporaryHome m_home;
};

} // namespace

TEST_F(SampleWorldIcons, DrawnIconsMatchTheReferencePixelForPixel)
{
    const QMap<QString, QByteArray> icons = drawnIcons();
    ASSERT_FALSE(icons.isEmpty());

    const QString writeTo = qEnvironmentVariable("MARROWBY_WRITE_ICON_REFERENCES");
    if (!writeTo.isEmpty()) {
        QDir().mkpath(writeTo);
        for (auto it = icons.constBegin(); it != icons.constEnd(); ++it) {
            QFile file(writeTo + QLatin1Char('/') + it.key());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(it.value()) > 0);
        }
        GTEST_SKIP() << "references written to " << writeTo.toStdString();
    }

    const QDir references(QStringLiteral(MARROWSIM_TEST_DATA "/icons"));
    const QStringList names = references.entryList({QStringLiteral("*.png")}, QDir::Files);
    ASSERT_GE(names.size(), 4) << "the reference pictures are missing";
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(icons.contains(name)) << "no app drawn for this reference";
        const QImage expected = decoded([&] {
            QFile file(references.filePath(name));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }());
        const QImage actual = decoded(icons.value(name));
        ASSERT_FALSE(expected.isNull());
        ASSERT_EQ(actual.size(), expected.size());
        EXPECT_TRUE(actual == expected);
    }
}
