#pragma once
// The few Windows types and calls that the portable parsers use, for their
// native fuzzing build only. wchar_t is 32-bit here: UTF-8 converts to code
// points, which the parsers treat like UTF-16 units. Registry, file and
// mapping calls fail, so the code around the parsers compiles but is not run.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

typedef int32_t HRESULT;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef int BOOL;
typedef int INT;
typedef uint64_t ULONGLONG;
typedef int64_t LONGLONG;
typedef void* HANDLE;
typedef void* HLOCAL;
typedef void* LPVOID;
typedef struct HKEY__* HKEY;
typedef struct HINSTANCE__* HMODULE;
typedef wchar_t* LPWSTR;
typedef const wchar_t* LPCWSTR;
typedef DWORD REGSAM;
typedef DWORD* LPDWORD;
typedef void* LPSECURITY_ATTRIBUTES;
typedef union {
    struct {
        DWORD LowPart;
        LONG HighPart;
    };
    LONGLONG QuadPart;
} LARGE_INTEGER;

#define WINAPI
#define CALLBACK
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_FAIL ((HRESULT)0x80004005)
#define E_OUTOFMEMORY ((HRESULT)0x8007000E)
#define E_INVALIDARG ((HRESULT)0x80070057)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_DATA 13L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#define HRESULT_FROM_WIN32(x) \
    ((HRESULT)(x) <= 0 ? (HRESULT)(x) : (HRESULT)(((uint32_t)(x) & 0x0000FFFF) | 0x80070000u))
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x08
#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002)
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001)
#define REG_SZ 1
#define REG_MULTI_SZ 7
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define GENERIC_READ 0x80000000
#define FILE_SHARE_READ 1
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_NORMAL 0x80
#define PAGE_READONLY 2
#define FILE_MAP_READ 4
#define ARRAYSIZE(a) (sizeof(a) / sizeof((a)[0]))
#define MAKEINTRESOURCEW(i) ((LPCWSTR)(uintptr_t)(WORD)(i))

DWORD GetLastError();
void SetLastError(DWORD error);
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* bytes, int byteCount, wchar_t* wide, int wideCount);
HLOCAL LocalAlloc(UINT flags, size_t bytes);
HLOCAL LocalFree(HLOCAL memory);
LPWSTR* CommandLineToArgvW(LPCWSTR commandLine, int* count);

LONG RegCreateKeyExW(HKEY, LPCWSTR, DWORD, LPWSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, HKEY*, LPDWORD);
LONG RegEnumValueW(HKEY, DWORD, LPWSTR, LPDWORD, LPDWORD, LPDWORD, BYTE*, LPDWORD);
LONG RegDeleteValueW(HKEY, LPCWSTR);
LONG RegSetValueExW(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD);
LONG RegCloseKey(HKEY);
HANDLE CreateFileW(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
BOOL GetFileSizeEx(HANDLE, LARGE_INTEGER*);
HANDLE CreateFileMappingW(HANDLE, LPSECURITY_ATTRIBUTES, DWORD, DWORD, DWORD, LPCWSTR);
LPVOID MapViewOfFile(HANDLE, DWORD, DWORD, DWORD, size_t);
BOOL UnmapViewOfFile(const void*);
BOOL CloseHandle(HANDLE);
BOOL FreeLibrary(HMODULE);
