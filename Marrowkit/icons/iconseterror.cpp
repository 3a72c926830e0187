#include "Marrowkit/icons/iconseterror.h"

Error IconsetError::error(const QString &path, const QString &reason)
{
    Error error{domain(), 0, {}};
    if (!path.isEmpty()) {
        error.userInfo.insert(Error::filePathKey(), path);
    }
    if (!reason.isEmpty()) {
        error.userInfo.insert(Error::localizedFailureReasonKey(), reason);
    }
    return error;
}

Error IconsetError::toolError(const QString &reason)
{
    Error error = IconsetError::error({}, reason);
    error.userInfo.insert(Error::localizedDescriptionKey(),
                          QStringLiteral("The icon set could not be converted: ") + reason);
    return error;
}

Error IconsetError::fileSystemError(const QString &path, const QString &description)
{
    return Error{QStringLiteral("NSFileManagerErrorDomain"),
                 1,
                 {{Error::filePathKey(), path}, {Error::localizedDescriptionKey(), description}}};
}
