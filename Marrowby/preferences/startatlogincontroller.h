// Start at login: an XDG autostart entry,
// $XDG_CONFIG_HOME/autostart/<helper identifier>.desktop, that runs the
// login helper packaged in the application (the bundle among
// Contents/Library/LoginItems whose identifier is the one given). Switching
// on writes the entry whole or not at all; switching off removes it (never
// what a link there points to). The state is read from disk on every ask, so
// an entry the user removed or disabled by hand reads as off.
//
// Threads: main thread; every call touches the disk synchronously.
#pragma once

#include "Marrowkit/foundation/result.h"

#include <QString>

#include <optional>

class StartAtLoginController
{
public:
    // `applicationPath`: the bundle whose login items hold the helper; the
    // main bundle when empty.
    explicit StartAtLoginController(QString identifier, QString applicationPath = QString());

    const QString &identifier() const { return m_identifier; }
    // Where the entry is, located afresh (XDG_CONFIG_HOME, else ~/.config).
    QString entryPath() const;
    // The helper's program, when the application ships it.
    std::optional<QString> helperProgram() const;

    // The entry exists and the desktop would run it (not Hidden, not
    // switched off with X-GNOME-Autostart-enabled).
    bool startAtLogin() const;
    // Writes or removes the entry; a failure says why and leaves the entry
    // as it was.
    Result<Unit> setStartAtLogin(bool enabled);

    // The Exec value for `program`: quoted and escaped as desktop entries
    // want, so a path with spaces or quotes survives.
    static QString execValue(const QString &program);

private:
    Result<Unit> writeEntry();
    Result<Unit> removeEntry();

    QString m_identifier;
    QString m_applicationPath;
};
