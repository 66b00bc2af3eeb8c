#pragma once
// The program's own exception types. Heap objects, thrown by pointer, deleted
// by the catcher with Delete(); they may be deleted on another thread.
#include <string>

#include "framework/Exceptions.h"

// An installer-service message that ends the installation.
class CMsiException : public CException {
    DECLARE_DYNAMIC(CMsiException)
public:
    enum Level : int { FatalExit = 0, Error = 1, Warning = 2 };
    CMsiException() = default;
    CMsiException(std::wstring message, int code) : m_strMessage(std::move(message)), m_nCode(code) {}
    BOOL GetErrorMessage(LPWSTR buffer, UINT maxChars, PUINT helpContext = nullptr) const override;

    std::wstring m_strMessage;
    int m_nCode = 0;  // the level of the installer-service message
};

// A broken installer: configuration or resources that cannot be used.
class CToolkitException : public CException {
    DECLARE_DYNAMIC(CToolkitException)
public:
    // The string in the user's language; string 61474 when it is missing, and
    // a resource error when that is missing too.
    explicit CToolkitException(UINT messageId);
    // "Null message." stands in for a null text.
    explicit CToolkitException(const wchar_t* message);
    BOOL GetErrorMessage(LPWSTR buffer, UINT maxChars, PUINT helpContext = nullptr) const override;

    std::wstring m_strMessage;
};

// A Win32 failure; recognised by the handlers, raised by no operation yet.
class CWindowsException : public CException {
    DECLARE_DYNAMIC(CWindowsException)
public:
    explicit CWindowsException(DWORD errorCode, DWORD extra = 0) : m_dwError(errorCode), m_dwExtra(extra) {}

    DWORD m_dwError;
    DWORD m_dwExtra;
};
