#include "framework/ErrorTypes.h"

#include "framework/ResourceStrings.h"

IMPLEMENT_DYNAMIC(CMsiException, CException)
IMPLEMENT_DYNAMIC(CToolkitException, CException)
IMPLEMENT_DYNAMIC(CWindowsException, CException)

BOOL CMsiException::GetErrorMessage(LPWSTR buffer, UINT maxChars, PUINT helpContext) const {
    return CopyMessage(m_strMessage, buffer, maxChars, helpContext);
}

CToolkitException::CToolkitException(UINT messageId) {
    if (!LoadResourceString(messageId, m_strMessage) && !LoadResourceString(IDS_RESOURCE_EXCEPTION, m_strMessage)) {
        ThrowResourceException();
    }
}

CToolkitException::CToolkitException(const wchar_t* message) : m_strMessage(message ? message : L"Null message.") {}

BOOL CToolkitException::GetErrorMessage(LPWSTR buffer, UINT maxChars, PUINT helpContext) const {
    return CopyMessage(m_strMessage, buffer, maxChars, helpContext);
}
