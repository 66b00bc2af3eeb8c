// unpack-probe IN OUT: decompresses the bzip2 file IN into OUT with a bare
// BZ2_bzRead loop on the program's libbzip2 and the C runtime's streams, the
// same layers and 64 KiB blocks the extraction uses, and nothing else.
#include <windows.h>

#include <bzlib.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>

namespace {
const int kBlockBytes = 65536;

struct CloseStream {
    void operator()(FILE* stream) const { std::fclose(stream); }
};
using ScopedStream = std::unique_ptr<FILE, CloseStream>;

int Fail(const wchar_t* what, int code, const wchar_t* path) {
    std::fwprintf(stderr, L"unpack-probe: %ls failed with %d: %ls\n", what, code, path);
    return 1;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fwprintf(stderr, L"usage: unpack-probe IN OUT\n");
        return 2;
    }
    ScopedStream input(_wfopen(argv[1], L"rb"));
    if (!input) return Fail(L"opening", errno, argv[1]);
    ScopedStream output(_wfopen(argv[2], L"wb"));
    if (!output) return Fail(L"creating", errno, argv[2]);
    std::unique_ptr<char[]> block(new (std::nothrow) char[kBlockBytes]);
    if (!block) return Fail(L"allocating the block", BZ_MEM_ERROR, argv[1]);

    int bzipError = BZ_OK;
    BZFILE* reader = BZ2_bzReadOpen(&bzipError, input.get(), 0, 0, nullptr, 0);
    if (bzipError != BZ_OK) {
        if (reader) BZ2_bzReadClose(&bzipError, reader);
        return Fail(L"BZ2_bzReadOpen", bzipError, argv[1]);
    }
    unsigned long long total = 0;
    while (bzipError == BZ_OK) {
        int read = BZ2_bzRead(&bzipError, reader, block.get(), kBlockBytes);
        if (bzipError != BZ_OK && bzipError != BZ_STREAM_END) break;
        if (read > 0 && std::fwrite(block.get(), 1, static_cast<size_t>(read), output.get()) != static_cast<size_t>(read)) {
            int closeError;
            BZ2_bzReadClose(&closeError, reader);
            return Fail(L"writing", errno, argv[2]);
        }
        total += static_cast<unsigned long long>(read);
    }
    int result = bzipError;
    BZ2_bzReadClose(&bzipError, reader);
    if (result != BZ_STREAM_END) return Fail(L"BZ2_bzRead", result, argv[1]);
    if (std::fclose(output.release()) != 0) return Fail(L"closing", errno, argv[2]);
    std::wprintf(L"%llu bytes\n", total);
    return 0;
}
