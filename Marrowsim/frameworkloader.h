// Loads the developer tools' framework bundles at run time and keeps them by
// bundle identifier, the way the platform's bundle registry does. A framework
// is a folder "<Name>.framework" holding the binary "<Name>" and
// "Resources/Info.plist" (whose CFBundleIdentifier names it).
//
// Process-wide state, guarded by one mutex; callable from any thread.
#pragma once

#include "Marrowsim/marrowsim_export.h"

#include <QString>

namespace FrameworkLoader {

// Loads the framework at `frameworkPath`; true when its binary loaded (or a
// framework of the same identifier and path already is).
MARROWSIM_TESTABLE bool load(const QString &frameworkPath);

// Forgets the framework with this identifier. The code stays mapped (objects
// and threads of the framework may still be running), but its symbols are no
// longer found and a later load() loads it afresh.
MARROWSIM_TESTABLE void unload(const QString &bundleIdentifier);

MARROWSIM_TESTABLE bool isLoaded(const QString &bundleIdentifier);

// The address of `name` in the most recently loaded framework exporting it.
MARROWSIM_TESTABLE void *symbol(const char *name);

} // namespace FrameworkLoader
