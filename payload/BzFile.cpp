#include "payload/BzFile.h"

#include <cstdio>
#include <memory>
#include <new>

#include "framework/DiagnosticOutput.h"
#include "framework/DiskSpace.h"
#include "framework/Exceptions.h"
#include "framework/ProtectedFolder.h"

IMPLEMENT_DYNAMIC(CBzFile, CStdioFile)

namespace {
const UINT kCopyBlockBytes = 65536;

void LogDecompressionStop(const wchar_t* reason, ULONGLONG bytes, const std::wstring& path) {
    wchar_t line[200];
    std::swprintf(line, 200, L"Decompression stopped: %ls after %llu bytes: ", reason, bytes);
    WriteDiagnostic((line + path + L"\n").c_str());
}

// Raises ERROR_DISK_FULL when writing on would leave the volume of path less than the reserve.
void CheckDiskSpace(const std::wstring& path, ULONGLONG written) {
    if (HasRoomForNextInterval(path)) return;
    LogDecompressionStop(L"the disk is nearly full (0x80070070)", written, path);
    ThrowFileException(CFileException::diskFull, ERROR_DISK_FULL, path);
}
}  // namespace

void CBzFile::TranslateBzipError(int bzipError, CFileException::Cause& cause, LONG& osError) {
    switch (bzipError) {
        case BZ_CONFIG_ERROR: cause = CFileException::genericException; osError = 13; return;
        case BZ_OUTBUFF_FULL: cause = CFileException::invalidFile; osError = 111; return;
        case BZ_UNEXPECTED_EOF: cause = CFileException::endOfFile; osError = 13; return;
        case BZ_IO_ERROR: cause = CFileException::hardIO; osError = 1117; return;
        case BZ_DATA_ERROR_MAGIC:
        case BZ_DATA_ERROR:
        case BZ_SEQUENCE_ERROR: cause = CFileException::invalidFile; osError = 13; return;
        case BZ_MEM_ERROR: cause = CFileException::genericException; osError = 14; return;
        case BZ_PARAM_ERROR: cause = CFileException::genericException; osError = 87; return;
        default: break;
    }
    if (bzipError < 0) {
        cause = CFileException::genericException;
        osError = 574;
    } else {
        cause = CFileException::none;
        osError = 0;
    }
}

CBzFile::CBzFile(LPCWSTR path) {
    CFileException error(CFileException::none, 0);
    if (!Open(path, modeRead, &error)) ThrowFileException(error.m_cause, error.m_lOsError, error.m_strFileName);
}

CBzFile::~CBzFile() {
    try {
        Close();
    } catch (CException* e) {
        ReportDestructorException(e, "BzFile", 172);
    }
}

BOOL CBzFile::Open(LPCWSTR path, UINT flags, CFileException* error) {
    if (error) error->m_strFileName = path ? path : L"";
    if (!CStdioFile::Open(path, flags | typeBinary, error)) return FALSE;
    m_bEndReached = false;
    m_nMode = Reading;
    m_nBytesProcessed = 0;
    m_nStreams = 1;
    m_unusedInput.clear();
    int bzipError = BZ_OK;
    m_pBzip = BZ2_bzReadOpen(&bzipError, m_pStream, 0, 0, nullptr, 0);
    if (bzipError != BZ_OK) {
        if (error) TranslateBzipError(bzipError, error->m_cause, error->m_lOsError);
        if (m_pBzip) BZ2_bzReadClose(&bzipError, m_pBzip);
        m_pBzip = nullptr;
        m_nMode = Closed;
        CStdioFile::Close();
        return FALSE;
    }
    return TRUE;
}

UINT CBzFile::Read(void* buffer, UINT count) {
    while (!m_bEndReached && count > 0) {
        if (!m_pBzip) ThrowFileException(CFileException::invalidFile, ERROR_INVALID_HANDLE, m_strFileName);
        int bzipError = BZ_OK;
        // libbzip2 takes an int count.
        int read = BZ2_bzRead(&bzipError, m_pBzip, buffer, static_cast<int>(count > 0x7FFFFFFF ? 0x7FFFFFFF : count));
        if (bzipError == BZ_DATA_ERROR_MAGIC && m_nStreams > 1) {
            m_bEndReached = true;  // not bzip2 after the last stream: ignored, as the standard tool does
            return 0;
        }
        if (bzipError < 0) {
            CFileException::Cause cause;
            LONG osError;
            TranslateBzipError(bzipError, cause, osError);
            ThrowFileException(cause, osError, m_strFileName);
        }
        if (bzipError == BZ_STREAM_END && !OpenNextStream()) m_bEndReached = true;
        if (read > 0) {
            m_nBytesProcessed += static_cast<ULONGLONG>(read);
            return static_cast<UINT>(read);
        }
    }
    return 0;
}

