#include "Marrowkit/foundation/error.h"

#include <QStringList>

QString Error::localizedDescriptionKey()
{
    return QStringLiteral("NSLocalizedDescription");
}

QString Error::localizedFailureReasonKey()
{
    return QStringLiteral("NSLocalizedFailureReason");
}

QString Error::filePathKey()
{
    return QStringLiteral("NSFilePath");
}

QString Error::underlyingErrorKey()
{
    return QStringLiteral("NSUnderlyingError");
}

std::optional<QString> Error::localizedFailureReason() const
{
    const QVariant reason = userInfo.value(localizedFailureReasonKey());
    if (reason.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return reason.toString();
}

QString Error::localizedDescription() const
{
    const QVariant text = userInfo.value(localizedDescriptionKey());
    if (text.typeId() == QMetaType::QString) {
        return text.toString();
    }
    if (const auto reason = localizedFailureReason()) {
        return QStringLiteral("The operation couldn't be completed. ") + *reason;
    }
    return QStringLiteral("The operation couldn't be completed. (%1 error %2.)")
        .arg(domain)
        .arg(code);
}

QString Error::description() const
{
    QStringList entries;
    for (auto it = userInfo.cbegin(); it != userInfo.cend(); ++it) {
        entries.append(it.key() + QLatin1Char('=') + it.value().toString());
    }
    return QStringLiteral("Error Domain=%1 Code=%2 \"%3\" UserInfo={%4}")
        .arg(domain)
        .arg(code)
        .arg(localizedDescription(), entries.join(QStringLiteral(", ")));
}
