// The menu's user-visible texts: looked up by dotted key in the string table
// of the application bundle (Contents/Resources/en.lproj/Localizable.strings,
// a property list of texts), with the English text in the code when the
// table has no text for the key.
//
// Threads: the table is read once, on first use, under a lock; lookups are
// safe from any thread.
#pragma once

#include <QString>

namespace MenuStrings {

QString waiting();         // "Waiting for Simulators…"
QString about();           // "About Marrowby"
QString preferences();     // "Preferences…"
QString quit();            // "Quit Marrowby"
QString recentApps();      // "Recent Apps"
QString simulators();      // "Simulators"
QString selectXcode();     // "Select another Xcode now…"
QString noXcodeSelected(); // "No Xcode selected. Select now…"
QString noSimulatorsFound(const QString &xcodeVersion);
QString unknownDevice(); // "[Unknown device]"
QString size(const QString &sizeText);
QString calculating(); // "Calculating..."

QString deviceLaunch();
QString deviceReset();
QString deviceAddPhoto();
QString copyPath();
QString appReveal();
QString appReset();
QString appUninstall();
QString appLaunch();
QString appRevealAppGroups();

} // namespace MenuStrings
