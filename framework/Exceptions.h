#pragma once
// The exception family. Exceptions are created on the heap, thrown by pointer
// and released by the catcher with Delete(), which leaves the static
// out-of-memory, resource and not-supported instances alone. They carry no
// thread-bound state, so a catcher may pass one to another thread.
#include <windows.h>

#include <string>

#include "framework/RuntimeClass.h"

class CException : public CObject {
    DECLARE_DYNAMIC(CException)
public:
    // Releases a heap exception; does nothing for a static one.
    void Delete();

    // Copies the message into buffer (cut to maxChars, always NUL-terminated).
    // FALSE when there is no message or no room; helpContext is set to 0 when asked.
    virtual BOOL GetErrorMessage(LPWSTR buffer, UINT maxChars, PUINT helpContext = nullptr) const;
    // Shows the message through the application's message box; defaultMessageId
    // is used when the exception has no message of its own.
    virtual int ReportError(UINT type = MB_OK, UINT defaultMessageId = 0) const;

protected:
    explicit CException(bool autoDelete = true) : m_bAutoDelete(autoDelete) {}
    ~CException() override = default;
    // Shared by subclasses whose message is a plain text.
    static BOOL CopyMessage(const std::wstring& message, LPWSTR buffer, UINT maxChars, PUINT helpContext);

private:
    bool m_bAutoDelete;
};

// Exceptions whose message is a framework string-table entry; thrown as static instances.
class CSimpleException : public CException {
    DECLARE_DYNAMIC(CSimpleException)
public:
    BOOL GetErrorMessage(LPWSTR buffer, UINT maxChars, PUINT helpContext = nullptr) const override;

protected:
    CSimpleException(UINT messageId) : CException(false), m_nMessageId(messageId) {}

private:
    UINT m_nMessageId;
};

class CMemoryException : public CSimpleException {
    DECLARE_DYNAMIC(CMemoryException)
public:
    CMemoryException();
};

class CResourceException : public CSimpleException {
    DECLARE_DYNAMIC(CResourceException)
public:
    CResourceException();
};

class CNotSupportedException : public CSimpleException {
    DECLARE_DYNAMIC(CNotSupportedException)
public:
    CNotSupportedException();
};

class CInvalidArgException : public CException {
    DECLARE_DYNAMIC(CInvalidArgException)
public:
    BOOL GetErrorMessage(LPWSTR buffer, UINT maxChars, PUINT helpContext = nullptr) const override;
};

// A failure HRESULT met by a string or container routine.
class COleException : public CException {
    DECLARE_DYNAMIC(COleException)
public:
    explicit COleException(HRESULT sc) : m_sc(sc) {}
    BOOL GetErrorMessage(LPWSTR buffer, UINT maxChars, PUINT helpContext = nullptr) const override;
    HRESULT m_sc;
};

// A failed file operation: the OS error code and the file involved.
class CFileException : public CException {
    DECLARE_DYNAMIC(CFileException)
public:
    enum Cause {
        none = 0, genericException = 1, fileNotFound = 2, badPath = 3, tooManyOpenFiles = 4, accessDenied = 5,
        invalidFile = 6, removeCurrentDir = 7, directoryFull = 8, badSeek = 9, hardIO = 10, sharingViolation = 11,
        lockViolation = 12, diskFull = 13, endOfFile = 14
    };
    CFileException(Cause cause, LONG osError, std::wstring fileName = {})
        : m_cause(cause), m_lOsError(osError), m_strFileName(std::move(fileName)) {}
    BOOL GetErrorMessage(LPWSTR buffer, UINT maxChars, PUINT helpContext = nullptr) const override;
    Cause m_cause;
    LONG m_lOsError;
    std::wstring m_strFileName;
};

[[noreturn]] void ThrowMemoryException();
[[noreturn]] void ThrowResourceException();
[[noreturn]] void ThrowNotSupportedException();
[[noreturn]] void ThrowInvalidArgException();
// E_OUTOFMEMORY raises the out-of-memory error; any other failure a COleException.
[[noreturn]] void ThrowOleException(HRESULT sc);
[[noreturn]] void ThrowFileException(CFileException::Cause cause, LONG osError, const std::wstring& fileName = {});

// Call only inside a catch block: the exception being handled as an object of
// the family, so that every escape can travel the way errors travel. A C++
// std::bad_alloc becomes the out-of-memory error, any other C++ exception an
// E_UNEXPECTED COleException (its text goes to the diagnostic sink). Never raises.
CException* CaptureCurrentException() noexcept;

// For a destructor that caught e: shows "Exception thrown in destructor" with
// the source name, line and message, then deletes e. Never raises.
void ReportDestructorException(CException* e, const char* source, int line) noexcept;

// Framework string ids used by the exceptions and the generic error texts.
enum : UINT {
    IDS_MEMORY_EXCEPTION = 61473,
    IDS_RESOURCE_EXCEPTION = 61474,
    IDS_NOT_SUPPORTED_EXCEPTION = 61475,
    IDP_INTERNAL_FAILURE = 61704,
    IDP_COMMAND_FAILURE = 61705,
};
