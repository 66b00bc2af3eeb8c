#pragma once
// The run log: one UTF-8 file per run in the user's temporary folder, named
// by product and start time, that support can ask a user for. Every
// diagnostic line of the process lands there (lines written before the file
// is opened are kept in memory and written first). Logging never fails the
// run: a log that cannot be written is simply not written. Any thread.
#include <string>

// Opens the log for this run; returns its path, or empty when it could not
// be created. A second call keeps the first file.
std::wstring OpenRunLog(const std::wstring& productName);
// The path of the open log, or empty.
std::wstring RunLogPath();
// Appends one line (a trailing newline is added when missing), stamped with
// the time and the calling thread.
void AppendRunLog(const wchar_t* text);