bool CBzFile::OpenNextStream() {
    int bzipError = BZ_OK;
    void* unused = nullptr;
    int unusedCount = 0;
    BZ2_bzReadGetUnused(&bzipError, m_pBzip, &unused, &unusedCount);
    if (bzipError != BZ_OK) unusedCount = 0;
    m_unusedInput.assign(static_cast<char*>(unused), static_cast<char*>(unused) + unusedCount);
    BZ2_bzReadClose(&bzipError, m_pBzip);
    m_pBzip = nullptr;
    if (m_unusedInput.empty()) {
        int next = std::fgetc(m_pStream);
        if (next == EOF) return false;
        std::ungetc(next, m_pStream);
    }
    m_pBzip = BZ2_bzReadOpen(&bzipError, m_pStream, 0, 0, m_unusedInput.empty() ? nullptr : m_unusedInput.data(),
                             static_cast<int>(m_unusedInput.size()));
    if (bzipError != BZ_OK) {
        if (m_pBzip) BZ2_bzReadClose(&bzipError, m_pBzip);
        m_pBzip = nullptr;
        return false;
    }
    ++m_nStreams;
    return true;
}

ULONGLONG CBzFile::GetCompressedSize() const {
    long current = std::ftell(m_pStream);
    if (current < 0) ThrowLastRuntimeError(CFileException::invalidFile);
    if (std::fseek(m_pStream, 0, SEEK_END) != 0) ThrowLastRuntimeError(CFileException::badSeek);
    long size = std::ftell(m_pStream);
    if (size < 0) ThrowLastRuntimeError(CFileException::invalidFile);
    if (std::fseek(m_pStream, current, SEEK_SET) != 0) ThrowLastRuntimeError(CFileException::badSeek);
    return static_cast<ULONGLONG>(size);
}

void CBzFile::Close() {
    if (m_pBzip) {
        int bzipError = BZ_OK;
        BZ2_bzReadClose(&bzipError, m_pBzip);
        m_pBzip = nullptr;
    }
    CStdioFile::Close();
    m_nBytesProcessed = 0;
    m_nMode = Closed;
    m_nStreams = 0;
    m_unusedInput.clear();
}

void DecompressFile(const std::wstring& compressedPath, const std::wstring& outputPath,
                    const DecompressionCheck& check, ULONGLONG limit) {
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[kCopyBlockBytes]);
    if (!buffer) ThrowMemoryException();
    CBzFile compressed(compressedPath.c_str());
    const ULONGLONG compressedSize = compressed.GetCompressedSize();
    // A new file, never what (or what link) may be at the name already.
    ScopedHandle output;
    HRESULT created = CreateExclusiveFile(outputPath, GENERIC_WRITE, FILE_SHARE_READ, output);
    if (FAILED(created)) {
        ThrowFileException(CFileException::accessDenied, static_cast<LONG>(created & 0xFFFF), outputPath);
    }
    ULONGLONG written = 0;
    ULONGLONG nextSpaceCheck = 0;
    UINT read;
    while ((read = compressed.Read(buffer.get(), kCopyBlockBytes)) > 0) {
        if (check) {
            HRESULT hr = check(compressed.GetPosition(), compressedSize);
            if (FAILED(hr)) {
                LogDecompressionStop(L"stopped by its caller", written, compressedPath);
                ThrowOleException(hr);
            }
        }
        if (read > limit - written) {
            wchar_t reason[96];
            std::swprintf(reason, 96, L"the output passes %llu bytes (0x800700DF)", limit);
            LogDecompressionStop(reason, written, compressedPath);
            ThrowFileException(CFileException::diskFull, ERROR_FILE_TOO_LARGE, compressedPath);
        }
        if (written >= nextSpaceCheck) {
            CheckDiskSpace(outputPath, written);
            nextSpaceCheck = written + kDiskSpaceCheckInterval;
        }
        DWORD done = 0;
        if (!WriteFile(output.Get(), buffer.get(), read, &done, nullptr) || done != read) {
            ThrowFileException(CFileException::hardIO, static_cast<LONG>(GetLastError() ? GetLastError() : ERROR_WRITE_FAULT),
                               outputPath);
        }
        written += read;
    }
    output.Reset();
    compressed.Close();
}
