#include "appbuilder.h"

#include "plistio.h"

#include <QDir>
#include <QFile>

namespace {

bool writeFile(const QString &path, const QByteArray &data, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size()) {
        *error = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    return true;
}

struct IconFile
{
    QString name;
    QString suffix;
    int pixels;
};

QList<IconFile> iconFiles(const AppPlan &plan)
{
    switch (plan.family) {
    case DeviceFamily::Watch:
        return {{QStringLiteral("AppIcon40x40"), QStringLiteral("@2x"), 80}};
    case DeviceFamily::TV:
        return {};
    case DeviceFamily::Pad:
        return {{QStringLiteral("AppIcon60x60"), QStringLiteral("@2x"), 120},
                {QStringLiteral("AppIcon60x60"), QStringLiteral("@3x"), 180},
                {QStringLiteral("AppIcon76x76"), QStringLiteral("~ipad"), 76},
                {QStringLiteral("AppIcon76x76"), QStringLiteral("@2x~ipad"), 152}};
    case DeviceFamily::Phone:
        break;
    }
    if (plan.legacyIcon) {
        return {{QStringLiteral("Icon"), QString(), 57},
                {QStringLiteral("Icon"), QStringLiteral("@2x"), 114}};
    }
    return {{QStringLiteral("AppIcon60x60"), QStringLiteral("@2x"), 120},
            {QStringLiteral("AppIcon60x60"), QStringLiteral("@3x"), 180}};
}

QVariantMap primaryIcon(const QStringList &names)
{
    return {{QStringLiteral("CFBundlePrimaryIcon"),
             QVariantMap{{QStringLiteral("CFBundleIconFiles"), names}}}};
}

QVariantMap infoDictionary(const AppPlan &plan)
{
    QVariantMap info = {{QStringLiteral("CFBundleIdentifier"), plan.identifier},
                        {QStringLiteral("CFBundleName"), plan.name},
                        {QStringLiteral("CFBundleExecutable"), plan.name},
                        {QStringLiteral("CFBundlePackageType"), QStringLiteral("APPL")},
                        {QStringLiteral("CFBundleShortVersionString"), plan.version},
                        {QStringLiteral("CFBundleVersion"), plan.build}};
    if (!plan.displayName.isEmpty()) {
        info.insert(QStringLiteral("CFBundleDisplayName"), plan.displayName);
    }
    switch (plan.family) {
    case DeviceFamily::TV:
        info.insert(
            QStringLiteral("CFBundleIcons"),
            QVariantMap{{QStringLiteral("CFBundlePrimaryIcon"), QStringLiteral("App Icon")}});
        break;
    case DeviceFamily::Watch:
        info.insert(QStringLiteral("CFBundleIcons"), primaryIcon({QStringLiteral("AppIcon40x40")}));
        break;
    case DeviceFamily::Pad:
        info.insert(QStringLiteral("CFBundleIcons"), primaryIcon({QStringLiteral("AppIcon60x60")}));
        info.insert(QStringLiteral("CFBundleIcons~ipad"),
                    primaryIcon({QStringLiteral("AppIcon60x60"), QStringLiteral("AppIcon76x76")}));
        break;
    case DeviceFamily::Phone:
        info.insert(QStringLiteral("CFBundleIcons"),
                    primaryIcon({plan.legacyIcon ? QStringLiteral("Icon")
                                                 : QStringLiteral("AppIcon60x60")}));
        break;
    }
    return info;
}

QByteArray localizedStrings(const QString &name)
{
    QString escaped = name;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QStringLiteral("/* The app's name on the home screen */\n"
                          "\"CFBundleDisplayName\" = \"%1\";\n"
                          "\"CFBundleName\" = \"%1\";\n")
        .arg(escaped)
        .toUtf8();
}

} // namespace

namespace AppBuilder {

QString build(const AppPlan &plan, const QString &folder, QString *error)
{
    QString app = folder + QLatin1Char('/') + plan.name + QStringLiteral(".app");
    if (!QDir().mkpath(app) ||
        !PlistIO::writeXml(app + QStringLiteral("/Info.plist"), infoDictionary(plan), error) ||
        !writeFile(app + QLatin1Char('/') + plan.name, QByteArrayLiteral("#!/bin/sh\nexit 0\n"),
                   error)) {
        return QString();
    }
    QFile::setPermissions(app + QLatin1Char('/') + plan.name,
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                              QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                              QFile::ExeOther);
    for (const IconFile &icon : iconFiles(plan)) {
        const QString path =
            app + QLatin1Char('/') + icon.name + icon.suffix + QStringLiteral(".png");
        if (!writeFile(path, IconPainter::png(plan.shape, plan.colour, icon.pixels), error)) {
            return QString();
        }
    }
    if (!plan.localizedName.isEmpty()) {
        for (const QString &language : {QStringLiteral("en"), QStringLiteral("Base")}) {
            const QString lproj = app + QLatin1Char('/') + language + QStringLiteral(".lproj");
            if (!QDir().mkpath(lproj) || !writeFile(lproj + QStringLiteral("/InfoPlist.strings"),
                                                    localizedStrings(plan.localizedName), error)) {
                return QString();
            }
        }
    }
    if (!plan.appGroups.isEmpty()) {
        const QVariantMap entitlements = {
            {QStringLiteral("application-identifier"),
             QStringLiteral("A1B2C3D4E5.") + plan.identifier},
            {QStringLiteral("com.apple.security.application-groups"), plan.appGroups}};
        if (!PlistIO::writeXml(app + QStringLiteral("/archived-expanded-entitlements.xcent"),
                               entitlements, error)) {
            return QString();
        }
    }
    return app;
}

} // namespace AppBuilder
