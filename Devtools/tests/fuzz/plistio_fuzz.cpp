// libFuzzer target for the stand-in's property-list readers: every input
// either fails to decode (with a reason) or decodes to a value that writes
// as XML and reads back unchanged. A crash, sanitizer report, hang (run with
// -timeout) or runaway memory (-rss_limit_mb) is a finding; so is a broken
// round trip, reported by aborting.
//
// Build and run: see Devtools/README.md. Every input's cost is bounded by the
// readers themselves (nesting, and an allowance for what a list may expand
// to), so -timeout only needs to allow for a loaded machine.
#include "plistroundtrip.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const auto problem = PlistRoundTrip::check(bytes)) {
        std::fprintf(stderr, "round trip failed: %s\n", problem->toUtf8().constData());
        std::abort();
    }
    return 0;
}
