// The application's per-user defaults: "MarrowfsEnabled" (the volume is to
// run) and "MarrowlensShouldBeEnabled" (the file-manager extension is still
// to be switched on once). Both read true until written. Stored in
// $XDG_CONFIG_HOME/Marrowby/Marrowby.conf, located afresh on every use so a
// changed HOME is honoured.
//
// Threads: main thread.
#pragma once

#include <QString>

namespace MarrowbyDefaults {

QString filePath();
bool marrowfsEnabled();
void setMarrowfsEnabled(bool enabled);
bool marrowlensShouldBeEnabled();
void setMarrowlensShouldBeEnabled(bool shouldBeEnabled);

} // namespace MarrowbyDefaults
