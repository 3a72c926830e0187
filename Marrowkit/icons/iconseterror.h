// The icon set's own error: one value, code 0 in the domain
// "Marrowkit.IconsetError", for a missing URL or path, an icon tool that made
// no icns file, or a failed clean-up; details say which. Failures of the
// file system come as errors of their own domain (fileSystemError).
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/error.h"

struct MARROWKIT_EXPORT IconsetError
{
    static QString domain() { return QStringLiteral("Marrowkit.IconsetError"); }
    // The error; `path`, when given, names the file or folder concerned and
    // `reason` what went wrong.
    static Error error(const QString &path = {}, const QString &reason = {});
    // The icon tool made no icns file, for `reason`.
    static Error toolError(const QString &reason);
    static bool isIconsetError(const Error &error)
    {
        return error.domain == domain() && error.code == 0;
    }
    // A file-system failure at `path`: domain "NSFileManagerErrorDomain".
    static Error fileSystemError(const QString &path, const QString &description);
};
