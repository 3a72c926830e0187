#include "paths.h"

#include <QDir>
#include <QFile>

#include <pwd.h>
#include <unistd.h>

namespace DevtoolsPaths {

QString home()
{
    const QByteArray env = qgetenv("HOME");
    if (!env.isEmpty()) {
        return QDir::cleanPath(QFile::decodeName(env));
    }
    if (const passwd *entry = getpwuid(getuid()); entry && entry->pw_dir) {
        return QDir::cleanPath(QFile::decodeName(entry->pw_dir));
    }
    return QStringLiteral("/");
}

QString deviceSetPath()
{
    return home() + QStringLiteral("/Library/Developer/CoreSimulator/Devices");
}

QString deviceSystemLogPath(const QString &udid)
{
    return home() + QStringLiteral("/Library/Logs/CoreSimulator/") + udid +
           QStringLiteral("/system.log");
}

QString selectionLinkPath()
{
    return home() + QStringLiteral("/Library/Developer/xcode_select_link");
}

QString pluginRegistryPath()
{
    return home() + QStringLiteral("/Library/Caches/com.apple.pluginkit/Annotations.plist");
}

QString userApplicationsPath()
{
    return home() + QStringLiteral("/Applications");
}

} // namespace DevtoolsPaths
