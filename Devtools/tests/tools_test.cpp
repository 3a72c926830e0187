// xcode-select, mdfind, pluginkit, iconutil, open and osascript as the system
// runs them, each in a temporary HOME.
#include "devtoolsworld.h"
#include "plistio.h"
#include "tests/support/testsupport.h"

#include <QBuffer>
#include <QImage>
#include <QProcess>
#include <QtEndian>

#include <gtest/gtest.h>

using namespace devtoolsworld;

namespace {

QString makeXcode(const testsupport::TemporaryHome &home, const QString &name,
                  const QString &version)
{
    const QString app = home.filePath(QStringLiteral("Applications/") + name);
    const ToolRun made = run(QStringLiteral("devtools"), {QStringLiteral("make-xcode"), app,
                                                          QStringLiteral("--version"), version});
    return made.status == 0 ? app : QString();
}

QByteArray pngOfSize(int pixels)
{
    QImage image(pixels, pixels, QImage::Format_ARGB32);
    image.fill(Qt::darkCyan);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return data;
}

// The element types of an icns container, checking its framing on the way.
std::optional<QList<QByteArray>> icnsElementTypes(const QByteArray &data)
{
    if (data.size() < 8 || !data.startsWith("icns") ||
        qFromBigEndian<quint32>(data.constData() + 4) != quint32(data.size())) {
        return std::nullopt;
    }
    QList<QByteArray> types;
    for (qsizetype offset = 8; offset < data.size();) {
        if (offset + 8 > data.size()) {
            return std::nullopt;
        }
        const quint32 length = qFromBigEndian<quint32>(data.constData() + offset + 4);
        if (length < 8 || quint64(offset) + length > quint64(data.size()) ||
            !data.mid(offset + 8, 8).startsWith("\x89PNG")) {
            return std::nullopt;
        }
        types.append(data.mid(offset, 4));
        offset += length;
    }
    return types;
}

class Tools : public ::testing::Test
{
protected:
    testsupport::TemporaryHome m_home;
};

} // namespace

TEST_F(Tools, XcodeSelectPrintsAndSwitchesThePerUserSelection)
{
    const ToolRun none = run(QStringLiteral("xcode-select"), {QStringLiteral("-p")});
    EXPECT_NE(none.status, 0);
    EXPECT_TRUE(none.out.isEmpty());

    const QString eight = makeXcode(m_home, QStringLiteral("Xcode.app"), QStringLiteral("8.0"));
    const QString seven =
        makeXcode(m_home, QStringLiteral("Xcode-7.3.1.app"), QStringLiteral("7.3.1"));
    ASSERT_FALSE(eight.isEmpty() || seven.isEmpty());
    ASSERT_EQ(run(QStringLiteral("xcode-select"), {QStringLiteral("-s"), eight}).status, 0);
    EXPECT_EQ(run(QStringLiteral("xcode-select"), {QStringLiteral("-p")}).out,
              eight + QStringLiteral("/Contents/Developer\n"));
    ASSERT_EQ(run(QStringLiteral("xcode-select"),
                  {QStringLiteral("--switch"), seven + QStringLiteral("/Contents/Developer/")})
                  .status,
              0);
    EXPECT_EQ(run(QStringLiteral("xcode-select"), {QStringLiteral("-p")}).out.trimmed(),
              seven + QStringLiteral("/Contents/Developer"));

    // Not an Xcode: refused, the selection stays.
    const QString other = m_home.filePath(QStringLiteral("Applications/Other.app"));
    QDir().mkpath(other + QStringLiteral("/Contents/Developer"));
    ASSERT_TRUE(PlistIO::writeXml(
        other + QStringLiteral("/Contents/Info.plist"),
        QVariantMap{{QStringLiteral("CFBundleIdentifier"), QStringLiteral("org.other")}}));
    for (const QStringList &arguments :
         {QStringList{QStringLiteral("-s"), other},
          QStringList{QStringLiteral("-s"), m_home.filePath(QStringLiteral("nowhere"))},
          QStringList{QStringLiteral("-s")}, QStringList{QStringLiteral("--bogus")},
          QStringList{}}) {
        EXPECT_NE(run(QStringLiteral("xcode-select"), arguments).status, 0);
    }
    EXPECT_EQ(run(QStringLiteral("xcode-select"), {QStringLiteral("-p")}).out.trimmed(),
              seven + QStringLiteral("/Contents/Developer"));

    // Another user (HOME) has its own selection.
    testsupport::TemporaryHome other_home;
    EXPECT_NE(run(QStringLiteral("xcode-select"), {QStringLiteral("-p")}).status, 0);
}

