#pragma once
// CBzFile: the decompressed bytes of a bzip2 file through the framework's
// file interface, decompressed by libbzip2 straight into the caller's buffer.
// Only the first bzip2 stream of a file is read. Read-only: seeking, lengths,
// locking, duplication and line operations raise "not supported".
// Used by one thread at a time.
#include <bzlib.h>

#include "framework/StdioFile.h"

class CBzFile : public CStdioFile {
    DECLARE_DYNAMIC(CBzFile)
public:
    CBzFile() = default;
    // Opens path for reading; raises a CFileException when it cannot.
    explicit CBzFile(LPCWSTR path);
    ~CBzFile() override;

    BOOL Open(LPCWSTR path, UINT flags, CFileException* error = nullptr) override;
    UINT Read(void* buffer, UINT count) override;
    ULONGLONG GetPosition() const override { return m_nBytesProcessed; }
    // The size of the compressed file on disk; the read position is kept.
    ULONGLONG GetCompressedSize() const;
    void Close() override;

    void Write(const void*, UINT) override { ThrowNotSupportedException(); }
    ULONGLONG Seek(LONGLONG, UINT) override { ThrowNotSupportedException(); }
    ULONGLONG GetLength() const override { ThrowNotSupportedException(); }
    void SetLength(ULONGLONG) override { ThrowNotSupportedException(); }
    void LockRange(ULONGLONG, ULONGLONG) override { ThrowNotSupportedException(); }
    void UnlockRange(ULONGLONG, ULONGLONG) override { ThrowNotSupportedException(); }
    CFile* Duplicate() const override { ThrowNotSupportedException(); }
    bool ReadString(std::wstring&) override { ThrowNotSupportedException(); }
    void WriteString(const wchar_t*) override { ThrowNotSupportedException(); }

    // The file-error cause and Windows error code for a libbzip2 result.
    static void TranslateBzipError(int bzipError, CFileException::Cause& cause, LONG& osError);

private:
    enum Mode { Closed = 0, Reading = 1 };
    ULONGLONG m_nBytesProcessed = 0;
    Mode m_nMode = Closed;
    bool m_bEndReached = false;
    BZFILE* m_pBzip = nullptr;
};

// Writes the decompressed bytes of compressedPath to outputPath (created or
// truncated) in 64 KiB blocks; raises CFileException on failure.
void DecompressFile(const std::wstring& compressedPath, const std::wstring& outputPath);
