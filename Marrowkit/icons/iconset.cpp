#include "Marrowkit/icons/iconset.h"

#include "Marrowkit/platform/bundle.h"

#include <QDir>
#include <QProcess>
#include <QSaveFile>

namespace {

// The icon tool converts a few PNG files; a tool that takes longer is stuck.
constexpr int iconToolTimeoutMs = 120 * 1000;

// The local path of a URL that has one.
std::optional<QString> localPath(const std::optional<QUrl> &url)
{
    if (!url || !url->isLocalFile() || url->toLocalFile().isEmpty()) {
        return std::nullopt;
    }
    return url->toLocalFile();
}

} // namespace

void Iconset::addImage(const Image &image, const QString &sizeName)
{
    m_images.insert(sizeName, image);
}

std::optional<Error> Iconset::saveIcnsToURL(const std::optional<QUrl> &url) const
{
    const auto path = localPath(url);
    if (!path) {
        return IconsetError::error();
    }
    const QString folder =
        QDir::tempPath() + QLatin1Char('/') + url->fileName() + QStringLiteral(".iconset");
    const QUrl folderURL = QUrl::fromLocalFile(folder);
    if (auto error = writeIconsetToURL(folderURL)) {
        return error;
    }
    return runIconUtilWithInput(folderURL, url);
}

std::optional<Error> Iconset::writeIconsetToURL(const std::optional<QUrl> &url) const
{
    const auto folder = localPath(url);
    if (!folder) {
        return IconsetError::error();
    }
    if (!QDir().mkpath(*folder)) {
        return IconsetError::fileSystemError(*folder,
                                             QStringLiteral("Could not create the folder."));
    }
    for (auto it = m_images.constBegin(); it != m_images.constEnd(); ++it) {
        const auto png = it.value().PNGRepresentation();
        if (!png) {
            continue;
        }
        QSaveFile file(*folder + QStringLiteral("/icon_") + it.key() + QStringLiteral(".png"));
        if (!file.open(QIODevice::WriteOnly) || file.write(*png) != png->size() || !file.commit()) {
            return IconsetError::fileSystemError(file.fileName(), file.errorString());
        }
    }
    return std::nullopt;
}

std::optional<Error> Iconset::runIconUtilWithInput(const std::optional<QUrl> &input,
                                                   const std::optional<QUrl> &output)
{
    const auto inputPath = localPath(input);
    const auto outputPath = localPath(output);
    if (!inputPath || !outputPath) {
        return IconsetError::error();
    }
    const QString program = developerToolPath(QStringLiteral("iconutil"));
    if (!program.isEmpty()) {
        QProcess tool;
        tool.setStandardOutputFile(QProcess::nullDevice());
        tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        tool.start(program, {QStringLiteral("-c"), QStringLiteral("icns"), QStringLiteral("-o"),
                             *outputPath + QStringLiteral(".icns"), *inputPath});
        if (tool.waitForStarted() && !tool.waitForFinished(iconToolTimeoutMs)) {
            tool.kill();
            tool.waitForFinished();
        }
    }
    if (!QDir(*inputPath).removeRecursively()) {
        return IconsetError::error(*inputPath);
    }
    return std::nullopt;
}
