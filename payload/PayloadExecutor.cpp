#include "payload/PayloadExecutor.h"

#include <new>

#include "framework/ExceptionCodes.h"
#include "framework/Exceptions.h"
#include "payload/PayloadDownloader.h"
#include "payload/SignatureVerification.h"
#include "services/PackedVersion.h"

IMPLEMENT_DYNAMIC(CPayloadExecutor, CObject)

namespace {
// Whatever happens in Run, the held files are let go when Execute ends.
struct ReleaseAtEnd {
    explicit ReleaseAtEnd(CPayloadExecutor& executor) : m_executor(executor) {}
    ~ReleaseAtEnd() { m_executor.ReleaseStaged(); }
    CPayloadExecutor& m_executor;
};
}  // namespace

HRESULT CPayloadExecutor::Prepare() {
    if (m_verified.IsHeld()) return S_OK;
    try {
        HRESULT hr = StagePayload();
        if (FAILED(hr)) ReleaseStaged();
        return hr;
    } catch (CException* e) {
        HRESULT hr = HResultFromException(e);
        e->Delete();
        ReleaseStaged();
        return hr;
    } catch (const std::bad_alloc&) {
        ReleaseStaged();
        return E_OUTOFMEMORY;
    }
}

HRESULT CPayloadExecutor::StagePayload() {
    m_strRunPath = m_strPayloadPath;
    return m_verified.HoldAndVerify(m_strPayloadPath, OwnsPayloadFile());
}

HRESULT CPayloadExecutor::Execute(IExecutorPage* page, const std::wstring& commandLine) {
    ReleaseAtEnd release(*this);
    HRESULT hr = Prepare();
    if (FAILED(hr)) return hr;
    try {
        // A Cancel answered while the file was checked stops here: nothing has run yet.
        if (page && page->IsCancelled()) return HRESULT_FROM_WIN32(ERROR_CANCELLED);
        hr = Run(page, commandLine);
        return FAILED(hr) ? hr : hr == S_FALSE ? S_FALSE : S_OK;
    } catch (CException* e) {
        hr = HResultFromException(e);
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
    if (SUCCEEDED(hr)) {
        m_strPayloadPath = path;
        m_bOwnDownload = true;
    }
    return hr;
}

HRESULT CPayloadExecutor::VerifySignature() { return ::VerifySignature(m_strPayloadPath); }

std::vector<std::wstring> SplitPayloadMessageClasses(const wchar_t* value) {
    std::vector<std::wstring> classes;
    if (value) SplitString(value, L";", classes);
    return classes;
}
