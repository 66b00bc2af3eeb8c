// libFuzzer driver for the tag tool's parsing: the input is taken as a PE
// image (headers, certificate table, PKCS #7 signature, either trailer layout)
// and as a bare signature. Besides the sanitizers it checks what the tool
// promises: a trailer added in either layout reads back as added, is found in
// that layout, and comes out again to give back the image it was added to.
// With WRENSTALL_FUZZ_TIMING set, the slowest input's time is printed at exit.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../InstallerDataTag.h"
#include "../InstallerDataText.h"
#include "../LastSignerPath.h"

namespace {
// Text sizes up to this carry the attribute's lengths across the one- and
// two-octet length forms; the input's size picks one.
const size_t kTextSizes = 509;

std::chrono::steady_clock::duration g_slowest{};

void PrintSlowest() {
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(g_slowest).count();
    std::fprintf(stderr, "slowest input: %lld us\n", static_cast<long long>(micros));
}

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

void AddAndTakeBack(const std::vector<uint8_t>& image, const std::vector<uint8_t>& text, InstallerDataLayout layout) {
    std::vector<uint8_t> tagged = image;
    std::string error;
    if (!AddInstallerDataTag(tagged, text, layout, true, error)) {
        Require(tagged == image && !error.empty());
        return;
    }
    std::vector<uint8_t> data;
    Require(ReadInstallerDataTag(tagged, data, error) && data == text);
    InstallerDataLayout found;
    Require(FindInstallerDataLayout(tagged, found, error) && found == layout);
    Require(RemoveInstallerDataTag(tagged, error));
    std::vector<uint8_t> untagged = image;
    if (HasInstallerDataTag(untagged)) Require(RemoveInstallerDataTag(untagged, error));
    Require(tagged == untagged);
}

void Exercise(const std::vector<uint8_t>& image) {
    std::string error;
    InstallerDataLayout layout;
    FindInstallerDataLayout(image, layout, error);
    std::vector<uint8_t> data;
    ReadInstallerDataTag(image, data, error);
    std::vector<uint8_t> removed = image;
    if (!RemoveInstallerDataTag(removed, error)) Require(removed == image);
    CheckInstallerDataText(image, error);
    LastSignerPath path;
    ReadLastSignerPath(image, 0, image.size(), path, error);
    std::vector<uint8_t> text(1 + image.size() % kTextSizes, 'v');
    text[0] = '?';
    AddAndTakeBack(image, text, InstallerDataLayout::Appended);
    AddAndTakeBack(image, text, InstallerDataLayout::Strict);
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (std::getenv("WRENSTALL_FUZZ_TIMING")) std::atexit(PrintSlowest);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const auto start = std::chrono::steady_clock::now();
    Exercise(std::vector<uint8_t>(bytes, bytes + size));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    if (elapsed > g_slowest) g_slowest = elapsed;
    return 0;
}
