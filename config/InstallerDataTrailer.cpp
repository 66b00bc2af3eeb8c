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

HRESULT LocateInstallerDataTrailer(const unsigned char* image, size_t size, const char** text, size_t* length) {
    *text = nullptr;
    *length = 0;
    if (!image || size < kTrailerFooterBytes) return S_FALSE;
    const unsigned char* footer = image + size - kTrailerFooterBytes;
    if (std::memcmp(footer + 4, kTrailerMagic, sizeof(kTrailerMagic)) != 0) return S_FALSE;
    uint32_t textBytes = static_cast<uint32_t>(footer[0]) | static_cast<uint32_t>(footer[1]) << 8 |
                         static_cast<uint32_t>(footer[2]) << 16 | static_cast<uint32_t>(footer[3]) << 24;
    if (textBytes == 0) return S_FALSE;
    // A length reaching past the start of the file describes no trailer of ours.
    if (textBytes > size - kTrailerFooterBytes) return S_FALSE;
    *text = reinterpret_cast<const char*>(footer - textBytes);
    *length = textBytes;
    return S_OK;
}

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

    return ReadInstallerDataTrailer(store, static_cast<const unsigned char*>(view.Get()), fileBytes);
}

HRESULT ReadInstallerDataTrailer(InstallerDataStore& store, const unsigned char* image, size_t size) {
    // Only the footer and the text before it are touched.
    const char* source = nullptr;
    size_t length = 0;
    HRESULT hr = LocateInstallerDataTrailer(image, size, &source, &length);
    if (hr != S_OK) return hr;
    // The text is UTF-8 without NULs; one inside it (a UTF-16 text, say) would
    // silently cut the text short, so it is refused as a whole.
    if (std::memchr(source, '\0', length)) return HResultFromWin32(ERROR_INVALID_DATA);

    std::unique_ptr<char[]> text(new (std::nothrow) char[length + 1]);
    if (!text) return E_OUTOFMEMORY;
    std::memcpy(text.get(), source, length);
    text[length] = '\0';
    return ParseInstallerDataUtf8(store, text.get());
}
