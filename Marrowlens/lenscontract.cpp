#include "lenscontract.h"

#include <QDir>

namespace LensContract {

QString serviceName()
{
    return QStringLiteral("dev.marrowby.marrowby.Marrowlens");
}

QString objectPath()
{
    return QStringLiteral("/FinderSync");
}

QString interfaceName()
{
    return serviceName() + QStringLiteral(".FinderSync");
}

QString extensionIdentifier()
{
    return QStringLiteral("dev.marrowby.marrowby.Marrowby.Marrowlens");
}

QString defaultVolumePath()
{
    return QDir::homePath() + QStringLiteral("/Volumes/Marrowby");
}

} // namespace LensContract
