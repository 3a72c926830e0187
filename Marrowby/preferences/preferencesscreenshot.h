// A picture of the preferences window for the documentation: every tab in
// turn, side by side in one PNG.
//
// Threads: main thread; turns the event loop while it draws.
#pragma once

#include <QString>

class PreferencesWindow;

namespace PreferencesScreenshot {

// Empty on success, else what went wrong.
QString capture(PreferencesWindow &window, const QString &pngPath);

} // namespace PreferencesScreenshot
