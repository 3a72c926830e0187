// The service packaged as a login item of the application: a bundle in the
// main bundle's Contents/Library/LoginItems whose bundle identifier is its
// bus name. Enabling the item writes the user's bus-activation file for that
// name ($XDG_DATA_HOME/dbus-1/services/<identifier>.service, Exec= the
// program inside the item), so the session bus starts the service on a
// client's first call; disabling removes the file.
//
// Threads: stateless; any thread (the files are written atomically).
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QString>

#include <optional>

namespace LoginItem {

// The folder of the login items inside the main bundle.
MARROWKIT_EXPORT QString loginItemsFolder();
// Where the activation file of the bus name `identifier` goes.
MARROWKIT_EXPORT QString activationFilePath(const QString &identifier);
// (Re)writes that file so the session bus starts `program` (an absolute
// path) for `identifier`; the file is replaced at once, a link there is
// replaced and never followed. Returns success.
MARROWKIT_EXPORT bool writeActivationFile(const QString &identifier, const QString &program);
// Removes it; nothing to remove is success too.
MARROWKIT_EXPORT bool removeActivationFile(const QString &identifier);

// The bus name to connect to for the login item `name` (as
// "<identifier>.app") of the main bundle, once the item is enabled; nothing
// when the item is missing, does not match its name or cannot be enabled.
MARROWKIT_EXPORT std::optional<QString> connectionForLoginItemName(const QString &name);
// The same for the login item bundle at `bundlePath`: its bundle identifier
// must equal the folder's name without its extension.
MARROWKIT_EXPORT std::optional<QString> connectionForLoginItemAt(const QString &bundlePath);

// Enables or disables the login item whose bundle identifier is
// `identifier` (the item <identifier>.app of the main bundle). Enabling
// (re)writes the activation file, replacing a stale one; disabling removes
// it (a link is removed, never followed). Returns success.
MARROWKIT_EXPORT bool setEnabled(const QString &identifier, bool enabled);

// Disables the login item `name` given with or without its ".app".
MARROWKIT_EXPORT void stop(const QString &name);

} // namespace LoginItem
