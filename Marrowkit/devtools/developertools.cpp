#include "Marrowkit/devtools/developertools.h"

#include "Marrowkit/foundation/performtask.h"
#include "Marrowkit/platform/bundle.h"
#include "Marrowkit/plist/propertylist.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <chrono>

const QString XcodeVersionDidChangeNotification =
    QStringLiteral("XcodeVersionDidChangeNotification");
const QString CurrentXcodeVersionKey = QStringLiteral("CurrentXcodeVersionKey");

namespace {

// How long quitting waits for the Simulator to end.
constexpr std::chrono::milliseconds quitWait(5000);

// Whether process `pid` has ended: gone, or a zombie its parent has not
// reaped yet.
bool hasEnded(const QString &pid)
{
    QFile stat(QStringLiteral("/proc/") + pid + QStringLiteral("/stat"));
    if (!stat.open(QIODevice::ReadOnly)) {
        return true;
    }
    const QByteArray line = stat.read(4096);
    const qsizetype afterName = line.lastIndexOf(')');
    return afterName < 0 || line.mid(afterName + 2, 1) == "Z";
}

// The version the search index reports for a bundle: its Info.plist's
// CFBundleShortVersionString, when that is text.
std::optional<QString> metadataItemVersion(const QUrl &url)
{
    const auto info =
        PropertyList::dictionaryFromFile(url.path() + QStringLiteral("/Contents/Info.plist"))
            .value();
    if (!info) {
        return std::nullopt;
    }
    const QVariant version = info->value(QStringLiteral("CFBundleShortVersionString"));
    if (version.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return version.toString();
}

// A path made into a URL the way a path is escaped for use in one.
std::optional<QUrl> urlFromPath(const QString &path)
{
    if (path.isEmpty()) {
        return std::nullopt;
    }
    const QUrl url(QString::fromLatin1(QUrl::toPercentEncoding(path, "/")), QUrl::StrictMode);
    if (!url.isValid() || url.path().isEmpty()) {
        return std::nullopt;
    }
    return url;
}

QString simulatorExecutableMarker(DeviceType deviceType)
{
    const QString appName = isWatch(deviceType) ? QStringLiteral("Simulator (Watch).app")
                                                : QStringLiteral("Simulator.app");
    return QStringLiteral("/Applications/") + appName + QStringLiteral("/Contents/MacOS/Simulator");
}

} // namespace

QList<XcodeVersion> DeveloperTools::installedXcodes() const
{
    const std::optional<QString> selectedPath =
        performTask(developerToolPath(QStringLiteral("xcode-select")), {QStringLiteral("-p")});
    const std::optional<QString> found =
        performTask(developerToolPath(QStringLiteral("mdfind")),
                    {QStringLiteral("kMDItemCFBundleIdentifier == 'com.apple.dt.Xcode'")});
    if (!found) {
        return {};
    }
    QList<XcodeVersion> xcodes;
    for (const QString &line : found->split(QLatin1Char('\n'))) {
        const auto url = urlFromPath(line);
        if (!url) {
            continue;
        }
        const auto version = metadataItemVersion(*url);
        if (!version) {
            continue;
        }
        XcodeVersion xcode(*url, *version, false);
        xcode.setIsCurrentlySelected(selectedPath &&
                                     xcode.developerDirectory().path() == *selectedPath);
        xcodes.append(xcode);
    }
    std::sort(xcodes.begin(), xcodes.end(),
              [](const XcodeVersion &lhs, const XcodeVersion &rhs) { return lhs > rhs; });
    return xcodes;
}

std::optional<XcodeVersion> DeveloperTools::currentlySelectedXcode() const
{
    for (const XcodeVersion &xcode : installedXcodes()) {
        if (xcode.isCurrentlySelected()) {
            return xcode;
        }
    }
    return std::nullopt;
}

bool DeveloperTools::setSelectedXcode(const XcodeVersion &xcode) const
{
    const QString developer = xcode.developerDirectory().path();
    if (developer.isEmpty()) {
        return false;
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(developerToolPath(QStringLiteral("xcode-select")),
                  {QStringLiteral("-s"), developer});
    if (!process.waitForStarted(-1)) {
        return false;
    }
    process.waitForFinished(-1);
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool DeveloperTools::isGuiSimulatorRunning(DeviceType deviceType) const
{
    const auto listing =
        performTask(QStringLiteral("/bin/ps"), {QStringLiteral("-eo"), QStringLiteral("command")});
    if (!listing) {
        return false;
    }
    const QString marker = simulatorExecutableMarker(deviceType);
    const QStringList lines = listing->split(QLatin1Char('\n'));
    return std::any_of(lines.cbegin(), lines.cend(),
                       [&marker](const QString &line) { return line.contains(marker); });
}

void DeveloperTools::quitSimulatorIfRunning(DeviceType deviceType) const
{
    const auto listing = performTask(QStringLiteral("/bin/ps"),
                                     {QStringLiteral("-eo"), QStringLiteral("pid,command")});
    if (!listing) {
        return;
    }
    const QString marker = simulatorExecutableMarker(deviceType);
    QStringList asked;
    for (const QString &line : listing->split(QLatin1Char('\n'))) {
        if (!line.contains(marker)) {
            continue;
        }
        // Trim spaces and tabs only, then the first piece is the process number.
        qsizetype start = 0;
        qsizetype end = line.size();
        while (start < end &&
               (line.at(start) == QLatin1Char(' ') || line.at(start) == QLatin1Char('\t'))) {
            ++start;
        }
        while (end > start &&
               (line.at(end - 1) == QLatin1Char(' ') || line.at(end - 1) == QLatin1Char('\t'))) {
            --end;
        }
        const QString pid = line.mid(start, end - start).split(QLatin1Char(' ')).first();
        performTask(QStringLiteral("/bin/kill"), {QStringLiteral("-15"), pid});
        asked.append(pid);
    }
    // The Simulator shuts its devices down as it quits; what the caller does
    // next (deleting a device, say) needs them shut down, so wait a while.
    QElapsedTimer waited;
    waited.start();
    while (!std::all_of(asked.cbegin(), asked.cend(), hasEnded) &&
           waited.elapsed() < quitWait.count()) {
        QThread::msleep(50);
    }
}
