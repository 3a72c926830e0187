// `osascript -e LINE...` for the two scripts the system runs:
//   tell app "NAME" to quit
//       ends the application's processes (those running an executable inside
//       ".../NAME.app/Contents/MacOS/") with SIGTERM and waits for them to go;
//   tell application "Finder" / set visible of process "NAME" to false / end tell
//       hides nothing (there is no window to hide) and succeeds.
// Any other script is refused.
#pragma once

#include <QStringList>

namespace Osascript {

int run(const QStringList &arguments);
// Signals every process of `appName` and waits up to `timeoutMs` for them to
// end. Returns how many were signalled.
int quitApplication(const QString &appName, int timeoutMs);

} // namespace Osascript
