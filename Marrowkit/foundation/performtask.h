// Runs an external program and hands back what it printed. Standard error and
// standard input are the caller's own; only standard output is captured.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QString>
#include <QStringList>

#include <optional>

// Runs the program at `path` with `arguments` and returns its standard output
// decoded as UTF-8 with white space trimmed from both ends. Nothing when the
// program cannot be started, prints nothing but white space, or prints bytes
// that are not UTF-8. With `waitUntilExit` false the program is terminated at
// once and whatever it printed until then is the answer. Blocks the caller;
// callable from any thread.
MARROWKIT_EXPORT std::optional<QString>
performTask(const QString &path, const QStringList &arguments = {}, bool waitUntilExit = true);
