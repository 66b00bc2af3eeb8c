#pragma once
// Downloaders fetch the payload into a file of the user's temporary folder
// in the form its executor runs: CPlainDownloader keeps the bytes and adds
// ".exe", CBz2Downloader decompresses a bzip2 body into an ".msi" file. They
// hold no state; one is made per download on the controller thread.
#include <windows.h>

#include <string>

#include "framework/RuntimeClass.h"
#include "http/DownloadToStream.h"
#include "payload/BzFile.h"

class CPayloadDownloader : public CObject {
    DECLARE_DYNAMIC(CPayloadDownloader)
public:
    // On success path holds the finished file. Errors are returned, never raised.
    virtual HRESULT Download(DownloadProgressCallback callback, void* context, const wchar_t* url,
                             std::wstring& path) = 0;
};

class CPlainDownloader : public CPayloadDownloader {
    DECLARE_DYNAMIC(CPlainDownloader)
public:
    HRESULT Download(DownloadProgressCallback callback, void* context, const wchar_t* url, std::wstring& path) override;
};

class CBz2Downloader : public CPayloadDownloader {
    DECLARE_DYNAMIC(CBz2Downloader)
public:
    // limit: the most decompressed bytes accepted (see kMaxDecompressedBytes).
    explicit CBz2Downloader(ULONGLONG limit = kMaxDecompressedBytes) : m_nLimit(limit) {}
    HRESULT Download(DownloadProgressCallback callback, void* context, const wchar_t* url, std::wstring& path) override;

private:
    ULONGLONG m_nLimit;
};

// True when the URL's path (without query or fragment) ends in ".bz2", in any letter case.
bool IsBzip2Url(const wchar_t* url);

// Downloads url into a new temporary file ("twu" prefix); path gets its name.
HRESULT DownloadToTemporaryFile(DownloadProgressCallback callback, void* context, const wchar_t* url,
                                std::wstring& path);
