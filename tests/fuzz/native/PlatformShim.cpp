// The platform calls of shim/windows.h for the native fuzzing build.
#include <windows.h>

#include <cwchar>

#include "framework/DiagnosticOutput.h"
#include "framework/Exceptions.h"
#include "framework/ResourceBytes.h"

namespace {
thread_local DWORD g_lastError = 0;

// One code point of strict UTF-8 (no overlong forms, surrogates or values
// above U+10FFFF, as the platform's MB_ERR_INVALID_CHARS conversion), or -1.
long DecodeOne(const unsigned char* bytes, size_t left, size_t* used) {
    unsigned char lead = bytes[0];
    if (lead < 0x80) {
        *used = 1;
        return lead;
    }
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || left < length) return -1;
    long value = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((bytes[i] & 0xC0) != 0x80) return -1;
        value = value << 6 | (bytes[i] & 0x3F);
    }
    static const long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return -1;
    *used = length;
    return value;
}
}  // namespace

DWORD GetLastError() { return g_lastError; }
void SetLastError(DWORD error) { g_lastError = error; }

int MultiByteToWideChar(UINT, DWORD, const char* bytes, int byteCount, wchar_t* wide, int wideCount) {
    size_t size = byteCount < 0 ? std::strlen(bytes) + 1 : static_cast<size_t>(byteCount);
    const auto* input = reinterpret_cast<const unsigned char*>(bytes);
    int written = 0;
    for (size_t position = 0; position < size;) {
        size_t used = 0;
        long value = DecodeOne(input + position, size - position, &used);
        if (value < 0) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
        if (wide) {
            if (written >= wideCount) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            wide[written] = static_cast<wchar_t>(value);
        }
        ++written;
        position += used;
    }
    return written;
}

HLOCAL LocalAlloc(UINT flags, size_t bytes) {
    return flags & LMEM_ZEROINIT ? std::calloc(1, bytes) : std::malloc(bytes);
}

HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}

// Blank-separated arguments with double quotes grouping; enough for the
// parsers' use, not the platform's backslash rules.
LPWSTR* CommandLineToArgvW(LPCWSTR commandLine, int* count) {
    size_t length = std::wcslen(commandLine);
    size_t maxArguments = length / 2 + 2;
    size_t bytes = maxArguments * sizeof(LPWSTR) + (length + maxArguments + 1) * sizeof(wchar_t);
    auto* block = static_cast<LPWSTR*>(std::calloc(1, bytes));
    if (!block) return nullptr;
    auto* text = reinterpret_cast<wchar_t*>(block + maxArguments);
    int arguments = 0;
    const wchar_t* p = commandLine;
    while (*p) {
        while (*p == L' ' || *p == L'\t') ++p;
        if (!*p) break;
        block[arguments++] = text;
        bool quoted = false;
        for (; *p && (quoted || (*p != L' ' && *p != L'\t')); ++p) {
            if (*p == L'"') {
                quoted = !quoted;
            } else {
                *text++ = *p;
            }
        }
        *text++ = L'\0';
    }
    *count = arguments;
    return block;
}

LONG RegCreateKeyExW(HKEY, LPCWSTR, DWORD, LPWSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, HKEY*, LPDWORD) {
    return ERROR_ACCESS_DENIED;
}
LONG RegEnumValueW(HKEY, DWORD, LPWSTR, LPDWORD, LPDWORD, LPDWORD, BYTE*, LPDWORD) { return ERROR_ACCESS_DENIED; }
LONG RegDeleteValueW(HKEY, LPCWSTR) { return ERROR_ACCESS_DENIED; }
LONG RegSetValueExW(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD) { return ERROR_ACCESS_DENIED; }
LONG RegCloseKey(HKEY) { return ERROR_SUCCESS; }
HANDLE CreateFileW(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}
BOOL GetFileSizeEx(HANDLE, LARGE_INTEGER*) { return 0; }
HANDLE CreateFileMappingW(HANDLE, LPSECURITY_ATTRIBUTES, DWORD, DWORD, DWORD, LPCWSTR) { return nullptr; }
LPVOID MapViewOfFile(HANDLE, DWORD, DWORD, DWORD, size_t) { return nullptr; }
BOOL UnmapViewOfFile(const void*) { return 1; }
BOOL CloseHandle(HANDLE) { return 1; }
// Diagnostic lines (the store's note on values it does not save) have no log here.
void WriteDiagnosticFormat(const wchar_t*, ...) {}
BOOL FreeLibrary(HMODULE) { return 1; }

const void* LockResourceBytes(LPCWSTR, LPCWSTR, HMODULE) { return nullptr; }
DWORD GetResourceByteCount(LPCWSTR, LPCWSTR, HMODULE) { return 0; }

void ThrowMemoryException() {
    static CMemoryException instance;
    throw &instance;
}
