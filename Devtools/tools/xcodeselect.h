// `xcode-select`: prints (-p) and changes (-s PATH) the selected developer
// folder. The selection is per user: a symbolic link in ~/Library/Developer,
// so selecting needs no administrator rights. DEVELOPER_DIR overrides it, as
// it does for every developer tool.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace XcodeSelect {

int run(const QStringList &arguments);

// The selected developer folder, if any.
std::optional<QString> selectedDeveloperDirectory();
// The developer folder named by PATH: an Xcode .app or its Contents/Developer
// folder. Nothing when PATH is neither.
std::optional<QString> developerDirectoryFor(const QString &path);
bool select(const QString &developerDirectory, QString *error);

} // namespace XcodeSelect
