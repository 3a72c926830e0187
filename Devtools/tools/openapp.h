// `open APP [--args ARG...]`: starts the application's executable
// (Contents/MacOS/<CFBundleExecutable>) detached from the caller, with its
// standard streams on /dev/null, and returns once it has started. Every call
// starts a new instance. Only applications can be opened.
#pragma once

#include <QStringList>

#include <sys/types.h>

namespace OpenApp {

int run(const QStringList &arguments);
// The executable of an application bundle; empty when it has none.
QString executableOf(const QString &app);
// Starts `program` as a detached process (its own session, not a child of
// ours). Returns its process number, or -1 with a reason.
pid_t spawnDetached(const QString &program, const QStringList &arguments, QString *error);

} // namespace OpenApp
