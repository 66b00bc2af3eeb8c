#include "framework/ExceptionCodes.h"

#include "framework/ErrorTypes.h"
#include "framework/Win32Error.h"

namespace {
const HRESULT kUnknownExceptionCode = static_cast<HRESULT>(0xA0010001);
}

bool KnownExceptionCode(const CException* exception, HRESULT& code) {
    if (!exception) return false;
    if (exception->IsKindOf(RUNTIME_CLASS(CNotSupportedException))) {
        code = static_cast<HRESULT>(0x80070032);
    } else if (exception->IsKindOf(RUNTIME_CLASS(CMemoryException))) {
        code = E_OUTOFMEMORY;
    } else if (exception->IsKindOf(RUNTIME_CLASS(CInvalidArgException))) {
        code = E_INVALIDARG;
    } else if (auto ole = dynamic_cast<const COleException*>(exception)) {
        code = ole->m_sc;
    } else if (auto file = dynamic_cast<const CFileException*>(exception)) {
        code = HResultFromWin32(file->m_lOsError);
    } else if (auto windows = dynamic_cast<const CWindowsException*>(exception)) {
        code = static_cast<HRESULT>(windows->m_dwError | 0x10000000u);
    } else {
        return false;
    }
    return true;
}

HRESULT HResultFromException(const CException* exception) {
    HRESULT code = kUnknownExceptionCode;
    KnownExceptionCode(exception, code);
    return code;
}
