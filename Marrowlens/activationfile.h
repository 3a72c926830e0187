// The user's bus-activation file for the extension program
// ($XDG_DATA_HOME/dbus-1/services/dev.marrowby.marrowby.Marrowlens.service):
// with it the session bus starts the program on a file manager's first call.
// Written by `Marrowlens --install-activation` (the application runs it when
// it installs the file-manager shims), removed by `--remove-activation`.
//
// Threads: any (the file is replaced atomically; a link there is replaced,
// never followed).
#pragma once

#include <QString>

namespace ActivationFile {

QString path();
// Names `program` (an absolute path) as the program to start. Returns success.
bool install(const QString &program);
// Returns success (also when there was nothing to remove).
bool remove();

} // namespace ActivationFile
