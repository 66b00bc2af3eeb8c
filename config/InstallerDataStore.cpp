#include "config/InstallerDataStore.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>

#include "config/InstallerDataLimits.h"
#include "framework/DiagnosticOutput.h"
#include "framework/Exceptions.h"
#include "framework/ScopedHandles.h"
#include "framework/Win32Error.h"

namespace {
const wchar_t kDoNotErase[] = L"+DO_NOT_ERASE+";
const wchar_t kDoNotSave[] = L"+DO_NOT_SAVE+";
const wchar_t kInstallerDataSubkey[] = L"InstallerData";
const DWORD kMaxValueNameChars = 32767;

std::wstring ApplyAlias(std::wstring key) {
    static const std::wstring aliases[][2] = {
        {L"P2", L"p2"},
        {L"P2_ORIGIN", L"secondOfferOrigin"},
        {L"UL_STUBID", L"ul_stubid"},
    };
    for (const auto& alias : aliases) {
        if (key == alias[0]) return alias[1];
    }
    return key;
}

bool IsLineEnd(wchar_t c) { return c == L'\r' || c == L'\n'; }
}  // namespace

void InstallerDataStore::Clear() {
    m_items.clear();
    m_entries.clear();
    m_doNotErase = false;
    m_doNotSave = false;
}

HRESULT InstallerDataStore::Parse(const wchar_t* text) {
    Clear();
    // Lines are read in place: only the keys and values that are kept are copied.
    return ParseLines(text ? std::wstring_view(text) : std::wstring_view());
}

HRESULT InstallerDataStore::ParseLines(std::wstring_view text) {
    size_t position = 0;
    while (true) {
        while (position < text.size() && IsLineEnd(text[position])) ++position;
        size_t end = position;
        while (end < text.size() && !IsLineEnd(text[end])) ++end;
        const std::wstring_view line = text.substr(position, end - position);
        if (line == kDoNotErase) {
            m_doNotErase = true;
        } else if (line == kDoNotSave) {
            m_doNotSave = true;
        } else {
            size_t equals = line.find(L'=');
            if (equals != std::wstring_view::npos) {
                HRESULT hr = SetEntryFromView(line.substr(0, equals), line.substr(equals + 1));
                if (FAILED(hr)) return hr;
            }
        }
        if (end >= text.size()) return S_OK;
        position = end;
    }
}

HRESULT InstallerDataStore::ParseUtf8(const char* bytes) {
    if (!bytes || bytes[0] == '\0') return Parse(L"");
    int chars = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, -1, nullptr, 0);
    if (chars <= 0) return FailureFromLastError();
    std::wstring text;
    try {
        text.resize(static_cast<size_t>(chars));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, -1, text.data(), chars) <= 0) {
        return FailureFromLastError();
    }
    text.resize(static_cast<size_t>(chars) - 1);  // the converted terminating NUL
    // The converted text is already a private copy: parse it in place rather
    // than copying it once more.
    Clear();
    return ParseLines(text);
}

HRESULT InstallerDataStore::SetEntry(const std::wstring& givenKey, const std::wstring& value) {
    return SetEntryFromView(givenKey, value);
}

HRESULT InstallerDataStore::SetEntryFromView(std::wstring_view givenKey, std::wstring_view value) {
    bool mayOverwrite = true;
    bool isPrivate = false;
    bool isPersistent = false;
    size_t prefixLength = 0;
    for (; prefixLength < givenKey.size(); ++prefixLength) {
        wchar_t c = givenKey[prefixLength];
        if (c == L'&') {
            mayOverwrite = false;
        } else if (c == L'?') {
            isPrivate = true;
        } else if (c == L'@') {
            isPrivate = true;
            isPersistent = true;
        } else {
            break;
        }
    }
    if (prefixLength == givenKey.size()) return S_FALSE;

    try {
        std::wstring key = ApplyAlias(std::wstring(givenKey.substr(prefixLength)));
        // One search serves both the lookup and the insertion.
        auto position = m_entries.lower_bound(key);
        if (position != m_entries.end() && position->first == key) {
            if (!mayOverwrite) return S_FALSE;
            position->second = InstallerDataValue{std::wstring(value), isPrivate, isPersistent};
            return S_OK;
        }
        // Room for the item first, growing geometrically so that n keys cost
        // O(n) moves; with the room taken, the append after the insert cannot
        // fail and leave an entry without its item.
        if (m_items.size() == m_items.capacity()) m_items.reserve(std::max<size_t>(16, m_items.size() * 2));
        auto inserted = m_entries.emplace_hint(position, std::move(key),
                                               InstallerDataValue{std::wstring(value), isPrivate, isPersistent});
        m_items.push_back(InstallerDataItem{InstallerDataItem::KeyValue, {}, &*inserted});
    } catch (const std::bad_alloc&) {
        ThrowMemoryException();
    } catch (const std::length_error&) {
        ThrowMemoryException();
    }
    return S_OK;
}

