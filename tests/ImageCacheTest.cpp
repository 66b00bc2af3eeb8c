// Type-34 images: the shipped ones decode, a 3 MiB one needs a bigger buffer,
// and broken ones (lying headers, damaged streams) give no bitmap.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework/ResourceBytes.h"
#include "resources/resource.h"
#include "ui/BitmapFile.h"
#include "ui/ImageCache.h"

namespace {
SIZE BitmapSize(HBITMAP bitmap, WORD* depth = nullptr) {
    BITMAP info = {};
    if (!bitmap || !GetObjectW(bitmap, sizeof(info), &info)) return {0, 0};
    if (depth) *depth = info.bmBitsPixel;
    return {info.bmWidth, info.bmHeight};
}

TEST(ImageCache, ShippedImagesHaveTheirSizes) {
    struct Case {
        UINT id;
        LONG width, height;
        WORD depth;
    } cases[] = {{500, 492, 63, 24}, {501, 164, 314, 24}, {512, 98, 19, 32}, {514, 219, 35, 32}};
    for (const Case& c : cases) {
        WORD depth = 0;
        SIZE size = BitmapSize(GetImage(c.id), &depth);
        EXPECT_EQ(size.cx, c.width) << c.id;
        EXPECT_EQ(size.cy, c.height) << c.id;
        EXPECT_EQ(depth, c.depth) << c.id;
    }
}

TEST(ImageCache, EachImageIsDecodedOnce) {
    HBITMAP first = GetImage(500);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetImage(500), first);
    EXPECT_EQ(GetImage(4711), nullptr);
}

TEST(ImageCache, ThreeMebibyteImageLoads) {
    SIZE size = BitmapSize(GetImage(960));
    EXPECT_EQ(size.cx, 1024);
    EXPECT_EQ(size.cy, 1024);
}

TEST(ImageCache, BrokenImagesGiveNothing) {
    // 950 height lies, 951 pixel offset past the end, 952 damaged stream, 953 no bzip2 at all.
    for (UINT id : {950u, 951u, 952u, 953u}) {
        ASSERT_NE(LockResourceBytes(MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(RT_COMPRESSED_IMAGE)), nullptr) << id;
        EXPECT_EQ(GetImage(id), nullptr) << id;
        EXPECT_EQ(GetImage(id), nullptr) << id << " (cached failure)";
    }
}

TEST(ImageCache, DecompressionRejectsGarbage) {
    std::vector<BYTE> bytes;
    const char garbage[] = "BZh9 certainly not a block";
    EXPECT_TRUE(FAILED(DecompressImage(garbage, sizeof(garbage), bytes)));
    EXPECT_TRUE(bytes.empty());
    EXPECT_TRUE(FAILED(DecompressImage(nullptr, 0, bytes)));
}

// A 2 x 2, 24-bit bitmap file, to be spoiled field by field.
std::vector<BYTE> SmallBitmapFile() {
    std::vector<BYTE> file(14 + 40 + 16, 0);
    file[0] = 'B';
    file[1] = 'M';
    DWORD size = static_cast<DWORD>(file.size()), offset = 54;
    std::memcpy(&file[2], &size, 4);
    std::memcpy(&file[10], &offset, 4);
    BITMAPINFOHEADER header = {};
    header.biSize = 40;
    header.biWidth = 2;
    header.biHeight = 2;
    header.biPlanes = 1;
    header.biBitCount = 24;
    std::memcpy(&file[14], &header, sizeof(header));
    return file;
}

template <typename T>
void Put(std::vector<BYTE>& file, size_t offset, T value) {
    std::memcpy(&file[offset], &value, sizeof(value));
}

TEST(BitmapFile, Validation) {
    struct Case {
        const char* name;
        void (*spoil)(std::vector<BYTE>&);
        bool valid;
    } cases[] = {
        {"intact", [](std::vector<BYTE>&) {}, true},
        {"not BM", [](std::vector<BYTE>& f) { f[1] = 'X'; }, false},
        {"file size beyond the bytes", [](std::vector<BYTE>& f) { Put<DWORD>(f, 2, 71); }, false},
        {"pixel offset beyond the bytes", [](std::vector<BYTE>& f) { Put<DWORD>(f, 10, 0xFFFFFFF0u); }, false},
        {"pixel offset inside the info header", [](std::vector<BYTE>& f) { Put<DWORD>(f, 10, 30); }, false},
        {"info header larger than the file", [](std::vector<BYTE>& f) { Put<DWORD>(f, 14, 0x7FFFFFFF); }, false},
        {"info header too small", [](std::vector<BYTE>& f) { Put<DWORD>(f, 14, 12); }, false},
        {"more rows than bytes", [](std::vector<BYTE>& f) { Put<LONG>(f, 22, 3); }, false},
        {"top-down rows", [](std::vector<BYTE>& f) { Put<LONG>(f, 22, -2); }, true},
        {"zero width", [](std::vector<BYTE>& f) { Put<LONG>(f, 18, 0); }, false},
        {"huge width", [](std::vector<BYTE>& f) { Put<LONG>(f, 18, 0x40000000); }, false},
        {"odd depth", [](std::vector<BYTE>& f) { Put<WORD>(f, 28, 7); }, false},
        {"compressed", [](std::vector<BYTE>& f) { Put<DWORD>(f, 30, BI_RLE8); }, false},
        {"palette that does not fit", [](std::vector<BYTE>& f) { Put<WORD>(f, 28, 8); }, false},
        {"truncated", [](std::vector<BYTE>& f) { f.resize(60); }, false},
    };
    for (const Case& c : cases) {
        std::vector<BYTE> file = SmallBitmapFile();
        c.spoil(file);
        BitmapFileLayout layout;
        HRESULT hr = ValidateBitmapFile(file.data(), file.size(), layout);
        EXPECT_EQ(SUCCEEDED(hr), c.valid) << c.name;
        if (c.valid) {
            HBITMAP bitmap = CreateBitmapFromFile(layout);
            EXPECT_NE(bitmap, nullptr) << c.name;
            if (bitmap) DeleteObject(bitmap);
        } else {
            EXPECT_EQ(layout.pixels, nullptr) << c.name;
        }
    }
}
}  // namespace
