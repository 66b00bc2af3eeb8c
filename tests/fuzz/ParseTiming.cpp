// wrenstall-parse-timing KEYS FOLDER: the time to load installer data of KEYS
// lines "k<n>=v<n>" from a trailer at the end of a program file written in
// FOLDER, and of parsing the same text alone. Prints
// "KEYS keys: parse S s, trailer load S s, N entries". For bench/parse-benchmark.sh.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/InstallerDataSources.h"
#include "config/InstallerDataStore.h"

namespace {
double Seconds(LARGE_INTEGER start, LARGE_INTEGER end) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: wrenstall-parse-timing KEYS FOLDER\n");
        return 2;
    }
    const unsigned long keys = std::wcstoul(argv[1], nullptr, 10);
    std::string text;
    char line[48];
    for (unsigned long i = 0; i < keys; ++i) {
        std::snprintf(line, sizeof(line), "k%07lu=v%lu\r\n", i, i);
        text += line;
    }

    LARGE_INTEGER start, end;
    InstallerDataStore parsed;
    QueryPerformanceCounter(&start);
    HRESULT hr = parsed.ParseUtf8(text.c_str());
    QueryPerformanceCounter(&end);
    const double parseSeconds = Seconds(start, end);

    const std::wstring program = std::wstring(argv[2]) + L"\\timing.exe";
    std::string image = "MZ program image" + text;
    for (int i = 0; i < 4; ++i) image += static_cast<char>(text.size() >> (8 * i));
    image += "TWPL";
    FILE* file = _wfopen(program.c_str(), L"wb");
    if (!file) return 1;
    std::fwrite(image.data(), 1, image.size(), file);
    std::fclose(file);
    InstallerDataStore loaded;
    QueryPerformanceCounter(&start);
    HRESULT loadHr = LoadInstallerDataTrailer(loaded, program);
    QueryPerformanceCounter(&end);
    DeleteFileW(program.c_str());

    std::printf("%lu keys: parse %.3f s, trailer load %.3f s, %zu entries\n", keys, parseSeconds, Seconds(start, end),
                loaded.Entries().size());
    return hr == S_OK && loadHr == S_OK && loaded.Entries().size() == keys && parsed.Entries().size() == keys ? 0 : 1;
}
