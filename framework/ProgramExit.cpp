#include "framework/ProgramExit.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace {
std::vector<void (*)()>& Cleanups() {
    static std::vector<void (*)()> cleanups;
    return cleanups;
}
}  // namespace

void AddExitCleanup(void (*cleanup)()) {
    auto& cleanups = Cleanups();
    if (std::find(cleanups.begin(), cleanups.end(), cleanup) != cleanups.end()) return;
    try {
        cleanups.push_back(cleanup);
    } catch (...) {
        // Without memory the cleanup cannot be remembered; the owners' destructors still run on a normal exit.
    }
}

void ExitProgram(unsigned int exitCode) {
    auto& cleanups = Cleanups();
    for (auto it = cleanups.rbegin(); it != cleanups.rend(); ++it) (*it)();
    ExitProcess(exitCode);
}
