// The Marrowby program as a user runs it: SIGTERM quits it the way the Quit
// item does (volume unmounted, service stopped), and under Xvfb the picture
// of its open menu shows the highlighted item in three lines.
#include "menuworld.h"

#include "statusnotifierwatcher.h"

#include "Marrowkit/Connection/loginitem.h"
#include "Marrowkit/Connection/parleycontract.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusReply>
#include <QDBusVariant>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>

#include <csignal>
#include <unistd.h>

using testsupport::isMountPoint;
using testsupport::waitFor;

namespace {

// The first run of rows whose pixel near the right edge (past the text,
// before the frame) is strongly coloured: the highlighted item (the style
// may shade it, so any strong colour counts).
struct Band
{
    int top = -1;
    int bottom = -1;
    QColor colour;
};

Band highlightedBand(const QImage &image)
{
    Band band;
    const int x = image.width() - 10;
    for (int y = 0; y < image.height(); ++y) {
        const QColor pixel(image.pixel(x, y));
        if (band.top < 0 && pixel.saturation() > 100) {
            band.top = y;
            band.colour = pixel;
        } else if (band.top >= 0 && pixel.saturation() <= 100) {
            band.bottom = y - 1;
            break;
        }
    }
    return band;
}

// Separate runs of rows holding text between `top` and `bottom`, right of
// the icon column: highlighted text is drawn light on the strong colour, so
// ink is any pale pixel.
int textLines(const QImage &image, int top, int bottom, int left)
{
    int lines = 0;
    bool inLine = false;
    for (int y = top; y <= bottom; ++y) {
        bool ink = false;
        for (int x = left; x < image.width() - 30 && !ink; ++x) {
            const QColor pixel(image.pixel(x, y));
            ink = pixel.saturation() < 60 && pixel.value() > 160;
        }
        if (ink && !inLine) {
            ++lines;
        }
        inLine = ink;
    }
    return lines;
}

void collectTexts(const QVariant &value, QStringList &texts);

// Every text anywhere in a reply of unknown shape (a menu layout).
void collectTexts(const QDBusArgument &argument, QStringList &texts)
{
    switch (argument.currentType()) {
    case QDBusArgument::StructureType:
        argument.beginStructure();
        while (!argument.atEnd()) {
            collectTexts(argument, texts);
        }
        argument.endStructure();
        break;
    case QDBusArgument::ArrayType:
        argument.beginArray();
        while (!argument.atEnd()) {
            collectTexts(argument, texts);
        }
        argument.endArray();
        break;
    case QDBusArgument::MapType:
        argument.beginMap();
        while (!argument.atEnd()) {
            argument.beginMapEntry();
            collectTexts(argument, texts);
            collectTexts(argument, texts);
            argument.endMapEntry();
        }
        argument.endMap();
        break;
    case QDBusArgument::VariantType: {
        QDBusVariant variant;
        argument >> variant;
        collectTexts(variant.variant(), texts);
        break;
    }
    default:
        collectTexts(argument.asVariant(), texts);
        break;
    }
}

void collectTexts(const QVariant &value, QStringList &texts)
{
    if (value.canConvert<QDBusArgument>()) {
        collectTexts(value.value<QDBusArgument>(), texts);
    } else if (value.typeId() == QMetaType::QString) {
        texts.append(value.toString());
    }
}

// A call that keeps this process's event loop turning while it waits: the
// program may be asking the watcher in this process something meanwhile.
QDBusMessage callTurning(QDBusConnection &bus, const QDBusMessage &call)
{
    QDBusPendingCall pending = bus.asyncCall(call);
    testsupport::waitFor([&] { return pending.isFinished(); }, std::chrono::seconds(30));
    return pending.reply();
}

} // namespace

