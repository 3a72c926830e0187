#include "Marrowkit/icons/iconset.h"

#include "Marrowkit/platform/bundle.h"
#include "Marrowkit/platform/saferemove.h"
#include "Marrowkit/platform/scratchfolder.h"

#include <QDir>
#include <QFileInfo>
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

Result<Unit> failure(Error error)
{
    return Result<Unit>::failure(std::move(error));
}

// Runs the tool and says why it did not convert, or nothing when it did.
std::optional<Error> runTool(const QString &program, const QStringList &arguments)
{
    if (program.isEmpty() || !QFileInfo(program).isExecutable()) {
        return IconsetError::toolError(QStringLiteral("the icon tool is missing"));
    }
    QProcess tool;
    tool.setStandardOutputFile(QProcess::nullDevice());
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tool.start(program, arguments);
    if (!tool.waitForStarted()) {
        return IconsetError::toolError(tool.errorString());
    }
    if (!tool.waitForFinished(iconToolTimeoutMs)) {
        tool.kill();
        tool.waitForFinished();
        return IconsetError::toolError(QStringLiteral("the icon tool did not finish"));
    }
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        return IconsetError::toolError(
            QStringLiteral("the icon tool failed with status %1").arg(tool.exitCode()));
    }
    return std::nullopt;
}

} // namespace

void Iconset::addImage(const Image &image, const QString &sizeName)
{
    m_images.insert(sizeName, image);
}

Result<Unit> Iconset::saveIcnsToURL(const std::optional<QUrl> &url) const
{
    const auto path = localPath(url);
    if (!path || url->fileName().isEmpty()) {
        return failure(IconsetError::error());
    }
    const auto scratch = ScratchFolder::create(cacheName(), QStringLiteral(".iconset-"));
    if (scratch.isFailure()) {
        return failure(*scratch.error());
    }
    const QUrl folderURL = QUrl::fromLocalFile(
        (*scratch.value())->filePath(url->fileName() + QStringLiteral(".iconset")));
    auto written = writeIconsetToURL(folderURL);
    if (written.isFailure()) {
        return written;
    }
    return runIconUtilWithInput(folderURL, url);
}

Result<Unit> Iconset::writeIconsetToURL(const std::optional<QUrl> &url) const
{
    const auto folder = localPath(url);
    if (!folder) {
        return failure(IconsetError::error());
    }
    if (!QDir().mkpath(*folder)) {
        return failure(
            IconsetError::fileSystemError(*folder, QStringLiteral("Could not create the folder.")));
    }
    for (auto it = m_images.constBegin(); it != m_images.constEnd(); ++it) {
        const auto png = it.value().PNGRepresentation();
        if (!png) {
            continue;
        }
        QSaveFile file(*folder + QStringLiteral("/icon_") + it.key() + QStringLiteral(".png"));
        if (!file.open(QIODevice::WriteOnly) || file.write(*png) != png->size() || !file.commit()) {
            return failure(IconsetError::fileSystemError(file.fileName(), file.errorString()));
        }
    }
    return Result<Unit>::success(Unit());
}

Result<Unit> Iconset::runIconUtilWithInput(const std::optional<QUrl> &input,
                                           const std::optional<QUrl> &output)
{
    const auto inputPath = localPath(input);
    const auto outputPath = localPath(output);
    if (!inputPath || !outputPath) {
        return failure(IconsetError::error());
    }
    const auto toolProblem =
        runTool(developerToolPath(QStringLiteral("iconutil")),
                {QStringLiteral("-c"), QStringLiteral("icns"), QStringLiteral("-o"),
                 *outputPath + QStringLiteral(".icns"), *inputPath});
    const auto removed = SafeRemove::removeTree(*inputPath);
    if (toolProblem) {
        return failure(*toolProblem);
    }
    if (removed.isFailure()) {
        Error error = IconsetError::error(*inputPath);
        error.userInfo.insert(Error::underlyingErrorKey(), removed.error()->description());
        return failure(error);
    }
    return Result<Unit>::success(Unit());
}
