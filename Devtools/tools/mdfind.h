// `mdfind` for the one query form the system asks:
//   kMDItemCFBundleIdentifier == 'com.apple.dt.Xcode'
// Looks through /Applications and ~/Applications (and folders below them,
// not inside bundles) for applications with that bundle identifier; `*` in
// the value matches any text. Prints one path per line.
#pragma once

#include <QStringList>

namespace Mdfind {

int run(const QStringList &arguments);
QStringList applicationsWithIdentifier(const QString &pattern, const QStringList &roots);
QStringList searchRoots();

} // namespace Mdfind
