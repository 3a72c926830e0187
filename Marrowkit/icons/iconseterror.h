// The icon set's own error: one value, code 0 in the domain
// "Marrowkit.IconsetError", for a missing URL or path or a failed clean-up.
// Failures of the file system come as errors of their own domain
// (fileSystemError).
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/error.h"

struct MARROWKIT_EXPORT IconsetError
{
    static QString domain() { return QStringLiteral("Marrowkit.IconsetError"); }
    // The error; `path`, when given, names the file or folder concerned.
    static Error error(const QString &path = {});
    static bool isIconsetError(const Error &error)
    {
        return error.domain == domain() && error.code == 0;
    }
    // A file-system failure at `path`: domain "NSFileManagerErrorDomain".
    static Error fileSystemError(const QString &path, const QString &description);
};
