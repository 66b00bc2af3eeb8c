#include "services/BrowserLaunch.h"

#include <shlwapi.h>

#include <vector>

#include "services/DesktopUserLaunch.h"
#include "services/SystemProbes.h"

namespace {
const DWORD kPathChars = 260;

// The first candidate that exists, after expanding environment variables.
std::wstring FirstExisting(std::initializer_list<std::wstring> candidates) {
    for (const std::wstring& candidate : candidates) {
        if (candidate.empty()) continue;
        std::wstring path = ExpandEnvironment(candidate);
        if (PathFileExistsW(path.c_str())) return path;
    }
    return {};
}

// The default value of Opera's "App Paths" key (user or machine), unquoted.
std::wstring ReadOperaAppPath() {
    std::vector<wchar_t> value(kPathChars + 1, L'\0');
    DWORD size = kPathChars * sizeof(wchar_t);
    DWORD type = 0;
    if (SHRegGetUSValueW(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\opera.exe", nullptr, &type,
                         value.data(), &size, FALSE, nullptr, 0) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return {};
    }
    std::wstring path = value.data();
    if (!path.empty() && path.front() == L'"') path.erase(0, 1);
    if (!path.empty() && path.back() == L'"') path.pop_back();
    return path;
}

std::wstring EdgeCommand() {
    wchar_t system[kPathChars];
    UINT length = GetSystemDirectoryW(system, kPathChars);
    if (length == 0 || length >= kPathChars) return {};
    return L"\"" + std::wstring(system, length) + L"\\cmd.exe\" /C start microsoft-edge:";
}

bool ContainsEdge(const std::wstring& text) {
    const std::wstring name = L"microsoft-edge";
    if (text.size() < name.size()) return false;
    for (size_t i = 0; i + name.size() <= text.size(); ++i) {
        if (CompareStringOrdinal(text.c_str() + i, static_cast<int>(name.size()), name.c_str(),
                                 static_cast<int>(name.size()), TRUE) == CSTR_EQUAL) {
            return true;
        }
    }
    return false;
}
}  // namespace

std::wstring FindPreferredBrowser(const std::wstring& productName) {
    const std::wstring browser = ReadInstalledInstallerDataValue(productName, L"browser");
    if (browser == L"chrome") {
        return FirstExisting({L"%ProgramFiles%\\Google\\Chrome\\Application\\chrome.exe",
                              L"%LOCALAPPDATA%\\Google\\Chrome\\Application\\chrome.exe",
                              L"%USERPROFILE%\\Local Settings\\Application Data\\Google\\Chrome\\Application\\chrome.exe"});
    }
    if (browser == L"ff") return FirstExisting({L"%ProgramFiles%\\Mozilla Firefox\\firefox.exe"});
    if (browser == L"ie") return FirstExisting({L"%ProgramFiles%\\Internet Explorer\\iexplore.exe"});
    if (browser == L"opera") return FirstExisting({ReadOperaAppPath(), L"%ProgramFiles%\\Opera\\Launcher.exe"});
    if (browser == L"edge") return EdgeCommand();
    return {};
}

std::wstring BuildBrowserCommandLine(const std::wstring& browser, const std::wstring& url, bool fromDefaultHandler) {
    if (!fromDefaultHandler && ContainsEdge(browser)) return browser + L"\"" + url + L"\"";
    return L"\"" + browser + L"\" \"" + url + L"\"";
}

std::wstring FindDefaultHttpHandler() {
    wchar_t executable[kPathChars] = L"";
    DWORD length = kPathChars;
    if (FAILED(AssocQueryStringW(ASSOCF_NONE, ASSOCSTR_EXECUTABLE, L"http", L"open", executable, &length))) return {};
    executable[kPathChars - 1] = L'\0';
    return executable;
}

HRESULT OpenUrlInBrowser(const std::wstring& productName, const std::wstring& url) {
    // A double quote would end the quoted url and pass the rest to the
    // browser as arguments of its own; in a URL it must be escaped as %22.
    if (url.empty() || url.find(L'"') != std::wstring::npos) return E_INVALIDARG;
    std::wstring browser = FindPreferredBrowser(productName);
    bool fromDefaultHandler = false;
    if (browser.empty()) {
        browser = FindDefaultHttpHandler();
        fromDefaultHandler = true;
    }
    if (browser.empty()) return OpenAsDesktopUser(url, SW_SHOWMAXIMIZED);
    return StartAsDesktopUser(BuildBrowserCommandLine(browser, url, fromDefaultHandler), SW_SHOWMAXIMIZED);
}
