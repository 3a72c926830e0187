// Whether the user let the extension run: the plug-in registry of the
// developer-tools stand-in (`pluginkit -m -A -i ID` prints "+" before an
// enabled identifier, "-" before one that is not). An identifier the
// registry cannot tell about counts as not enabled.
//
// Threads: any; blocks while the registry program runs.
#pragma once

#include <QString>

namespace PluginRegistry {

bool isEnabled(const QString &identifier);

} // namespace PluginRegistry
