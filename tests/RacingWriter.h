#pragma once
// A writer that races a file's checker: it rewrites the file with the first
// content, pauses for a varying time (so that some swaps land between a
// check and a use), rewrites it with the second content, pauses briefly, and
// so on until destroyed. It waits for each open for writing to succeed, so
// a file held against writers is written as soon as it is let go.
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

class RacingWriter {
public:
    // creation: OPEN_EXISTING, or OPEN_ALWAYS for a file that comes and goes.
    // first and second must outlive the writer.
    RacingWriter(std::wstring path, const std::string& first, const std::string& second, DWORD maxPauseMs,
                 DWORD creation);
    ~RacingWriter();
    RacingWriter(const RacingWriter&) = delete;
    RacingWriter& operator=(const RacingWriter&) = delete;

private:
    void Write(const std::string& content) const;

    const std::wstring m_path;
    const DWORD m_creation;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
