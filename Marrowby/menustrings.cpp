#include "menustrings.h"

#include "Marrowkit/platform/bundle.h"
#include "Marrowkit/plist/propertylist.h"

#include <QVariantMap>

#include <mutex>

namespace MenuStrings {

namespace {

QVariantMap loadTable()
{
    const auto bundle = Bundle::main();
    if (!bundle) {
        return {};
    }
    return PropertyList::dictionaryFromFile(
               bundle->contentsPath() + QStringLiteral("/Resources/en.lproj/Localizable.strings"))
        .value_or(QVariantMap());
}

const QVariantMap &table()
{
    static std::once_flag once;
    static QVariantMap loaded;
    std::call_once(once, [] { loaded = loadTable(); });
    return loaded;
}

QString text(const char *key, const char *englishDefault)
{
    return localized(QString::fromLatin1(key), QString::fromUtf8(englishDefault));
}

} // namespace

QString localized(const QString &key, const QString &englishDefault)
{
    const QVariant value = table().value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : englishDefault;
}

QString formatted(const QString &text, const QString &argument)
{
    QString result = text;
    const qsizetype at = result.indexOf(QStringLiteral("%@"));
    if (at >= 0) {
        result.replace(at, 2, argument);
    }
    return result;
}

QString waiting()
{
    return text("marrowby.menu.message.waiting", "Waiting for Simulators…");
}
QString about()
{
    return text("marrowby.menu.title.about", "About Marrowby");
}
QString preferences()
{
    return text("marrowby.menu.title.preferences", "Preferences…");
}
QString quit()
{
    return text("marrowby.menu.title.quit", "Quit Marrowby");
}
QString recentApps()
{
    return text("marrowby.menu.title.recent-apps", "Recent Apps");
}
QString simulators()
{
    return text("marrowby.menu.title.simulators", "Simulators");
}
QString selectXcode()
{
    return text("marrowby.menu.xcode-select", "Select another Xcode now…");
}
QString noXcodeSelected()
{
    return text("marrowby.menu.no-xcode-selected", "No Xcode selected. Select now…");
}
QString noSimulatorsFound(const QString &xcodeVersion)
{
    return formatted(text("marrowby.menu.message.no-simulators-found",
                          "No Simulators for Xcode %@ with apps found"),
                     xcodeVersion);
}
QString unknownDevice()
{
    return QStringLiteral("[Unknown device]");
}
QString size(const QString &sizeText)
{
    return formatted(text("marrowby.menu.action.app.size", "Size: %@"), sizeText);
}
QString calculating()
{
    return QStringLiteral("Calculating...");
}
QString deviceLaunch()
{
    return text("marrowby.menu.action.device.launch", "Launch Simulator");
}
QString deviceReset()
{
    return text("marrowby.menu.action.device.reset", "Reset Content and Settings");
}
QString deviceAddPhoto()
{
    return text("marrowby.menu.action.device.add-photo", "Add Photos");
}
QString copyPath()
{
    return text("marrowby.menu.action.app.copy", "Copy path");
}
QString appReveal()
{
    return text("marrowby.menu.action.app.reveal", "Reveal in file viewer");
}
QString appReset()
{
    return text("marrowby.menu.action.app.reset", "Reset data");
}
QString appUninstall()
{
    return text("marrowby.menu.action.app.uninstall", "Uninstall");
}
QString appLaunch()
{
    return text("marrowby.menu.action.app.launch", "Launch in Simulator");
}
QString appRevealAppGroups()
{
    return text("marrowby.menu.action.app.reveal-app-groups", "Reveal App Groups in file viewer");
}

} // namespace MenuStrings