HRESULT InstallerDataStore::AddArgument(const std::wstring& text) {
    try {
        m_items.push_back(InstallerDataItem{InstallerDataItem::BareArgument, text, nullptr});
    } catch (const std::bad_alloc&) {
        ThrowMemoryException();
    }
    return S_OK;
}

HRESULT InstallerDataStore::ApplyArguments(const wchar_t* const* argv, int argc) {
    if (argc == 0 || !argv) return E_INVALIDARG;
    for (int i = 1; i < argc; ++i) {
        const wchar_t* argument = argv[i];
        const wchar_t* equals = std::wcschr(argument, L'=');
        if (equals) {
            HRESULT hr = SetEntryFromView(std::wstring_view(argument, equals - argument), equals + 1);
            if (FAILED(hr)) return hr;
        } else {
            AddArgument(argument);
        }
    }
    return S_OK;
}

HRESULT InstallerDataStore::ApplyCommandLine(const wchar_t* commandLine) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(commandLine ? commandLine : L"", &argc);
    if (!argv) return FailureFromLastError();
    ScopedLocalMemory owner(reinterpret_cast<HLOCAL>(argv));
    return ApplyArguments(argv, argc);
}

const wchar_t* InstallerDataStore::Get(const std::wstring& key) const {
    auto found = m_entries.find(key);
    return found == m_entries.end() ? nullptr : found->second.text.c_str();
}

HRESULT InstallerDataStore::BuildArgumentBlock(wchar_t*** block, int* count) const {
    *block = nullptr;
    *count = 0;
    std::vector<std::wstring> strings;
    try {
        for (const InstallerDataItem& item : m_items) {
            if (item.kind == InstallerDataItem::BareArgument) {
                strings.push_back(item.text);
            } else if (!item.entry->second.isPrivate) {
                strings.push_back(item.entry->first + L"=" + item.entry->second.text);
            }
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }

    size_t bytes = strings.empty() ? sizeof(wchar_t*) : strings.size() * sizeof(wchar_t*);
    for (const std::wstring& s : strings) bytes += (s.size() + 1) * sizeof(wchar_t);
    auto pointers = static_cast<wchar_t**>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, bytes));
    if (!pointers) return E_OUTOFMEMORY;

    auto next = reinterpret_cast<wchar_t*>(pointers + strings.size());
    for (size_t i = 0; i < strings.size(); ++i) {
        pointers[i] = next;
        std::memcpy(next, strings[i].c_str(), (strings[i].size() + 1) * sizeof(wchar_t));
        next += strings[i].size() + 1;
    }
    *block = pointers;
    *count = static_cast<int>(strings.size());
    return S_OK;
}

HRESULT InstallerDataStore::Save(const wchar_t* keyPath) const {
    if (m_doNotSave) return S_FALSE;
    ScopedRegKey productKey;
    LONG error = RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                                 productKey.Receive(), nullptr);
    if (error != ERROR_SUCCESS) return HResultFromWin32(error);
    ScopedRegKey dataKey;
    error = RegCreateKeyExW(productKey.Get(), kInstallerDataSubkey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                            dataKey.Receive(), nullptr);
    if (error != ERROR_SUCCESS) return HResultFromWin32(error);

    std::unique_ptr<wchar_t[]> name(new (std::nothrow) wchar_t[kMaxValueNameChars]);
    if (!name) return E_OUTOFMEMORY;

    if (!m_doNotErase) {
        while (true) {
            DWORD nameChars = kMaxValueNameChars;
            if (RegEnumValueW(dataKey.Get(), 0, name.get(), &nameChars, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS) {
                break;
            }
            error = RegDeleteValueW(dataKey.Get(), name.get());
            if (error != ERROR_SUCCESS) return HResultFromWin32(error);
        }
    }

    size_t written = 0;
    size_t left = 0;
    for (const auto& [key, value] : m_entries) {
        if (!value.isPersistent) continue;
        if (written >= kMaxPersistedValues || key.size() > kMaxPersistedChars || value.text.size() > kMaxPersistedChars) {
            ++left;
            continue;
        }
        ++written;
        DWORD bytes = static_cast<DWORD>(value.text.size() * sizeof(wchar_t) + sizeof(wchar_t));
        error = RegSetValueExW(dataKey.Get(), key.c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(value.text.c_str()), bytes);
        if (error != ERROR_SUCCESS) return HResultFromWin32(error);
    }
    if (left > 0) {
        WriteDiagnosticFormat(L"Installer data: %lu persistent values not saved (at most %lu values of %lu characters)\n",
                              static_cast<unsigned long>(left), static_cast<unsigned long>(kMaxPersistedValues),
                              static_cast<unsigned long>(kMaxPersistedChars));
    }
    return S_OK;
}
