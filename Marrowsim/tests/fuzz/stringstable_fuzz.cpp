// libFuzzer entry point for the strings-table reader. Build with
// -DMARROWBY_FUZZ=ON and clang in a build folder of its own, then run, for
// example:
//   mkdir -p /tmp/strings-corpus
//   build-fuzz/Marrowsim/tests/fuzz/stringstable_fuzz -max_total_time=300 \
//       -timeout=5 -rss_limit_mb=2048 -max_len=4096 \
//       -dict=Marrowsim/tests/fuzz/stringstable.dict \
//       /tmp/strings-corpus Marrowsim/tests/fuzz/corpus
// (new inputs go to the first folder, so the checked-in seeds stay as
// they are; add a seed there by hand when it finds something).
// A violation of the checks aborts with its description.
#include "stringstablecheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const auto violation = stringstablefuzz::check(input)) {
        std::fprintf(stderr, "strings table check failed: %s\n", violation->c_str());
        std::abort();
    }
    return 0;
}
