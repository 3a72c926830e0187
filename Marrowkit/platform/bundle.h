// The application bundle a program or library runs from: the folder that holds
// Contents/Info.plist, found by walking up from the running executable (or,
// for code loaded from elsewhere, from this library's own file).
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QString>
#include <QVariantMap>

#include <optional>

class MARROWKIT_EXPORT Bundle
{
public:
    // The bundle whose Contents/Info.plist is found walking up from `path`.
    static std::optional<Bundle> containing(const QString &path);
    // The bundle of the running program, else the bundle Marrowkit is in.
    static std::optional<Bundle> main();
    // The bundle at `path` itself (its Contents/Info.plist must read).
    static std::optional<Bundle> at(const QString &path);

    QString path() const { return m_path; }
    QString contentsPath() const { return m_path + QStringLiteral("/Contents"); }
    QString identifier() const;
    QVariantMap infoDictionary() const { return m_info; }

private:
    Bundle(QString path, QVariantMap info) : m_path(std::move(path)), m_info(std::move(info)) {}
    QString m_path;
    QVariantMap m_info;
};

// Where a developer-tools program (xcrun, xcode-select, mdfind, open,
// osascript, iconutil, pluginkit) is found: the folder named by
// MARROWBY_DEVTOOLS_BIN, else Contents/SharedSupport/bin of the main bundle
// or, for a program nested in the application (the service among its login
// items, an extension among its plug-ins), of the first bundle around it
// that ships the programs.
// Returns the path even when no file is there, so callers fail the way a
// missing program fails; empty when neither is known (never a system program
// of the same name, which would be a different tool).
MARROWKIT_EXPORT QString developerToolPath(const QString &programName);
