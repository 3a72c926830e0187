#include "lensstrings.h"

#include "Marrowkit/platform/stringtable.h"

namespace LensStrings {

namespace {

QString text(const char *key, const char *englishDefault)
{
    return StringTable::localizedString(key, englishDefault);
}

QString text(const char *key, const char *englishDefault, const QString &argument)
{
    return StringTable::formatted(text(key, englishDefault), argument);
}

} // namespace

QString deviceReveal()
{
    return text("marrowlens.menu.action.device.reveal", "Reveal in file viewer");
}

QString deviceRunning(const QString &deviceName)
{
    return text("marrowlens.menu.message.device.running", "\u201D%@\u201D is currently running",
                deviceName);
}

QString deviceLaunch(const QString &deviceName)
{
    return text("marrowlens.menu.action.device.launch", "Launch \u201D%@\u201D Simulator",
                deviceName);
}

QString deviceAddPhotos(const QString &deviceName)
{
    return text("marrowlens.menu.action.device.add-photos", "Add photos to \u201D%@\u201D",
                deviceName);
}

QString deviceReset()
{
    return text("marrowlens.menu.action.device.reset", "Reset Content and Settings");
}

QString appReveal()
{
    return text("marrowlens.menu.action.app.reveal", "Reveal in file viewer");
}

QString appLaunch(const QString &appName)
{
    return text("marrowlens.menu.action.app.launch", "Launch \u201D%@\u201D in Simulator", appName);
}

QString appRevealAppGroups(const QString &appName)
{
    return text("marrowlens.menu.action.app.reveal-app-groups",
                "Reveal App Groups of \u201D%@\u201D", appName);
}

QString appReset()
{
    return text("marrowlens.menu.action.app.reset", "Reset Data");
}

QString appUninstall(const QString &appName)
{
    return text("marrowlens.menu.action.app.uninstall", "Uninstall \u201D%@\u201D", appName);
}

QString generalReveal()
{
    return text("marrowlens.menu.action.general.reveal", "Reveal in file viewer");
}

} // namespace LensStrings
