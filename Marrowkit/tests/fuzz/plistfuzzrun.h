// What every Marrowkit fuzz target does with libFuzzer's two entry points:
// an offscreen application for Qt's image classes, then each input through
// PlistFuzzCheck; a broken round trip is reported by aborting, as a crash is.
//
// Run with a bound on each input, for example
//   -rss_limit_mb=2048 -timeout=10 -max_len=65536
// (see CMakeLists.txt here). Everything runs on libFuzzer's one thread.
#pragma once

#include "plistfuzzcheck.h"

#include <cstddef>
#include <cstdint>

namespace PlistFuzzCheck {

void initializeFuzzing(int *argc, char ***argv);
int fuzzOne(Target target, const uint8_t *data, size_t size);

} // namespace PlistFuzzCheck
