#include "payload/PayloadExecutor.h"

#include <new>

#include "framework/ExceptionCodes.h"
#include "framework/Exceptions.h"
#include "payload/PayloadDownloader.h"
#include "payload/SignatureVerification.h"
#include "payload/VerifiedFile.h"
#include "services/PackedVersion.h"

IMPLEMENT_DYNAMIC(CPayloadExecutor, CObject)

HRESULT CPayloadExecutor::Execute(IExecutorPage* page, const std::wstring& commandLine) {
    try {
        m_strRunPath = StagePayload();
        CVerifiedFile verified;
        HRESULT hr = verified.HoldAndVerify(m_strRunPath);
        if (FAILED(hr)) return hr;
        // A Cancel answered while the file was checked stops here: nothing has run yet.
        if (page && page->IsCancelled()) return HRESULT_FROM_WIN32(ERROR_CANCELLED);
        hr = Run(page, commandLine);
        return FAILED(hr) ? hr : hr == S_FALSE ? S_FALSE : S_OK;
    } catch (CException* e) {
        HRESULT hr = HResultFromException(e);
        e->Delete();
        return hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CPayloadExecutor::Download(DownloadProgressCallback callback, void* context, const wchar_t* url) {
    CBz2Downloader bzip2;
    CPlainDownloader plain;
    CPayloadDownloader& downloader = IsBzip2Url(url) ? static_cast<CPayloadDownloader&>(bzip2) : plain;
    std::wstring path;
    HRESULT hr = downloader.Download(callback, context, url, path);
    if (SUCCEEDED(hr)) m_strPayloadPath = path;
    return hr;
}

HRESULT CPayloadExecutor::VerifySignature() { return ::VerifySignature(m_strPayloadPath); }

std::vector<std::wstring> SplitPayloadMessageClasses(const wchar_t* value) {
    std::vector<std::wstring> classes;
    if (value) SplitString(value, L";", classes);
    return classes;
}
