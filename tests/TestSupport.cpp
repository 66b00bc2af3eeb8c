#include "TestSupport.h"

#include <winsock2.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <objbase.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>

#include "config/BuildConfig.h"

TemporaryDirectory::TemporaryDirectory() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    GUID guid;
    CoCreateGuid(&guid);
    wchar_t name[64];
    swprintf(name, 64, L"wrenstall-test-%08lX%04X", static_cast<unsigned long>(guid.Data1), guid.Data2);
    m_path = std::wstring(base) + name;
    std::filesystem::create_directories(m_path);
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write the fixture file";
}

std::wstring WindowsPathFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return {};
    std::wstring path = L"Z:";
    for (const char* c = value; *c; ++c) path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    return path;
}

ChildProcess::ChildProcess(const std::wstring& commandLine) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE outputWrite = nullptr;
    if (!CreatePipe(&m_outputRead, &outputWrite, &inherit, 0)) return;
    SetHandleInformation(m_outputRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = outputWrite;
    startup.hStdError = outputWrite;
    std::wstring mutableLine = commandLine;
    BOOL started = CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                  &m_info);
    CloseHandle(outputWrite);
    if (!started) return;
    m_reader = CreateThread(nullptr, 0, CollectOutput, this, 0, nullptr);
}

DWORD WINAPI ChildProcess::CollectOutput(void* self) {
    auto* child = static_cast<ChildProcess*>(self);
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(child->m_outputRead, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        child->m_output.append(buffer, read);
    }
    return 0;
}

ChildProcess::~ChildProcess() {
    if (m_info.hProcess) {
        if (WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(m_info.hProcess, 99);
        CloseHandle(m_info.hProcess);
        CloseHandle(m_info.hThread);
    }
    if (m_reader) {
        WaitForSingleObject(m_reader, 5000);
        CloseHandle(m_reader);
    }
    if (m_outputRead) CloseHandle(m_outputRead);
}

bool ChildProcess::Wait(DWORD timeoutMs, ProcessResult& result) {
    if (!m_info.hProcess) return false;
    bool ended = WaitForSingleObject(m_info.hProcess, timeoutMs) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(m_info.hProcess, 99);
    WaitForSingleObject(m_info.hProcess, 5000);
    GetExitCodeProcess(m_info.hProcess, &result.exitCode);
    if (m_reader) WaitForSingleObject(m_reader, 5000);
    result.output = m_output;
    return ended;
}

ProcessResult RunProcess(const std::wstring& commandLine, DWORD timeoutMs) {
    ChildProcess child(commandLine);
    ProcessResult result;
    EXPECT_TRUE(child.Wait(timeoutMs, result)) << "process did not end in time: " << ToUtf8(commandLine);
    return result;
}

void DeleteRegistryTree(HKEY root, const std::wstring& path) {
    RegDeleteTreeW(root, path.c_str());
    RegDeleteKeyW(root, path.c_str());
}

std::wstring BuildConfigImage(const std::vector<std::pair<std::wstring, std::wstring>>& pairs) {
    std::wstring image;
    for (const auto& [key, value] : pairs) {
        image += key;
        image += L'\0';
        image += value;
        image += L'\0';
    }
    return image;
}

void CopyWithBuildConfig(const std::wstring& source, const std::wstring& target,
                         const std::vector<std::pair<std::wstring, std::wstring>>& pairs) {
    ASSERT_TRUE(CopyFileW(source.c_str(), target.c_str(), FALSE)) << "cannot copy " << ToUtf8(source);
    std::wstring image = BuildConfigImage(pairs);
    HANDLE update = BeginUpdateResourceW(target.c_str(), FALSE);
    ASSERT_NE(update, nullptr);
    ASSERT_TRUE(UpdateResourceW(update, MAKEINTRESOURCEW(BUILD_CONFIG_RESOURCE_TYPE),
                                MAKEINTRESOURCEW(BUILD_CONFIG_RESOURCE_ID), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                image.data(), static_cast<DWORD>(image.size() * sizeof(wchar_t))));
    ASSERT_TRUE(EndUpdateResourceW(update, FALSE));
}

std::string ToUtf8(const std::wstring& text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr, nullptr);
    return utf8;
}

bool IsRunningUnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

