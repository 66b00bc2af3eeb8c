#pragma once
// CBzFile: the decompressed bytes of a bzip2 file through the framework's
// file interface, decompressed by libbzip2 straight into the caller's buffer.
// A file of several concatenated bzip2 streams (as parallel compressors
// write them) is read to its end, and data after the last stream that is not
// bzip2 is ignored, both as the standard tool does. Read-only: seeking, lengths,
// locking, duplication and line operations raise "not supported".
// Used by one thread at a time.
#include <bzlib.h>

#include <functional>
#include <vector>

#include "framework/DiskSpace.h"
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
    // After the end of a stream: opens the next one on what follows; false at the end of the file.
    bool OpenNextStream();

    ULONGLONG m_nBytesProcessed = 0;
    Mode m_nMode = Closed;
    bool m_bEndReached = false;
    BZFILE* m_pBzip = nullptr;
    int m_nStreams = 0;              // streams opened since Open
    std::vector<char> m_unusedInput;  // read past the end of the last stream
};

// The most decompressed bytes a payload or an offer may have. Windows
// Installer opens no package of 2 GiB or more and the loader maps no image
// that large, so a bigger output is never something the wizard could run;
// a small download that expands past it is a decompression bomb.
const ULONGLONG kMaxDecompressedBytes = 0x7FFFFFFFull;

// Called once per block with the decompressed bytes so far; a negative
// result (such as a cancellation) stops the copy with that result.
using DecompressionCheck = std::function<HRESULT(ULONGLONG decompressed, ULONGLONG compressedSize)>;

// Writes the decompressed bytes of compressedPath to outputPath (created new:
// an existing file or a link at the name fails) in 64 KiB blocks. Raises CFileException on failure, with
// ERROR_FILE_TOO_LARGE past limit and ERROR_DISK_FULL when the volume would
// keep less than kDiskSpaceReserveBytes, and COleException with the check's
// result when the check stops it. The caller removes the output on failure.
void DecompressFile(const std::wstring& compressedPath, const std::wstring& outputPath,
                    const DecompressionCheck& check = nullptr, ULONGLONG limit = kMaxDecompressedBytes);
