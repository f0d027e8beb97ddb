// libFuzzer driver; built with -DHORALET_FUZZ=ON (clang), run by scripts/fuzz.sh.
#include "FuzzEntries.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (const std::string failure = FuzzEntries::snapcast(data, size); !failure.empty()) {
        std::fprintf(stderr, "fuzz_snapcast: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
