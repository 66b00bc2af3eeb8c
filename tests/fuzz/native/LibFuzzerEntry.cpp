// libFuzzer's entry for one target of FuzzTargets.h, chosen at build time.
// At exit it prints the slowest input's time, which libFuzzer itself only
// reports in whole seconds.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "drivers/FuzzTargets.h"

namespace {
double g_slowestSeconds = 0;

void PrintSlowest() { std::fprintf(stderr, "slowest input: %.3f ms\n", g_slowestSeconds * 1000); }
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::atexit(PrintSlowest);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto start = std::chrono::steady_clock::now();
    WRENSTALL_FUZZ_TARGET(data, size);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (seconds > g_slowestSeconds) g_slowestSeconds = seconds;
    return 0;
}
