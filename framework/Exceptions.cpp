#include "framework/Exceptions.h"

#include <cstdio>
#include <exception>
#include <new>

#include "framework/DiagnosticOutput.h"

#include "framework/ResourceStrings.h"
#include "framework/WinApp.h"

IMPLEMENT_DYNAMIC(CException, CObject)
IMPLEMENT_DYNAMIC(CSimpleException, CException)
IMPLEMENT_DYNAMIC(CMemoryException, CSimpleException)
IMPLEMENT_DYNAMIC(CResourceException, CSimpleException)
IMPLEMENT_DYNAMIC(CNotSupportedException, CSimpleException)
IMPLEMENT_DYNAMIC(CInvalidArgException, CException)
IMPLEMENT_DYNAMIC(COleException, CException)
IMPLEMENT_DYNAMIC(CFileException, CException)

namespace {
// Static instances: throwing them needs no allocation, deleting them does nothing.
CMemoryException g_memoryException;
CResourceException g_resourceException;
CNotSupportedException g_notSupportedException;

BOOL CopySystemMessage(DWORD code, LPWSTR buffer, UINT maxChars, PUINT helpContext) {
    if (!buffer || maxChars == 0) return FALSE;
    LPWSTR text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    if (length == 0 || !text) return FALSE;
    std::wstring message(text, length);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) message.pop_back();
    if (message.empty()) return FALSE;
    if (helpContext) *helpContext = 0;
    lstrcpynW(buffer, message.c_str(), static_cast<int>(maxChars));
    return TRUE;
}
}  // namespace

CMemoryException::CMemoryException() : CSimpleException(IDS_MEMORY_EXCEPTION) {}
CResourceException::CResourceException() : CSimpleException(IDS_RESOURCE_EXCEPTION) {}
CNotSupportedException::CNotSupportedException() : CSimpleException(IDS_NOT_SUPPORTED_EXCEPTION) {}

void CException::Delete() {
    if (m_bAutoDelete) delete this;
}

BOOL CException::GetErrorMessage(LPWSTR, UINT, PUINT) const { return FALSE; }

BOOL CException::CopyMessage(const std::wstring& message, LPWSTR buffer, UINT maxChars, PUINT helpContext) {
    if (!buffer || maxChars == 0) return FALSE;
    if (helpContext) *helpContext = 0;
    size_t count = message.size() < maxChars - 1 ? message.size() : maxChars - 1;
    message.copy(buffer, count);
    buffer[count] = L'\0';
    return TRUE;
}

int CException::ReportError(UINT type, UINT defaultMessageId) const {
    WCHAR message[512];
    std::wstring text;
    if (GetErrorMessage(message, ARRAYSIZE(message))) {
        text = message;
    } else {
        LoadResourceString(defaultMessageId ? defaultMessageId : IDP_INTERNAL_FAILURE, text);
    }
    return MessageBoxThroughApplication(text.c_str(), type, 0);
}

BOOL CSimpleException::GetErrorMessage(LPWSTR buffer, UINT maxChars, PUINT helpContext) const {
    std::wstring message;
    if (!LoadResourceString(m_nMessageId, message)) return FALSE;
    return CopyMessage(message, buffer, maxChars, helpContext);
}

BOOL CInvalidArgException::GetErrorMessage(LPWSTR buffer, UINT maxChars, PUINT helpContext) const {
    return CopySystemMessage(static_cast<DWORD>(E_INVALIDARG), buffer, maxChars, helpContext);
}

BOOL COleException::GetErrorMessage(LPWSTR buffer, UINT maxChars, PUINT helpContext) const {
    return CopySystemMessage(static_cast<DWORD>(m_sc), buffer, maxChars, helpContext);
}

BOOL CFileException::GetErrorMessage(LPWSTR buffer, UINT maxChars, PUINT helpContext) const {
    WCHAR system[512];
    if (!CopySystemMessage(static_cast<DWORD>(m_lOsError), system, ARRAYSIZE(system), nullptr)) return FALSE;
    std::wstring message = m_strFileName.empty() ? std::wstring(system) : m_strFileName + L": " + system;
    return CopyMessage(message, buffer, maxChars, helpContext);
}

void ThrowMemoryException() { throw &g_memoryException; }
void ThrowResourceException() { throw &g_resourceException; }
void ThrowNotSupportedException() { throw &g_notSupportedException; }

void ThrowInvalidArgException() {
    CInvalidArgException* e = new (std::nothrow) CInvalidArgException;
    if (!e) ThrowMemoryException();
    throw e;
}

void ThrowOleException(HRESULT sc) {
    if (sc == E_OUTOFMEMORY) ThrowMemoryException();
    COleException* e = new (std::nothrow) COleException(sc);
    if (!e) ThrowMemoryException();
    throw e;
}

void ThrowFileException(CFileException::Cause cause, LONG osError, const std::wstring& fileName) {
    CFileException* e = new (std::nothrow) CFileException(cause, osError, fileName);
    if (!e) ThrowMemoryException();
    throw e;
}

CException* CaptureCurrentException() noexcept {
    try {
        throw;
    } catch (CException* e) {
        return e ? e : &g_resourceException;
    } catch (const std::bad_alloc&) {
        return &g_memoryException;
    } catch (const std::exception& e) {
        char line[300];
        std::snprintf(line, sizeof(line), "Unexpected C++ exception: %.250s\n", e.what());
        WriteDiagnosticA(line);
    } catch (...) {
        WriteDiagnostic(L"Unexpected exception of unknown type\n");
    }
    COleException* unexpected = new (std::nothrow) COleException(E_UNEXPECTED);
    return unexpected ? static_cast<CException*>(unexpected) : &g_memoryException;
}

void ReportDestructorException(CException* e, const char* source, int line) noexcept {
    try {
        wchar_t message[512];
        wchar_t text[768];
        if (e && e->GetErrorMessage(message, ARRAYSIZE(message))) {
            swprintf(text, ARRAYSIZE(text), L"%ls (%hs:%d)\n%ls", L"Exception thrown in destructor", source, line, message);
        } else {
            swprintf(text, ARRAYSIZE(text), L"%ls (%hs:%d)", L"Exception thrown in destructor", source, line);
        }
        MessageBoxThroughApplication(text, MB_OK | MB_ICONERROR, 0);
    } catch (...) {
    }
    if (e) e->Delete();
}