class MarrowbyProgram : public MenuWorld
{
protected:
    void SetUp() override
    {
        MenuWorld::SetUp();
        m_mountPath = m_home->filePath(QStringLiteral("Volumes/Marrowby"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus->address());
        m_program.setProcessEnvironment(env);
        // A group of its own: a failed test ends the program with whatever
        // it started (xvfb-run's X server), never leaving one behind.
        m_program.setChildProcessModifier([] { ::setsid(); });
    }
    void TearDown() override
    {
        if (m_program.state() != QProcess::NotRunning) {
            ::kill(-pid_t(m_program.processId()), SIGTERM);
            if (!m_program.waitForFinished(20000)) {
                ::kill(-pid_t(m_program.processId()), SIGKILL);
                m_program.waitForFinished();
            }
        }
        MenuWorld::TearDown();
    }

    QString marrowby() const
    {
        return testsupport::bundlePath() + QStringLiteral("/Contents/MacOS/Marrowby");
    }

    QString m_mountPath;
    QProcess m_program;
};

TEST_F(MarrowbyProgram, sigtermUnmountsTheVolumeAndStopsTheService)
{
    m_program.start(marrowby(),
                    {QStringLiteral("--window"), QStringLiteral("--mount-path"), m_mountPath});
    ASSERT_TRUE(m_program.waitForStarted());
    ASSERT_TRUE(waitFor([&] { return m_bus->ownerProcess(ParleyContract::serviceName()) != 0; },
                        std::chrono::seconds(30)));
    const QString stderrText = [&] {
        waitFor(
            [&] {
                return m_program.readAllStandardError().size() >= 0 &&
                       (isMountPoint(m_mountPath) || m_program.state() == QProcess::NotRunning);
            },
            std::chrono::seconds(20));
        return QString::fromLocal8Bit(m_program.readAllStandardError());
    }();
    const bool mounted = isMountPoint(m_mountPath);
    ::kill(pid_t(m_program.processId()), SIGTERM);
    ASSERT_TRUE(m_program.waitForFinished(30000));
    EXPECT_EQ(m_program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_program.exitCode(), 0);
    if (mounted) {
        EXPECT_FALSE(isMountPoint(m_mountPath));
    } else {
        EXPECT_TRUE(stderrText.contains(QStringLiteral("FUSE"))) << stderrText.toStdString();
    }
    EXPECT_TRUE(waitFor([&] { return m_bus->ownerProcess(ParleyContract::serviceName()) == 0; }));
}

// A fresh user gets the file manager's extension without a set-up step: the
// launch tells the session bus how to start this bundle's extension program.
TEST_F(MarrowbyProgram, launchLetsTheBusStartTheExtensionProgramOfThisBundle)
{
    const QString activation =
        LoginItem::activationFilePath(QStringLiteral("dev.marrowby.marrowby.Marrowlens"));
    ASSERT_TRUE(activation.startsWith(m_home->path())) << activation.toStdString();
    ASSERT_FALSE(QFile::exists(activation));
    m_program.start(marrowby(),
                    {QStringLiteral("--window"), QStringLiteral("--mount-path"), m_mountPath});
    ASSERT_TRUE(m_program.waitForStarted());
    ASSERT_TRUE(waitFor([&] { return QFile::exists(activation); }, std::chrono::seconds(20)));
    QFile file(activation);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    const QString program =
        QFileInfo(testsupport::bundlePath() +
                  QStringLiteral("/Contents/PlugIns/Marrowlens.appex/Contents/MacOS/Marrowlens"))
            .canonicalFilePath();
    EXPECT_TRUE(text.contains(QStringLiteral("Name=dev.marrowby.marrowby.Marrowlens\n")))
        << text.toStdString();
    const QString exec = text.section(QStringLiteral("Exec="), 1).section(QLatin1Char('\n'), 0, 0);
    EXPECT_TRUE(exec.contains(program)) << text.toStdString();
}

TEST_F(MarrowbyProgram, thePictureOfTheOpenMenuShowsTheHighlightedItemInThreeLines)
{
    const QString xvfbRun = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    if (xvfbRun.isEmpty()) {
        GTEST_SKIP() << "xvfb-run is not installed";
    }
    QProcessEnvironment env = m_program.processEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    m_program.setProcessEnvironment(env);
    const QString picture = m_home->filePath(QStringLiteral("menu.png"));
    m_program.start(xvfbRun, {QStringLiteral("-a"), QStringLiteral("-s"),
                              QStringLiteral("-screen 0 1024x768x24"), marrowby(),
                              QStringLiteral("--window"), QStringLiteral("--mount-path"),
                              m_mountPath, QStringLiteral("--screenshot"), picture,
                              QStringLiteral("--quit-after-screenshot")});
    ASSERT_TRUE(m_program.waitForFinished(90000));
    const QString output = QString::fromLocal8Bit(m_program.readAllStandardError());
    ASSERT_EQ(m_program.exitCode(), 0) << output.toStdString();
    EXPECT_FALSE(isMountPoint(m_mountPath));

    QImage image(picture);
    ASSERT_FALSE(image.isNull()) << output.toStdString();
    image = image.convertToFormat(QImage::Format_RGB32);
    const Band band = highlightedBand(image);
    ASSERT_GE(band.top, 0) << "no highlighted item in the picture";
    ASSERT_GT(band.bottom, band.top);
    EXPECT_EQ(textLines(image, band.top, band.bottom, 36), 3);
}

TEST_F(MarrowbyProgram, withAStatusNotifierHostTheIconIsATrayItemWithThePlainMenu)
{
    const QString xvfbRun = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    if (xvfbRun.isEmpty()) {
        GTEST_SKIP() << "xvfb-run is not installed";
    }
    QDBusConnection bus = m_bus->connect(QStringLiteral("watcher"));
    StatusNotifierWatcher watcher(bus);
    ASSERT_TRUE(watcher.isRunning());
    QProcessEnvironment env = m_program.processEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    m_program.setProcessEnvironment(env);
    m_program.start(
        xvfbRun, {QStringLiteral("-a"), marrowby(), QStringLiteral("--mount-path"), m_mountPath});
    ASSERT_TRUE(
        waitFor([&] { return !watcher.registeredItems().isEmpty(); }, std::chrono::seconds(60)))
        << m_program.readAllStandardError().toStdString();
    const QString item = watcher.registeredItems().first();
    const uint marrowbyPid = m_bus->ownerProcess(item);
    ASSERT_NE(marrowbyPid, 0u);

    QDBusMessage get = QDBusMessage::createMethodCall(
        item, QStringLiteral("/StatusNotifierItem"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierItem") << QStringLiteral("Menu");
    const QDBusMessage menuReply = callTurning(bus, get);
    ASSERT_FALSE(menuReply.arguments().isEmpty()) << menuReply.errorMessage().toStdString();
    const auto menuPath =
        menuReply.arguments().first().value<QDBusVariant>().variant().value<QDBusObjectPath>();
    ASSERT_FALSE(menuPath.path().isEmpty()) << item.toStdString();
    // The panel's menu: plain one-line entries that follow the catalogue.
    QStringList texts;
    const bool filled = waitFor(
        [&] {
            QDBusMessage call = QDBusMessage::createMethodCall(
                item, menuPath.path(), QStringLiteral("com.canonical.dbusmenu"),
                QStringLiteral("GetLayout"));
            call << 0 << -1 << QStringList();
            const QDBusMessage reply = callTurning(bus, call);
            texts.clear();
            for (const QVariant &argument : reply.arguments()) {
                collectTexts(argument, texts);
            }
            return texts.contains(QStringLiteral("Simulators [Xcode 8.0]"));
        },
        std::chrono::seconds(30));
    EXPECT_TRUE(filled) << texts.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("Quit Marrowby")));
    EXPECT_TRUE(texts.contains(QStringLiteral("About Marrowby")));
    for (const QString &text : texts) {
        EXPECT_FALSE(text.contains(QLatin1Char('\n'))) << text.toStdString();
    }

    ::kill(pid_t(marrowbyPid), SIGTERM);
    ASSERT_TRUE(m_program.waitForFinished(30000));
    EXPECT_FALSE(isMountPoint(m_mountPath));
}
