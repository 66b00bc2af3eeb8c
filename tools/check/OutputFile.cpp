#include "OutputFile.h"

#include "framework/Win32Error.h"

OutputFile::~OutputFile() {
    if (!m_committed) DeleteFileW(m_temporary.c_str());
}

HRESULT OutputFile::Commit() {
    if (!MoveFileExW(m_temporary.c_str(), m_path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
        return FailureFromLastError();
    }
    m_committed = true;
    return S_OK;
}
