// A failure as a value: a domain, a code and a dictionary of details. The
// dictionary keys follow the platform's conventions so that errors read the
// same wherever they are shown or sent.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QString>
#include <QVariantMap>

#include <optional>

struct MARROWKIT_EXPORT Error
{
    QString domain;
    int code = 0;
    QVariantMap userInfo;

    static QString localizedDescriptionKey();   // "NSLocalizedDescription"
    static QString localizedFailureReasonKey(); // "NSLocalizedFailureReason"
    static QString filePathKey();               // "NSFilePath"
    static QString underlyingErrorKey();        // "NSUnderlyingError"

    // The text for the user: the description entry when present, else a
    // generic sentence that names the failure reason or the domain and code.
    QString localizedDescription() const;
    std::optional<QString> localizedFailureReason() const;

    // "Error Domain=D Code=C \"text\" UserInfo={key=value, ...}".
    QString description() const;

    friend bool operator==(const Error &, const Error &) = default;
};
