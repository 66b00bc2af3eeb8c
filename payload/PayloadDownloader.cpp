#include "payload/PayloadDownloader.h"

#include <cwctype>
#include <memory>
#include <new>

#include "framework/ExceptionCodes.h"
#include "framework/ComPtr.h"
#include "framework/Win32Error.h"
#include "http/UrlParts.h"
#include "payload/BzFile.h"

IMPLEMENT_DYNAMIC(CPayloadDownloader, CObject)
IMPLEMENT_DYNAMIC(CPlainDownloader, CPayloadDownloader)
IMPLEMENT_DYNAMIC(CBz2Downloader, CPayloadDownloader)

namespace {
const wchar_t kTemporaryPrefix[] = L"twu";

// A failed download leaves nothing behind in the temporary folder.
void RemoveFiles(std::initializer_list<std::wstring> paths) {
    for (const std::wstring& path : paths) {
        if (!path.empty()) DeleteFileW(path.c_str());
    }
}
}  // namespace

bool IsBzip2Url(const wchar_t* url) {
    WinHTTP::UrlParts parts;
    std::wstring path;
    if (url && WinHTTP::SplitUrl(url, parts)) path = parts.path;
    size_t dot = path.rfind(L'.');
    std::wstring extension = dot == std::wstring::npos ? path : path.substr(dot);
    for (wchar_t& c : extension) c = static_cast<wchar_t>(std::towlower(c));
    return extension == L".bz2";
}

HRESULT DownloadToTemporaryFile(DownloadProgressCallback callback, void* context, const wchar_t* url,
                                std::wstring& path) {
    ComPtr<IStream> stream;
    HRESULT hr = CreateTempFileStream(kTemporaryPrefix, stream.Receive(), path);
    if (FAILED(hr)) return hr;
    return DownloadToStream(url, stream.Get(), callback, context);  // the stream closes the file on release
}

HRESULT CPlainDownloader::Download(DownloadProgressCallback callback, void* context, const wchar_t* url,
                                   std::wstring& path) {
    std::wstring temporary;
    try {
        HRESULT hr = DownloadToTemporaryFile(callback, context, url, temporary);
        if (FAILED(hr)) {
            RemoveFiles({temporary});
            return hr;
        }
        std::wstring final = temporary + L".exe";
        if (!MoveFileW(temporary.c_str(), final.c_str())) {
            hr = FailureFromLastError();
            RemoveFiles({temporary});
            return hr;
        }
        path = final;
        return hr;
    } catch (CException* e) {
        HRESULT hr = HResultFromException(e);
        e->Delete();
        RemoveFiles({temporary});
        return hr;
    } catch (const std::bad_alloc&) {
        RemoveFiles({temporary});
        return E_OUTOFMEMORY;
    }
}

HRESULT CBz2Downloader::Download(DownloadProgressCallback callback, void* context, const wchar_t* url,
                                 std::wstring& path) {
    std::wstring temporary;
    std::wstring final;
    try {
        HRESULT hr = DownloadToTemporaryFile(callback, context, url, temporary);
        if (FAILED(hr)) {
            RemoveFiles({temporary});
            return hr;
        }
        final = temporary + L".msi";
        // The copy stops when the download's callback does (a cancelled wizard).
        DecompressFile(temporary, final, [callback, context](ULONGLONG, ULONGLONG compressedSize) -> HRESULT {
            return callback ? callback(compressedSize, compressedSize, 100, context) : S_OK;
        }, m_nLimit);
        DeleteFileW(temporary.c_str());
        path = final;
        return hr;
    } catch (CException* e) {
        HRESULT hr = HResultFromException(e);
        e->Delete();
        RemoveFiles({temporary, final});
        return hr;
    } catch (const std::bad_alloc&) {
        RemoveFiles({temporary, final});
        return E_OUTOFMEMORY;
    }
}
