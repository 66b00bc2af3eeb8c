#include "payload/BzFile.h"

#include <memory>
#include <new>

IMPLEMENT_DYNAMIC(CBzFile, CStdioFile)

namespace {
const UINT kCopyBlockBytes = 65536;
}

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
    if (m_bEndReached || count == 0) return 0;
    if (!m_pBzip) ThrowFileException(CFileException::invalidFile, ERROR_INVALID_HANDLE, m_strFileName);
    int bzipError = BZ_OK;
    // libbzip2 takes an int count.
    int read = BZ2_bzRead(&bzipError, m_pBzip, buffer, static_cast<int>(count > 0x7FFFFFFF ? 0x7FFFFFFF : count));
    if (bzipError == BZ_STREAM_END) m_bEndReached = true;
    if (bzipError < 0) {
        CFileException::Cause cause;
        LONG osError;
        TranslateBzipError(bzipError, cause, osError);
        ThrowFileException(cause, osError, m_strFileName);
    }
    m_nBytesProcessed += static_cast<ULONGLONG>(read);
    return static_cast<UINT>(read);
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
}

void DecompressFile(const std::wstring& compressedPath, const std::wstring& outputPath) {
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[kCopyBlockBytes]);
    if (!buffer) ThrowMemoryException();
    CBzFile compressed(compressedPath.c_str());
    CStdioFile output;
    CFileException error(CFileException::none, 0);
    if (!output.Open(outputPath.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeBinary, &error)) {
        ThrowFileException(error.m_cause, error.m_lOsError, outputPath);
    }
    UINT read;
    while ((read = compressed.Read(buffer.get(), kCopyBlockBytes)) > 0) output.Write(buffer.get(), read);
    output.Close();
    compressed.Close();
}
