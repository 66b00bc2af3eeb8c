#pragma once
// Recognising a server answer that is plainly not installer data: a captive
// portal's or proxy's HTML page where key=value lines belong.
#include <windows.h>

#include <cstddef>
#include <string>

class InstallerDataStore;

// The largest answer the installer data update accepts. Real answers are a
// few hundred bytes; this bound only keeps a hostile or broken server from
// filling the wizard's memory.
const size_t kMaxInstallerDataAnswerBytes = 1024 * 1024;

// True for an HTML or XHTML content type ("text/html; charset=utf-8"), or a
// body whose first character after an optional byte order mark and white
// space is "<".
bool IsMarkupAnswer(const std::wstring& contentType, const char* body, size_t length);

// Replaces the store with an answer of length bytes (NUL-terminated) unless it
// is markup (HRESULT_FROM_WIN32(ERROR_INVALID_DATA)) or not UTF-8; either
// failure keeps what the store held.
HRESULT ParseInstallerDataAnswer(InstallerDataStore& store, const std::wstring& contentType, const char* body,
                                 size_t length);
