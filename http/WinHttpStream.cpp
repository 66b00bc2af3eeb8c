#include "http/WinHttpStream.h"

namespace WinHTTP {

CWinHttpStream::CWinHttpStream(IUnknown* request) : m_request(request) {
    if (request) request->AddRef();
}

HRESULT CWinHttpStream::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISequentialStream) || IsEqualIID(iid, IID_IStream)) {
        *object = static_cast<IStream*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT CWinHttpStream::Read(void* buffer, ULONG count, ULONG* read) {
    Lock lock(*this);
    ComPtr<IWinHttpRequestEx> request;
    if (!m_request || FAILED(m_request->QueryInterface(IID_IWinHttpRequestEx, request.ReceiveVoid()))) {
        return E_NOTIMPL;
    }
    return request->ReadData(buffer, count, read);
}

HRESULT CWinHttpStream::Clone(IStream** clone) {
    if (!clone) return E_POINTER;
    *clone = nullptr;
    return E_NOTIMPL;
}

}  // namespace WinHTTP
