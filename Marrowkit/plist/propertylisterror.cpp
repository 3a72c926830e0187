#include "Marrowkit/plist/propertylisterror.h"

namespace {

Error makeError(const QString &domain, int code, const QString &description)
{
    Error error{domain, code, {}};
    error.userInfo.insert(Error::localizedDescriptionKey(), description);
    return error;
}

} // namespace

QString PropertyListError::errorDomain()
{
    return QStringLiteral("dev.marrowby.marrowby.PropertyList");
}

Error PropertyListError::error(Code code, const QString &description)
{
    return makeError(errorDomain(), code, description);
}

QString KeyedArchiveError::errorDomain()
{
    return QStringLiteral("dev.marrowby.marrowby.KeyedArchive");
}

Error KeyedArchiveError::error(Code code, const QString &description)
{
    return makeError(errorDomain(), code, description);
}
