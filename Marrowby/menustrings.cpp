#include "menustrings.h"

#include "Marrowkit/platform/stringtable.h"

namespace MenuStrings {

namespace {

// Each text is looked up once and kept: the table does not change while
// the program runs, and the menu asks for these thousands of times per
// rebuild.
QString text(const char *key, const char *englishDefault)
{
    return StringTable::localizedString(key, englishDefault);
}

} // namespace

QString waiting()
{
    static const QString cached = text("marrowby.menu.message.waiting", "Waiting for Simulators…");
    return cached;
}
QString about()
{
    static const QString cached = text("marrowby.menu.title.about", "About Marrowby");
    return cached;
}
QString preferences()
{
    static const QString cached = text("marrowby.menu.title.preferences", "Preferences…");
    return cached;
}
QString quit()
{
    static const QString cached = text("marrowby.menu.title.quit", "Quit Marrowby");
    return cached;
}
QString recentApps()
{
    static const QString cached = text("marrowby.menu.title.recent-apps", "Recent Apps");
    return cached;
}
QString simulators()
{
    static const QString cached = text("marrowby.menu.title.simulators", "Simulators");
    return cached;
}
QString selectXcode()
{
    static const QString cached = text("marrowby.menu.xcode-select", "Select another Xcode now…");
    return cached;
}
QString noXcodeSelected()
{
    static const QString cached =
        text("marrowby.menu.no-xcode-selected", "No Xcode selected. Select now…");
    return cached;
}
QString noSimulatorsFound(const QString &xcodeVersion)
{
    return StringTable::formatted(text("marrowby.menu.message.no-simulators-found",
                                       "No Simulators for Xcode %@ with apps found"),
                                  xcodeVersion);
}
QString unknownDevice()
{
    return QStringLiteral("[Unknown device]");
}
QString size(const QString &sizeText)
{
    // The template split once around its placeholder: every app item of
    // every rebuild has a size line.
    static const QString sizeTemplate = text("marrowby.menu.action.app.size", "Size: %@");
    static const qsizetype at = sizeTemplate.indexOf(QStringLiteral("%@"));
    if (at < 0) {
        return sizeTemplate;
    }
    QString line;
    line.reserve(sizeTemplate.size() - 2 + sizeText.size());
    line.append(QStringView(sizeTemplate).left(at))
        .append(sizeText)
        .append(QStringView(sizeTemplate).mid(at + 2));
    return line;
}
QString calculating()
{
    return QStringLiteral("Calculating...");
}
QString deviceLaunch()
{
    static const QString cached = text("marrowby.menu.action.device.launch", "Launch Simulator");
    return cached;
}
QString deviceReset()
{
    static const QString cached =
        text("marrowby.menu.action.device.reset", "Reset Content and Settings");
    return cached;
}
QString deviceAddPhoto()
{
    static const QString cached = text("marrowby.menu.action.device.add-photo", "Add Photos");
    return cached;
}
QString copyPath()
{
    static const QString cached = text("marrowby.menu.action.app.copy", "Copy path");
    return cached;
}
QString appReveal()
{
    static const QString cached = text("marrowby.menu.action.app.reveal", "Reveal in file viewer");
    return cached;
}
QString appReset()
{
    static const QString cached = text("marrowby.menu.action.app.reset", "Reset data");
    return cached;
}
QString appUninstall()
{
    static const QString cached = text("marrowby.menu.action.app.uninstall", "Uninstall");
    return cached;
}
QString appLaunch()
{
    static const QString cached = text("marrowby.menu.action.app.launch", "Launch in Simulator");
    return cached;
}
QString appRevealAppGroups()
{
    static const QString cached =
        text("marrowby.menu.action.app.reveal-app-groups", "Reveal App Groups in file viewer");
    return cached;
}

} // namespace MenuStrings
