#include "imagedrop.h"

#include <QFileInfo>
#include <QMimeDatabase>

namespace ImageDrop {

namespace {

bool isImageType(const QMimeType &type)
{
    if (type.name().startsWith(QStringLiteral("image/"))) {
        return true;
    }
    for (const QString &parent : type.allAncestors()) {
        if (parent.startsWith(QStringLiteral("image/"))) {
            return true;
        }
    }
    return false;
}

} // namespace

bool urlsAreValid(const QList<QUrl> &urls, QString *reason)
{
    const auto refuse = [reason](const QString &why) {
        if (reason) {
            *reason = why;
        }
        return false;
    };
    if (urls.size() > maximumFiles) {
        return refuse(QStringLiteral("%1 files dropped; at most %2 are added at once")
                          .arg(urls.size())
                          .arg(maximumFiles));
    }
    const QMimeDatabase types;
    for (const QUrl &url : urls) {
        if (!url.isLocalFile() || url.toLocalFile().isEmpty()) {
            return refuse(
                QStringLiteral("%1 is not a file on this computer").arg(url.toDisplayString()));
        }
        const QString path = url.toLocalFile();
        const QFileInfo info(path);
        if (!info.exists()) {
            return refuse(QStringLiteral("%1 does not exist").arg(path));
        }
        if (!info.isFile()) {
            return refuse(QStringLiteral("%1 is not a regular file").arg(path));
        }
        if (!isImageType(types.mimeTypeForFile(path, QMimeDatabase::MatchExtension))) {
            return refuse(QStringLiteral("%1 is not an image").arg(path));
        }
    }
    return true;
}

SimulatorDevicePtr firstBootedDevice(const QList<SimulatorDevicePtr> &devices)
{
    for (const SimulatorDevicePtr &device : devices) {
        if (device->booted()) {
            return device;
        }
    }
    return nullptr;
}

bool canDrop(const std::optional<QList<SimulatorDevicePtr>> &devices, const QList<QUrl> &urls)
{
    return devices && firstBootedDevice(*devices) && !urls.isEmpty() && urlsAreValid(urls);
}

} // namespace ImageDrop
