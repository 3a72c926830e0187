// What the login helper does once started (at login, from the autostart
// entry): find the application bundle it is packaged in, four folders up
// from its own bundle (MarrowbyHelper.app → LoginItems → Library →
// Contents → the application), start that application unless it runs
// already, and end. Nothing is shown; failures are only printed.
//
// Threads: the helper's main thread.
#pragma once

#include <QString>

#include <optional>

namespace LoginHelper {

enum class Outcome {
    Launched,      // the application was started and holds the instance lock
    RunsAlready,   // another process holds the instance lock
    NoApplication, // no application bundle around the helper
    LaunchFailed,  // the application's program could not be started
};

struct Report
{
    Outcome outcome = Outcome::NoApplication;
    QString detail;
};

// The helper bundle's path with its last component removed four times;
// nothing when a step runs out of components.
std::optional<QString> containingApplication(const QString &helperBundlePath);
// The program of the application bundle: Contents/MacOS/<CFBundleExecutable>,
// when that is an executable regular file.
std::optional<QString> executableOfApplication(const QString &applicationPath);
// Takes the instance lock at `lockPath` and, when it was free, starts the
// application in a session of its own with the locked descriptor handed
// down, so the application holds the lock from its first instruction.
Report applicationDidFinishLaunching(const QString &helperBundlePath, const QString &lockPath);

} // namespace LoginHelper