TEST_F(Tools, MdfindFindsApplicationsByBundleIdentifier)
{
    const QString eight = makeXcode(m_home, QStringLiteral("Xcode.app"), QStringLiteral("8.0"));
    const QString seven =
        makeXcode(m_home, QStringLiteral("Beta/Xcode-7.3.1.app"), QStringLiteral("7.3.1"));
    ASSERT_FALSE(eight.isEmpty() || seven.isEmpty());
    QDir().mkpath(m_home.filePath(QStringLiteral("Applications/Other.app/Contents")));
    ASSERT_TRUE(PlistIO::writeXml(
        m_home.filePath(QStringLiteral("Applications/Other.app/Contents/Info.plist")),
        QVariantMap{{QStringLiteral("CFBundleIdentifier"), QStringLiteral("org.other")}}));

    const ToolRun found =
        run(QStringLiteral("mdfind"),
            {QStringLiteral("kMDItemCFBundleIdentifier == 'com.apple.dt.Xcode'")});
    ASSERT_EQ(found.status, 0);
    QStringList lines = found.out.trimmed().split(QLatin1Char('\n'));
    lines.removeAll(QStringLiteral("/Applications/Xcode.app")); // a machine-wide one, if any
    lines.sort();
    EXPECT_EQ(lines, (QStringList{seven, eight}));

    EXPECT_EQ(
        run(QStringLiteral("mdfind"), {QStringLiteral("kMDItemCFBundleIdentifier == 'org.other'")})
            .out.trimmed(),
        m_home.filePath(QStringLiteral("Applications/Other.app")));
    EXPECT_TRUE(
        run(QStringLiteral("mdfind"), {QStringLiteral("kMDItemCFBundleIdentifier == 'org.none'")})
            .out.isEmpty());
    EXPECT_NE(
        run(QStringLiteral("mdfind"), {QStringLiteral("kMDItemDisplayName == 'Xcode'")}).status, 0);
    EXPECT_NE(run(QStringLiteral("mdfind"), {}).status, 0);
}

TEST_F(Tools, PluginkitKeepsElectionsPerUser)
{
    const QString id = QStringLiteral("dev.marrowby.marrowby.Marrowby.Marrowlens");
    const QStringList match = {QStringLiteral("-m"), QStringLiteral("-A"), QStringLiteral("-i"),
                               id};
    EXPECT_EQ(run(QStringLiteral("pluginkit"), match).out,
              QStringLiteral("-    ") + id + QLatin1Char('\n'));
    ASSERT_EQ(run(QStringLiteral("pluginkit"),
                  {QStringLiteral("-e"), QStringLiteral("use"), QStringLiteral("-i"), id})
                  .status,
              0);
    EXPECT_TRUE(
        run(QStringLiteral("pluginkit"), match).out.startsWith(QStringLiteral("+    ") + id));
    ASSERT_EQ(run(QStringLiteral("pluginkit"),
                  {QStringLiteral("-e"), QStringLiteral("ignore"), QStringLiteral("-i"), id})
                  .status,
              0);
    EXPECT_TRUE(run(QStringLiteral("pluginkit"), match).out.startsWith(QStringLiteral("-")));

    for (const QStringList &arguments :
         {QStringList{QStringLiteral("-e"), QStringLiteral("maybe"), QStringLiteral("-i"), id},
          QStringList{QStringLiteral("-e"), QStringLiteral("use")},
          QStringList{QStringLiteral("-m")}, QStringList{QStringLiteral("-x")}}) {
        EXPECT_NE(run(QStringLiteral("pluginkit"), arguments).status, 0);
    }
    ASSERT_EQ(run(QStringLiteral("pluginkit"),
                  {QStringLiteral("-e"), QStringLiteral("use"), QStringLiteral("-i"), id})
                  .status,
              0);
    testsupport::TemporaryHome otherUser;
    EXPECT_TRUE(run(QStringLiteral("pluginkit"), match).out.startsWith(QStringLiteral("-")));
}

