#include "Marrowkit/icons/iconseterror.h"

Error IconsetError::error(const QString &path)
{
    Error error{domain(), 0, {}};
    if (!path.isEmpty()) {
        error.userInfo.insert(Error::filePathKey(), path);
    }
    return error;
}

Error IconsetError::fileSystemError(const QString &path, const QString &description)
{
    return Error{QStringLiteral("NSFileManagerErrorDomain"),
                 1,
                 {{Error::filePathKey(), path}, {Error::localizedDescriptionKey(), description}}};
}
