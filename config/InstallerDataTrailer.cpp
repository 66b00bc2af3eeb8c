#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "config/InstallerDataSources.h"
#include "config/InstallerDataStore.h"
#include "framework/ScopedHandles.h"
#include "framework/Win32Error.h"

namespace {
const char kTrailerMagic[4] = {'T', 'W', 'P', 'L'};
const size_t kTrailerFooterBytes = 8;  // length field + magic
}  // namespace

HRESULT LoadInstallerDataTrailer(InstallerDataStore& store, const std::wstring& programPath) {
    if (programPath.empty()) return E_INVALIDARG;
    ScopedHandle file(CreateFileW(programPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return FailureFromLastError();

    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size)) return FailureFromLastError();
    if (size.QuadPart >= 0x80000000LL) return E_OUTOFMEMORY;
    const size_t fileBytes = static_cast<size_t>(size.QuadPart);
    if (fileBytes < kTrailerFooterBytes) return S_FALSE;

    ScopedHandle mapping(CreateFileMappingW(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) return FailureFromLastError();
    ScopedMappedView view(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0));
    if (!view) return FailureFromLastError();

    // Only the footer and the text before it are touched.
    const auto* bytes = static_cast<const unsigned char*>(view.Get());
    const unsigned char* footer = bytes + fileBytes - kTrailerFooterBytes;
    if (std::memcmp(footer + 4, kTrailerMagic, sizeof(kTrailerMagic)) != 0) return S_FALSE;
    uint32_t length = static_cast<uint32_t>(footer[0]) | static_cast<uint32_t>(footer[1]) << 8 |
                      static_cast<uint32_t>(footer[2]) << 16 | static_cast<uint32_t>(footer[3]) << 24;
    if (length == 0) return S_FALSE;
    // A length reaching past the start of the file describes no trailer of ours.
    if (length > fileBytes - kTrailerFooterBytes) return S_FALSE;

    std::unique_ptr<char[]> text(new (std::nothrow) char[length + 1]);
    if (!text) return E_OUTOFMEMORY;
    std::memcpy(text.get(), footer - length, length);
    text[length] = '\0';
    return store.ParseUtf8(text.get());
}
