#include "ui/ImageCache.h"

#include <bzlib.h>

#include <climits>
#include <cwchar>
#include <map>

#include "framework/DiagnosticOutput.h"
#include "framework/ResourceBytes.h"
#include "resources/resource.h"
#include "ui/BitmapFile.h"

namespace {
const size_t kFirstImageBuffer = 1u << 20;

// Keyed by the address of the resource's data, which stays put while the
// program runs. A null bitmap records an image that failed to decode.
class ImageCache {
public:
    ImageCache() = default;
    ~ImageCache() {
        for (auto& entry : m_bitmaps) {
            if (entry.second) DeleteObject(entry.second);
        }
    }
    ImageCache(const ImageCache&) = delete;
    ImageCache& operator=(const ImageCache&) = delete;

    HBITMAP Get(UINT id) {
        const void* data = LockResourceBytes(MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(RT_COMPRESSED_IMAGE));
        if (!data) return nullptr;
        auto found = m_bitmaps.find(data);
        if (found != m_bitmaps.end()) return found->second;
        DWORD size = GetResourceByteCount(MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(RT_COMPRESSED_IMAGE));
        HBITMAP bitmap = nullptr;
        HRESULT hr = DecodeCompressedImage(data, size, bitmap);
        if (FAILED(hr)) {
            wchar_t line[120];
            std::swprintf(line, ARRAYSIZE(line), L"Image resource %u of type %u could not be decoded (0x%08X)\n", id,
                          static_cast<unsigned>(RT_COMPRESSED_IMAGE), static_cast<unsigned>(hr));
            WriteDiagnostic(line);
        }
        m_bitmaps[data] = bitmap;
        return bitmap;
    }

private:
    std::map<const void*, HBITMAP> m_bitmaps;
};

ImageCache& TheImageCache() {
    static ImageCache cache;
    return cache;
}
}  // namespace

HRESULT DecompressImage(const void* data, size_t size, std::vector<BYTE>& bytes) {
    bytes.clear();
    if (!data || size == 0 || size > UINT_MAX) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    for (size_t capacity = kFirstImageBuffer; capacity <= kLargestDecompressedImage; capacity *= 2) {
        try {
            bytes.resize(capacity);
        } catch (...) {
            bytes.clear();
            return E_OUTOFMEMORY;
        }
        unsigned int length = static_cast<unsigned int>(capacity);
        int result = BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(bytes.data()), &length,
                                                static_cast<char*>(const_cast<void*>(data)),
                                                static_cast<unsigned int>(size), 0, 0);
        if (result == BZ_OK) {
            bytes.resize(length);
            bytes.shrink_to_fit();
            return S_OK;
        }
        if (result != BZ_OUTBUFF_FULL) break;
    }
    bytes.clear();
    return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
}

HRESULT DecodeCompressedImage(const void* data, size_t size, HBITMAP& bitmap) {
    bitmap = nullptr;
    std::vector<BYTE> bytes;
    HRESULT hr = DecompressImage(data, size, bytes);
    if (FAILED(hr)) return hr;
    BitmapFileLayout layout;
    hr = ValidateBitmapFile(bytes.data(), bytes.size(), layout);
    if (FAILED(hr)) return hr;
    bitmap = CreateBitmapFromFile(layout);
    return bitmap ? S_OK : E_OUTOFMEMORY;
}

HBITMAP GetImage(UINT id) { return TheImageCache().Get(id); }
