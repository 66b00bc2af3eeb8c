#include "framework/StdioFile.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

IMPLEMENT_DYNAMIC(CFile, CObject)
IMPLEMENT_DYNAMIC(CStdioFile, CFile)

BOOL CFile::Open(LPCWSTR, UINT, CFileException*) { ThrowNotSupportedException(); }
UINT CFile::Read(void*, UINT) { ThrowNotSupportedException(); }
void CFile::Write(const void*, UINT) { ThrowNotSupportedException(); }
ULONGLONG CFile::Seek(LONGLONG, UINT) { ThrowNotSupportedException(); }
ULONGLONG CFile::GetLength() const { ThrowNotSupportedException(); }
void CFile::SetLength(ULONGLONG) { ThrowNotSupportedException(); }
ULONGLONG CFile::GetPosition() const { ThrowNotSupportedException(); }
void CFile::LockRange(ULONGLONG, ULONGLONG) { ThrowNotSupportedException(); }
void CFile::UnlockRange(ULONGLONG, ULONGLONG) { ThrowNotSupportedException(); }
CFile* CFile::Duplicate() const { ThrowNotSupportedException(); }
void CFile::Close() {}

CStdioFile::~CStdioFile() {
    if (m_pStream) std::fclose(m_pStream);
}

void CStdioFile::ThrowLastRuntimeError(CFileException::Cause cause) const {
    unsigned long osError = _doserrno;
    ThrowFileException(cause, static_cast<LONG>(osError ? osError : ERROR_GEN_FAILURE), m_strFileName);
}

BOOL CStdioFile::Open(LPCWSTR path, UINT flags, CFileException* error) {
    m_strFileName = path ? path : L"";
    std::wstring mode;
    if (flags & modeCreate) {
        mode = (flags & modeReadWrite) ? L"w+" : L"w";
    } else if (flags & (modeWrite | modeReadWrite)) {
        mode = L"r+";
    } else {
        mode = L"r";
    }
    mode += (flags & typeBinary) ? L"b" : L"t";
    _doserrno = 0;
    m_pStream = _wfopen(m_strFileName.c_str(), mode.c_str());
    if (m_pStream) return TRUE;
    if (error) {
        unsigned long osError = _doserrno;
        error->m_lOsError = static_cast<LONG>(osError ? osError : ERROR_FILE_NOT_FOUND);
        error->m_cause = osError == ERROR_ACCESS_DENIED ? CFileException::accessDenied
                         : osError == ERROR_PATH_NOT_FOUND ? CFileException::badPath
                                                           : CFileException::fileNotFound;
        error->m_strFileName = m_strFileName;
    }
    return FALSE;
}

UINT CStdioFile::Read(void* buffer, UINT count) {
    if (count == 0) return 0;
    size_t read = std::fread(buffer, 1, count, m_pStream);
    if (read == 0 && std::ferror(m_pStream)) ThrowLastRuntimeError(CFileException::genericException);
    return static_cast<UINT>(read);
}

void CStdioFile::Write(const void* buffer, UINT count) {
    if (std::fwrite(buffer, 1, count, m_pStream) != count) ThrowLastRuntimeError(CFileException::genericException);
}

ULONGLONG CStdioFile::Seek(LONGLONG offset, UINT from) {
    int origin = from == end ? SEEK_END : from == current ? SEEK_CUR : SEEK_SET;
    if (_fseeki64(m_pStream, offset, origin) != 0) ThrowLastRuntimeError(CFileException::badSeek);
    return GetPosition();
}

ULONGLONG CStdioFile::GetPosition() const {
    __int64 position = _ftelli64(m_pStream);
    if (position < 0) ThrowLastRuntimeError(CFileException::invalidFile);
    return static_cast<ULONGLONG>(position);
}

ULONGLONG CStdioFile::GetLength() const {
    __int64 current = _ftelli64(m_pStream);
    if (current < 0 || _fseeki64(m_pStream, 0, SEEK_END) != 0) ThrowLastRuntimeError(CFileException::badSeek);
    __int64 length = _ftelli64(m_pStream);
    _fseeki64(m_pStream, current, SEEK_SET);
    return static_cast<ULONGLONG>(length);
}

void CStdioFile::Close() {
    FILE* stream = m_pStream;
    m_pStream = nullptr;
    if (stream && std::fclose(stream) != 0) ThrowLastRuntimeError(CFileException::genericException);
}

bool CStdioFile::ReadString(std::wstring& line) {
    line.clear();
    wint_t c;
    bool any = false;
    while ((c = std::fgetwc(m_pStream)) != WEOF) {
        any = true;
        if (c == L'\n') break;
        line += static_cast<wchar_t>(c);
    }
    return any;
}

void CStdioFile::WriteString(const wchar_t* text) {
    if (std::fputws(text, m_pStream) < 0) ThrowLastRuntimeError(CFileException::genericException);
}
