#include "Marrowkit/model/containerfiles.h"

#include "Marrowkit/platform/saferead.h"
#include "Marrowkit/plist/propertylist.h"

namespace ContainerFiles {

QString metadataFileName()
{
    return QStringLiteral(".com.apple.mobile_container_manager.metadata.plist");
}

Result<QVariantMap> readDictionary(const QString &path, qint64 limit)
{
    const auto bytes = SafeRead::readRegularFile(path, limit, SafeRead::Links::Refuse);
    if (bytes.isFailure()) {
        return Result<QVariantMap>::failure(*bytes.error());
    }
    if (auto dictionary = PropertyList::dictionaryFromData(*bytes.value())) {
        return Result<QVariantMap>::success(*dictionary);
    }
    Error error =
        resultError(QStringLiteral("%1 does not hold a dictionary property list").arg(path));
    error.userInfo.insert(Error::filePathKey(), path);
    return Result<QVariantMap>::failure(error);
}

Result<QVariantMap> readInfoPlist(const QString &bundlePath)
{
    return readDictionary(bundlePath + QStringLiteral("/Info.plist"), infoPlistLimit);
}

Result<QVariantMap> readMetadata(const QString &containerPath)
{
    return readDictionary(containerPath + QLatin1Char('/') + metadataFileName(), metadataLimit);
}

} // namespace ContainerFiles
