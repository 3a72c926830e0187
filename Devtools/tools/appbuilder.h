// Builds a real app bundle folder (<Name>.app) the way an app built for a
// simulator looks: Info.plist, an executable, icon files named in
// CFBundleIcons (and CFBundleIcons~ipad), localized names, and the app-group
// entitlements.
//
// Icon files by family:
//   phone  "AppIcon60x60" as @2x and @3x
//   pad    also "AppIcon76x76" as ~ipad and @2x~ipad (in CFBundleIcons~ipad)
//   legacy "Icon" as "" and @2x (when `legacyIcon` is set)
//   watch  "AppIcon40x40" as @2x
//   TV     CFBundlePrimaryIcon is the text "App Icon" (an asset catalog
//          image the bundle does not carry)
#pragma once

#include "iconpainter.h"
#include "simidentifiers.h"

#include <QColor>
#include <QStringList>

struct AppPlan
{
    QString name;        // folder name and CFBundleName
    QString displayName; // CFBundleDisplayName; empty for none
    QString identifier;
    QString version = QStringLiteral("1.0");
    QString build = QStringLiteral("1");
    QStringList appGroups;
    QString localizedName; // en.lproj and Base.lproj InfoPlist.strings
    DeviceFamily family = DeviceFamily::Phone;
    bool legacyIcon = false;
    IconShape shape = IconShape::Circle;
    QColor colour = Qt::blue;
};

namespace AppBuilder {

// Writes `<folder>/<name>.app` and returns its path, or empty with a reason.
QString build(const AppPlan &plan, const QString &folder, QString *error);

} // namespace AppBuilder
