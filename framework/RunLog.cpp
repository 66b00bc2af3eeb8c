#include "framework/RunLog.h"

#include <windows.h>

#include <cstdio>
#include <mutex>
#include <string>

namespace {
// What is kept while no file is open yet; start-up writes a few lines only.
const size_t kEarlyLinesLimit = 64 * 1024;

struct RunLogState {
    std::mutex lock;
    HANDLE file = INVALID_HANDLE_VALUE;
    std::wstring path;
    std::string early;  // UTF-8 lines written before the file was opened
};

RunLogState& State() {
    static RunLogState state;  // built on first use: lines may come during static construction
    return state;
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr, nullptr);
    return utf8;
}

void WriteAll(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    if (!bytes.empty()) WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// Product names come from resources; keep the file name to safe characters.
std::wstring FileNamePart(const std::wstring& name) {
    std::wstring part;
    for (wchar_t c : name) part += (iswalnum(c) || c == L'-' || c == L'_') ? c : L'-';
    return part.empty() ? L"setup" : part;
}
}  // namespace

std::wstring OpenRunLog(const std::wstring& productName) {
    RunLogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.file != INVALID_HANDLE_VALUE) return state.path;
    wchar_t folder[MAX_PATH + 1];
    DWORD length = GetTempPathW(ARRAYSIZE(folder), folder);
    if (length == 0 || length >= ARRAYSIZE(folder)) return {};
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t stamp[64];
    std::swprintf(stamp, ARRAYSIZE(stamp), L"-setup-%04u%02u%02u-%02u%02u%02u-%lu.log", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond, static_cast<unsigned long>(GetCurrentProcessId()));
    std::wstring path = std::wstring(folder, length) + FileNamePart(productName) + stamp;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    state.file = file;
    state.path = path;
    WriteAll(file, "\xEF\xBB\xBF");  // lets Notepad pick UTF-8
    WriteAll(file, state.early);
    state.early.clear();
    state.early.shrink_to_fit();
    return path;
}

std::wstring RunLogPath() {
    RunLogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.path;
}

void AppendRunLog(const wchar_t* text) {
    if (!text || !*text) return;
    try {
        SYSTEMTIME now;
        GetLocalTime(&now);
        wchar_t prefix[48];
        std::swprintf(prefix, ARRAYSIZE(prefix), L"%02u:%02u:%02u.%03u [%lu] ", now.wHour, now.wMinute, now.wSecond,
                      now.wMilliseconds, static_cast<unsigned long>(GetCurrentThreadId()));
        std::wstring line = prefix;
        line += text;
        if (line.back() != L'\n') line += L'\n';
        std::string bytes = ToUtf8(line);
        RunLogState& state = State();
        std::lock_guard<std::mutex> guard(state.lock);
        if (state.file != INVALID_HANDLE_VALUE) {
            WriteAll(state.file, bytes);
        } else if (state.early.size() + bytes.size() <= kEarlyLinesLimit) {
            state.early += bytes;
        }
    } catch (...) {
        // Logging never fails the run.
    }
}
