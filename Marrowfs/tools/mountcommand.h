// `marrowby-cli mount [PATH]`: the volume without the menu, mounted at PATH
// (~/Volumes/Marrowby) in the foreground until Ctrl-C or SIGTERM, then
// unmounted. The catalogue and the actions come from the service through the
// given connector; alerts are printed to standard error.
//
// Threads: the main thread, whose event loop runs until a signal ends it.
#pragma once

#include <QCoreApplication>
#include <QStringList>

class ParleyConnector;

// `connector` already holds a catalogue; `paths` holds the mount folder or
// nothing. The exit status.
int runMountCommand(QCoreApplication &app, ParleyConnector &connector, const QStringList &paths);
