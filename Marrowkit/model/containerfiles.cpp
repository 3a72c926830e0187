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
    auto dictionary = PropertyList::dictionaryFromData(*bytes.value());
    if (const auto refused = dictionary.error()) {
        Error error = resultError(QStringLiteral("%1 does not hold a dictionary property list: %2")
                                      .arg(path, refused->localizedDescription()));
        error.userInfo.insert(Error::filePathKey(), path);
        error.userInfo.insert(Error::underlyingErrorKey(), refused->description());
        return Result<QVariantMap>::failure(error);
    }
    return dictionary;
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
