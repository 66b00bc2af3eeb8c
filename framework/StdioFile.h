#pragma once
// Files of the framework: CFile, the interface, and CStdioFile on a C runtime
// stream. Failures raise CFileException with the OS error and the path.
// A file object is used by one thread at a time.
#include <windows.h>

#include <cstdio>
#include <string>

#include "framework/Exceptions.h"
#include "framework/RuntimeClass.h"

class CFile : public CObject {
    DECLARE_DYNAMIC(CFile)
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        modeCreate = 0x1000,
        typeText = 0x4000,
        typeBinary = 0x8000,
    };
    enum SeekPosition : UINT { begin = 0, current = 1, end = 2 };

    CFile() = default;
    ~CFile() override = default;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // The base raises "not supported" for everything; subclasses implement.
    virtual BOOL Open(LPCWSTR path, UINT flags, CFileException* error = nullptr);
    virtual UINT Read(void* buffer, UINT count);
    virtual void Write(const void* buffer, UINT count);
    virtual ULONGLONG Seek(LONGLONG offset, UINT from);
    virtual ULONGLONG GetLength() const;
    virtual void SetLength(ULONGLONG length);
    virtual ULONGLONG GetPosition() const;
    virtual void LockRange(ULONGLONG position, ULONGLONG count);
    virtual void UnlockRange(ULONGLONG position, ULONGLONG count);
    virtual CFile* Duplicate() const;
    virtual void Close();

    const std::wstring& GetFilePath() const { return m_strFileName; }

protected:
    std::wstring m_strFileName;
};

class CStdioFile : public CFile {
    DECLARE_DYNAMIC(CStdioFile)
public:
    CStdioFile() = default;
    ~CStdioFile() override;

    BOOL Open(LPCWSTR path, UINT flags, CFileException* error = nullptr) override;
    UINT Read(void* buffer, UINT count) override;
    void Write(const void* buffer, UINT count) override;
    ULONGLONG Seek(LONGLONG offset, UINT from) override;
    ULONGLONG GetLength() const override;
    ULONGLONG GetPosition() const override;
    void Close() override;
    // One line without its line end; false at the end of the file.
    virtual bool ReadString(std::wstring& line);
    virtual void WriteString(const wchar_t* text);

protected:
    // Raises a CFileException for the C runtime's last error on this file.
    [[noreturn]] void ThrowLastRuntimeError(CFileException::Cause cause) const;

    FILE* m_pStream = nullptr;
};
