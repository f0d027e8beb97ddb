// libFuzzer driver; built with -DHORALET_FUZZ=ON (clang), run by scripts/fuzz.sh.
#include "FuzzEntries.h"

#include <cstdio>
#include <cstdlib>

// Each input reads up to 100,000 playlist items: recording where each of their allocations
// was made would be most of the time. A finding replayed by test_fuzz_inputs under the
// sanitizer build shows those places in full.
extern "C" const char *__asan_default_options() {
    return "malloc_context_size=0";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (const std::string failure = FuzzEntries::taskStore(data, size); !failure.empty()) {
        std::fprintf(stderr, "fuzz_task_store: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
