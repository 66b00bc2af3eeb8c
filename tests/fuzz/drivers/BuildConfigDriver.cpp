// The build configuration resource image.
#include <windows.h>

#include <vector>

#include "FuzzTargets.h"
#include "config/BuildConfig.h"

void FuzzBuildConfig(const uint8_t* data, size_t size) {
    std::vector<uint8_t> image(data, data + size);
    BuildConfig config;
    config.ParseResource(image.data(), image.size());
    config.Get(L"PageOrder");
    for (const auto& entry : config.Entries()) {
        volatile size_t length = entry.first.size() + entry.second.size();
        (void)length;
    }
}
