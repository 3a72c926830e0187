// A whole developer world under the current HOME, for demos, tests and
// benchmarks: two Xcodes in ~/Applications (Xcode.app 8.0, selected, and
// Xcode-7.3.1.app), a device set with phones, pads, watches and TVs, and apps
// built as real bundles and installed with the same logic as
// `simctl install`.
//
//   devtools sample-world                       the curated world (below)
//   devtools sample-world --devices N --apps M  N devices with M apps each
#pragma once

#include <QStringList>

namespace WorldMaker {

int run(const QStringList &arguments);
bool makeSampleWorld(QString *error);
bool makeLargeWorld(int devices, int appsPerDevice, QString *error);

} // namespace WorldMaker
