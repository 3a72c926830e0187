// `marrowby-cli mount [PATH]`: the volume without the menu, mounted at PATH
// (~/Volumes/Marrowby) in the foreground until Ctrl-C or SIGTERM, then
// unmounted. It reads the selected developer tools' device set itself.
//
// Threads: the main thread, whose event loop runs until a signal ends it.
#pragma once

#include <QCoreApplication>
#include <QStringList>

// `paths` holds the mount folder or nothing; the exit status.
int runMountCommand(QCoreApplication &app, const QStringList &paths);
