// The one program behind every stand-in tool: the name it was started under
// (argv[0]'s last component) picks the tool. Under its own name, `devtools`,
// the first argument does: `devtools xcrun simctl list`, `devtools
// sample-world`, `devtools make-xcode …`.
#pragma once

#include <QStringList>

namespace Multicall {

// Whether the program started under this name is the Simulator application
// (which must block its termination signals before anything else).
bool isSimulator(const QString &argv0);
// `arguments` includes argv[0].
int run(const QStringList &arguments);

} // namespace Multicall
