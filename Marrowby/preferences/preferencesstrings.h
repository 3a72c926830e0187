// The preferences window's user-visible texts (keys marrowby.preferences.*),
// looked up in the application's string table with the English text in the
// code as fallback.
//
// Threads: any (the table is read once under a lock).
#pragma once

#include <QString>

namespace PreferencesStrings {

QString generalTab();  // "General"
QString marrowfsTab(); // "Volume"
QString xcodeLabel();  // "Xcode:"
QString noXcodeSelected();
QString revealXcode();
QString cltExplanation();
QString startAtLogin();
QString updateCheck();
QString updatesByPackageManager();
QString installUpdate();
QString checkForUpdates();
// "Xcode %@ could not be selected." with the reason after it.
QString xcodeSwitchFailed(const QString &title, const QString &reason);
QString xcodeGone(const QString &path);
QString xcodeRefused();
QString startAtLoginFailed(const QString &reason);

QString enableMarrowfs();
QString mountPath(const QString &path);
QString revealMountPath();
// The hint shown without FUSE: rich text set in the given font and size.
QString noFuse(const QString &fontName, int pointSize);
QString mountFailed(const QString &path);

QString enableMarrowlens();
QString marrowlensExplanation();

} // namespace PreferencesStrings
