#pragma once
// An output file of a subcommand, written under a temporary name beside its
// final path and moved into place only by Commit, so that a failed command
// leaves neither an empty nor a partial file and an existing file is only
// replaced by a complete one.
#include <windows.h>

#include <string>

class OutputFile {
public:
    explicit OutputFile(const std::wstring& path) : m_path(path), m_temporary(path + L".partial") {}
    // Removes the temporary file unless it was committed.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    const std::wstring& Path() const { return m_path; }
    const std::wstring& TemporaryPath() const { return m_temporary; }
    // Moves the temporary file to the final path, replacing what is there.
    HRESULT Commit();

private:
    std::wstring m_path;
    std::wstring m_temporary;
    bool m_committed = false;
};