namespace {
struct DialogSearch {
    DWORD processId;
    HWND window;
};

BOOL CALLBACK MatchVisibleDialog(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<DialogSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    if (owner == search->processId && IsWindowVisible(window) && std::wstring(className) == L"#32770") {
        search->window = window;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

HWND FindVisibleDialog(DWORD processId) {
    DialogSearch search = {processId, nullptr};
    EnumWindows(MatchVisibleDialog, reinterpret_cast<LPARAM>(&search));
    return search.window;
}

std::string UnixPathOf(const std::wstring& windowsPath) {
    using UnixFileName = char*(CDECL*)(LPCWSTR);
    auto convert = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert) return {};
    char* path = convert(windowsPath.c_str());
    if (!path) return {};
    std::string result = path;
    HeapFree(GetProcessHeap(), 0, path);
    return result;
}

namespace {
// One argument for the command line Wine splits into a Unix program's argv.
std::wstring QuotedArgument(const std::string& argument) {
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}
}  // namespace

bool RunUnixTool(const std::wstring& program, const std::vector<std::string>& arguments) {
    // Wine answers the start of a Unix program before it has run: the shell
    // around it leaves a marker file at its end, which is waited for.
    TemporaryDirectory markerFolder;
    const std::wstring marker = markerFolder.File(L"done");
    const std::string unixProgram = UnixPathOf(program);
    const std::string unixMarker = UnixPathOf(marker);
    if (unixProgram.empty() || unixMarker.empty()) return false;
    std::wstring command = L"/bin/sh -c " + QuotedArgument("m=$1; shift; \"$@\"; : > \"$m\"") + L" sh " +
                           QuotedArgument(unixMarker) + L" " + QuotedArgument(unixProgram);
    for (const std::string& argument : arguments) command += L" " + QuotedArgument(argument);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(L"Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int waited = 0; waited < 30000; waited += 20) {
        if (GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
        Sleep(20);
    }
    return false;
}

bool MakeUnixLink(const std::wstring& target, const std::wstring& link) {
    const std::string unixTarget = UnixPathOf(target);
    const std::string unixLink = UnixPathOf(link);
    if (unixTarget.empty() || unixLink.empty()) return false;
    if (!RunUnixTool(L"Z:\\bin\\ln", {"-s", "-n", unixTarget, unixLink})) return false;
    // ln has ended; a link whose target does not exist yet cannot be seen through Wine.
    return GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES ||
           GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool SetUnixMode(const std::wstring& path, const char* mode) {
    const std::string unixPath = UnixPathOf(path);
    return !unixPath.empty() && RunUnixTool(L"Z:\\bin\\chmod", {mode, unixPath});
}

bool RemoveUnixLink(const std::wstring& link) {
    const std::string unixLink = UnixPathOf(link);
    return !unixLink.empty() && RunUnixTool(L"Z:\\bin\\rm", {"-f", unixLink});
}

std::wstring RefusingEndpoint() {
    static const std::wstring endpoint = [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        // Bound and never listening, for the life of the process: connections
        // to the port are refused, and no other program can take it meanwhile.
        SOCKET held = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof(address);
        if (held == INVALID_SOCKET || bind(held, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            getsockname(held, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ADD_FAILURE() << "no port to hold for a refusing endpoint";
            return std::wstring(L"http://127.0.0.1:0");
        }
        return L"http://127.0.0.1:" + std::to_wstring(ntohs(address.sin_port));
    }();
    return endpoint;
}

namespace {
// Waits until no process of this Wine prefix matches; false after timeoutMs.
bool WaitUntilNoProcess(const std::function<bool(const PROCESSENTRY32W&)>& match, DWORD timeoutMs) {
    auto anyMatch = [&] {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snapshot == INVALID_HANDLE_VALUE) return true;
        PROCESSENTRY32W entry = {};
        entry.dwSize = sizeof(entry);
        bool found = false;
        for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry)) {
            found = match(entry);
        }
        CloseHandle(snapshot);
        return found;
    };
    for (DWORD waited = 0; anyMatch(); waited += 50) {
        if (waited >= timeoutMs) return false;
        Sleep(50);
    }
    return true;
}
}  // namespace

bool WaitForChildProcessesToEnd(DWORD timeoutMs) {
    const DWORD self = GetCurrentProcessId();
    return WaitUntilNoProcess(
        [self](const PROCESSENTRY32W& entry) { return entry.th32ParentProcessID == self && entry.th32ProcessID != self; },
        timeoutMs);
}

bool WaitUntilNotRunning(std::initializer_list<const wchar_t*> imageNames, DWORD timeoutMs) {
    return WaitUntilNoProcess(
        [&](const PROCESSENTRY32W& entry) {
            for (const wchar_t* name : imageNames) {
                if (_wcsicmp(entry.szExeFile, name) == 0) return true;
            }
            return false;
        },
        timeoutMs);
}
