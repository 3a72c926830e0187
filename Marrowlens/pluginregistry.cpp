#include "pluginregistry.h"

#include "Marrowkit/foundation/performtask.h"
#include "Marrowkit/platform/bundle.h"

#include <QStringList>

namespace PluginRegistry {

bool isEnabled(const QString &identifier)
{
    const QString pluginkit = developerToolPath(QStringLiteral("pluginkit"));
    if (pluginkit.isEmpty()) {
        return false;
    }
    const auto answer = performTask(
        pluginkit, {QStringLiteral("-m"), QStringLiteral("-A"), QStringLiteral("-i"), identifier});
    if (!answer) {
        return false;
    }
    // One line per match: the election, spaces, the identifier.
    for (const QString &line : answer->split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.endsWith(identifier)) {
            return trimmed.startsWith(QLatin1Char('+'));
        }
    }
    return false;
}

} // namespace PluginRegistry
