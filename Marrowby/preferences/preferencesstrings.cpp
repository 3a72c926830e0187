#include "preferencesstrings.h"

#include "Marrowkit/platform/stringtable.h"

namespace PreferencesStrings {

namespace {

QString text(const char *key, const char *englishDefault)
{
    return StringTable::localizedString(key, englishDefault);
}

} // namespace

QString generalTab()
{
    return text("marrowby.preferences.tab.general", "General");
}
QString marrowfsTab()
{
    return text("marrowby.preferences.tab.marrowfs", "Volume");
}
QString xcodeLabel()
{
    return text("marrowby.preferences.general.xcode", "Xcode:");
}
QString noXcodeSelected()
{
    return text("marrowby.preferences.general.no-xcode-selected", "(No Xcode Selected)");
}
QString revealXcode()
{
    return text("marrowby.preferences.general.reveal-xcode", "Show in File Manager");
}
QString cltExplanation()
{
    return text("marrowby.preferences.general.clt-explanation",
                "Marrowby shows the simulators of the selected Xcode. The command-line tools "
                "(xcrun, xcode-select) use the same selection.");
}
QString startAtLogin()
{
    return text("marrowby.preferences.general.start-at-login", "Start Marrowby at login");
}
QString updateCheck()
{
    return text("marrowby.preferences.general.update-check", "Checking for updates ...");
}
QString updatesByPackageManager()
{
    return text("marrowby.preferences.general.updates-by-package-manager",
                "Updates for Marrowby come from your system's package manager.");
}
QString installUpdate()
{
    return text("marrowby.preferences.general.install-update", "Install Update");
}
QString checkForUpdates()
{
    return text("marrowby.preferences.general.check-for-updates", "Check for Updates");
}
QString xcodeSwitchFailed(const QString &title, const QString &reason)
{
    return StringTable::formatted(text("marrowby.preferences.general.xcode-switch-failed",
                                       "%@ could not be selected."),
                                  title) +
           QLatin1Char(' ') + reason;
}
QString xcodeGone(const QString &path)
{
    return StringTable::formatted(
        text("marrowby.preferences.general.xcode-gone",
             "It is no longer at %@; the list now shows the Xcodes installed."),
        path);
}
QString xcodeRefused()
{
    return text("marrowby.preferences.general.xcode-refused",
                "The developer tools refused the selection; the previous Xcode stays selected.");
}
QString startAtLoginFailed(const QString &reason)
{
    return StringTable::formatted(text("marrowby.preferences.general.start-at-login-failed",
                                       "Start at login could not be changed. %@"),
                                  reason);
}

QString enableMarrowfs()
{
    return text("marrowby.preferences.marrowfs.enable", "Mount the Marrowby volume");
}
QString mountPath(const QString &path)
{
    return StringTable::formatted(text("marrowby.preferences.marrowfs.mount-path", "Mounted at %@"),
                                  path);
}
QString revealMountPath()
{
    return text("marrowby.preferences.marrowfs.reveal", "Show in File Manager");
}
QString noFuse(const QString &fontName, int pointSize)
{
    const QString format =
        text("marrowby.preferences.marrowfs.no-fuse",
             "<span style=\"font-family:'%@'; font-size:%dpt\">The Marrowby volume needs "
             "FUSE. Install the <b>fuse3</b> package and make sure <tt>/dev/fuse</tt> can be "
             "opened, then start Marrowby again.</span>");
    // A font name is not markup: quotes and angle brackets in it stay text.
    return StringTable::formatted(format, fontName.toHtmlEscaped())
        .replace(QStringLiteral("%d"), QString::number(pointSize));
}
QString mountFailed(const QString &path)
{
    return StringTable::formatted(text("marrowby.preferences.marrowfs.mount-failed",
                                       "The volume could not be mounted at %@."),
                                  path);
}

QString enableMarrowlens()
{
    return text("marrowby.preferences.marrowlens.enable", "File-manager extension");
}
QString marrowlensExplanation()
{
    return text("marrowby.preferences.marrowlens.explanation",
                "Badges booted devices and adds the app and device actions to the file "
                "manager's menus inside the volume.");
}

} // namespace PreferencesStrings
