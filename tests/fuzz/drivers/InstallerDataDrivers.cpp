// Installer data text in both encodings, the trailer of a program file and
// the server update's answer.
#include <windows.h>

#include <string>
#include <vector>

#include "FuzzTargets.h"
#include "config/InstallerDataAnswer.h"
#include "config/InstallerDataSources.h"
#include "config/InstallerDataStore.h"

namespace {
// What the program does with a store after loading: lookups and the
// argument block for the child installers.
void UseStore(const InstallerDataStore& store) {
    store.Get(L"upl");
    store.Get(L"secondOfferOrigin");
    wchar_t** block = nullptr;
    int count = 0;
    if (SUCCEEDED(store.BuildArgumentBlock(&block, &count))) {
        for (int i = 0; i < count; ++i) {
            volatile wchar_t first = block[i][0];
            (void)first;
        }
        LocalFree(block);
    }
}
}  // namespace

void FuzzInstallerDataUtf8(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    InstallerDataStore store;
    ParseInstallerDataUtf8(store, text.c_str());
    UseStore(store);
}

void FuzzInstallerDataUtf16(const uint8_t* data, size_t size) {
    std::wstring text;
    for (size_t i = 0; i + 1 < size; i += 2) text += static_cast<wchar_t>(data[i] | data[i + 1] << 8);
    InstallerDataStore store;
    ParseInstallerDataText(store, text.c_str());
    UseStore(store);
    // The debug value's lines merge on top of build arguments the same way.
    store.SetEntry(text, text);
}

void FuzzInstallerDataTrailer(const uint8_t* data, size_t size) {
    // The input is the end of a program file; a copy of exactly its size, so
    // that a read past either end is caught.
    std::vector<uint8_t> image(data, data + size);
    InstallerDataStore store;
    ReadInstallerDataTrailer(store, image.data(), image.size());
    UseStore(store);
}

void FuzzServerAnswer(const uint8_t* data, size_t size) {
    // First line: the Content-Type header; the rest: the body.
    size_t newline = 0;
    while (newline < size && data[newline] != '\n') ++newline;
    std::wstring contentType(data, data + newline);
    std::string body(reinterpret_cast<const char*>(data) + (newline < size ? newline + 1 : size),
                     newline < size ? size - newline - 1 : 0);
    InstallerDataStore store;
    store.Parse(L"old=1");
    ParseInstallerDataAnswer(store, contentType, body.c_str(), body.size());
    UseStore(store);
}
