// `pluginkit`: the user's elections of plug-ins, kept in a per-user registry
// (~/Library/Caches/com.apple.pluginkit/Annotations.plist).
//   pluginkit -e use|ignore -i ID    elect or ignore a plug-in
//   pluginkit -m [-A] [-v] -i ID     print "+    ID" (used) or "-    ID"
#pragma once

#include <QStringList>

namespace Pluginkit {

int run(const QStringList &arguments);

} // namespace Pluginkit
