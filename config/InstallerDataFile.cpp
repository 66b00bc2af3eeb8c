#include <io.h>

#include <cstdio>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "config/InstallerDataSources.h"
#include "config/InstallerDataStore.h"
#include "framework/Win32Error.h"

namespace {
struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using ScopedFile = std::unique_ptr<FILE, FileCloser>;

// The whole content in text mode: CR LF arrives as LF and a 0x1A byte ends it.
HRESULT ReadTextContent(FILE* file, std::string& content) {
    // Text mode only shrinks the content, so the file's size is room enough
    // and the buffer is allocated once.
    long long bytes = _filelengthi64(_fileno(file));
    if (bytes < 0) return E_FAIL;
    if (static_cast<unsigned long long>(bytes) >= content.max_size()) return E_OUTOFMEMORY;
    try {
        content.reserve(static_cast<size_t>(bytes));
        char chunk[4096];
        size_t read;
        while ((read = std::fread(chunk, 1, sizeof(chunk), file)) > 0) content.append(chunk, read);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::length_error&) {
        return E_OUTOFMEMORY;
    }
    return std::ferror(file) ? HResultFromWin32(ERROR_READ_FAULT) : S_OK;
}
}  // namespace

HRESULT ReadInstallerDataFile(InstallerDataStore& store, const std::wstring& programPath) {
    if (programPath.empty()) return S_FALSE;
    std::wstring dataPath;
    try {
        dataPath = programPath + L".installer_data";
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    ScopedFile file(_wfopen(dataPath.c_str(), L"rt"));
    if (!file) return S_FALSE;
    std::string content;
    HRESULT hr = ReadTextContent(file.get(), content);
    file.reset();
    if (FAILED(hr)) return hr;
    // ParseUtf8 reads up to the first NUL, so embedded NULs end the content.
    hr = ParseInstallerDataUtf8(store, content.c_str());
    return hr == S_FALSE ? S_OK : hr;
}

bool LoadInstallerDataFile(InstallerDataStore& store, const std::wstring& programPath) {
    return ReadInstallerDataFile(store, programPath) == S_OK;
}
