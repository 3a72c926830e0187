// libFuzzer target: see plistfuzzcheck.h for what each input must satisfy.
#include "plistfuzzrun.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    PlistFuzzCheck::initializeFuzzing(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return PlistFuzzCheck::fuzzOne(PlistFuzzCheck::Target::BinaryPropertyList, data, size);
}