TEST_F(Tools, IconutilWritesAnIcnsContainerWithTheRightElementTypes)
{
    const QString iconset = m_home.filePath(QStringLiteral("App.iconset"));
    for (int size : {16, 32, 64, 128, 256, 512, 1024}) {
        ASSERT_TRUE(testsupport::writeFile(iconset + QStringLiteral("/icon_%1x%1.png").arg(size),
                                           pngOfSize(size)));
    }
    ASSERT_TRUE(
        testsupport::writeFile(iconset + QStringLiteral("/icon_16x16@2x.png"), pngOfSize(32)));
    const QString output = m_home.filePath(QStringLiteral("out/App.icns"));
    QDir().mkpath(m_home.filePath(QStringLiteral("out")));
    const ToolRun converted =
        run(QStringLiteral("iconutil"),
            {QStringLiteral("-c"), QStringLiteral("icns"), QStringLiteral("-o"), output, iconset});
    ASSERT_EQ(converted.status, 0) << converted.err.toStdString();
    QFile file(output);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const auto types = icnsElementTypes(file.readAll());
    ASSERT_TRUE(types);
    EXPECT_EQ(*types,
              (QList<QByteArray>{"icp4", "ic11", "icp5", "icp6", "ic07", "ic08", "ic09", "ic10"}));

    // Without -o the container goes beside the icon set.
    ASSERT_EQ(
        run(QStringLiteral("iconutil"), {QStringLiteral("-c"), QStringLiteral("icns"), iconset})
            .status,
        0);
    EXPECT_TRUE(QFileInfo(m_home.filePath(QStringLiteral("App.icns"))).isFile());

    // A PNG whose size does not match its name fails the whole conversion.
    const QString bad = m_home.filePath(QStringLiteral("Bad.iconset"));
    testsupport::writeFile(bad + QStringLiteral("/icon_16x16.png"), pngOfSize(16));
    testsupport::writeFile(bad + QStringLiteral("/icon_32x32.png"), pngOfSize(30));
    const QString badOutput = m_home.filePath(QStringLiteral("Bad.icns"));
    EXPECT_NE(run(QStringLiteral("iconutil"), {QStringLiteral("-c"), QStringLiteral("icns"),
                                               QStringLiteral("-o"), badOutput, bad})
                  .status,
              0);
    EXPECT_FALSE(QFileInfo::exists(badOutput));
    testsupport::writeFile(bad + QStringLiteral("/icon_32x32.png"), "not a png");
    EXPECT_NE(run(QStringLiteral("iconutil"), {QStringLiteral("-c"), QStringLiteral("icns"),
                                               QStringLiteral("-o"), badOutput, bad})
                  .status,
              0);
    EXPECT_FALSE(QFileInfo::exists(badOutput));
    const QString empty = m_home.filePath(QStringLiteral("Empty.iconset"));
    QDir().mkpath(empty);
    EXPECT_NE(run(QStringLiteral("iconutil"), {QStringLiteral("-c"), QStringLiteral("icns"), empty})
                  .status,
              0);
    EXPECT_NE(
        run(QStringLiteral("iconutil"), {QStringLiteral("-c"), QStringLiteral("iconset"), iconset})
            .status,
        0);
    EXPECT_NE(run(QStringLiteral("iconutil"),
                  {QStringLiteral("-c"), QStringLiteral("icns"), m_home.path()})
                  .status,
              0);
}

TEST_F(Tools, OpenStartsTheApplicationDetachedWithItsArguments)
{
    const QString app = m_home.filePath(QStringLiteral("Applications/Recorder.app"));
    const QString record = m_home.filePath(QStringLiteral("record.txt"));
    QDir().mkpath(app + QStringLiteral("/Contents"));
    ASSERT_TRUE(PlistIO::writeXml(
        app + QStringLiteral("/Contents/Info.plist"),
        QVariantMap{{QStringLiteral("CFBundleExecutable"), QStringLiteral("record")}}));
    // Holds its standard output open for a while: `open` must not wait for it.
    testsupport::writeFile(
        app + QStringLiteral("/Contents/MacOS/record"),
        QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" > '%1.part'\nmv '%1.part' '%1'\nsleep 5\n")
            .arg(record)
            .toUtf8());
    QFile::setPermissions(app + QStringLiteral("/Contents/MacOS/record"),
                          QFile::ReadOwner | QFile::ExeOwner);

    QProcess open;
    open.start(toolPath(QStringLiteral("open")),
               {app, QStringLiteral("--args"), QStringLiteral("-CurrentDeviceUDID"),
                QStringLiteral("two words")});
    ASSERT_TRUE(open.waitForFinished(3000)) << "open waited for the application";
    EXPECT_EQ(open.exitCode(), 0);
    ASSERT_TRUE(testsupport::waitFor([&] { return QFileInfo::exists(record); }));
    QFile file(record);
    file.open(QIODevice::ReadOnly);
    EXPECT_EQ(file.readAll(), QByteArray("-CurrentDeviceUDID\ntwo words\n"));

    EXPECT_NE(
        run(QStringLiteral("open"), {m_home.filePath(QStringLiteral("Applications/Missing.app"))})
            .status,
        0);
    EXPECT_NE(run(QStringLiteral("open"), {record}).status, 0);
    EXPECT_NE(run(QStringLiteral("open"), {}).status, 0);
}

TEST_F(Tools, OsascriptRunsOnlyTheQuitAndHideScripts)
{
    EXPECT_EQ(run(QStringLiteral("osascript"),
                  {QStringLiteral("-e"), QStringLiteral("tell app \"Nothing Running\" to quit")})
                  .status,
              0);
    EXPECT_EQ(
        run(QStringLiteral("osascript"),
            {QStringLiteral("-e"), QStringLiteral("tell application \"Finder\""),
             QStringLiteral("-e"), QStringLiteral("set visible of process \"Simulator\" to false"),
             QStringLiteral("-e"), QStringLiteral("end tell")})
            .status,
        0);
    EXPECT_NE(run(QStringLiteral("osascript"),
                  {QStringLiteral("-e"), QStringLiteral("do shell script \"rm -rf /\"")})
                  .status,
              0);
    EXPECT_NE(run(QStringLiteral("osascript"), {QStringLiteral("script.scpt")}).status, 0);
    EXPECT_NE(run(QStringLiteral("osascript"), {}).status, 0);
}
