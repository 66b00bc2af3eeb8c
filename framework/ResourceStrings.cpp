#include "framework/ResourceStrings.h"

#include <vector>

#include "framework/Exceptions.h"

namespace {
HMODULE g_resourceModule = nullptr;
}

void SetResourceModule(HMODULE module) { g_resourceModule = module; }

HMODULE GetResourceModule() { return g_resourceModule ? g_resourceModule : GetModuleHandleW(nullptr); }

bool LoadResourceString(UINT id, std::wstring& text) {
    const wchar_t* resource = nullptr;
    // With a zero buffer size LoadStringW hands out a read-only pointer into the resource.
    int length = LoadStringW(GetResourceModule(), id, reinterpret_cast<LPWSTR>(&resource), 0);
    if (length <= 0 || !resource) return false;
    text.assign(resource, static_cast<size_t>(length));
    return true;
}

std::wstring FormatMessageText(const std::wstring& pattern, std::initializer_list<const wchar_t*> inserts) {
    // Inserts the pattern names but the caller did not pass read an empty text.
    std::vector<DWORD_PTR> arguments(inserts.size() < 9 ? 9 : inserts.size(),
                                     reinterpret_cast<DWORD_PTR>(L""));
    size_t index = 0;
    for (const wchar_t* insert : inserts) {
        arguments[index++] = reinterpret_cast<DWORD_PTR>(insert ? insert : L"");
    }
    LPWSTR formatted = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                      FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                  pattern.c_str(), 0, 0, reinterpret_cast<LPWSTR>(&formatted), 0,
                                  reinterpret_cast<va_list*>(arguments.data()));
    if (length == 0 || !formatted) {
        if (formatted) LocalFree(formatted);
        if (pattern.empty()) return {};
        ThrowMemoryException();
    }
    std::wstring result(formatted, length);
    LocalFree(formatted);
    return result;
}

std::wstring FormatResourceMessage(UINT id, std::initializer_list<const wchar_t*> inserts) {
    std::wstring pattern;
    if (!LoadResourceString(id, pattern)) ThrowOleException(E_INVALIDARG);
    return FormatMessageText(pattern, inserts);
}
