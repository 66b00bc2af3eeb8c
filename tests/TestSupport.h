#pragma once
// Helpers for tests that use the real platform under Wine: temporary folders,
// child processes, registry clean-up, and wizard copies with their own build
// configuration.
#include <windows.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

// A folder under %TEMP% that is removed with everything in it.
class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    const std::wstring& Path() const { return m_path; }
    std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }

private:
    std::wstring m_path;
};

void WriteBytes(const std::wstring& path, const std::string& bytes);

// A Unix path from the environment (set by CTest), as Wine sees it.
std::wstring WindowsPathFromEnvironment(const char* name);

struct ProcessResult {
    DWORD exitCode = 0;
    std::string output;  // standard output and standard error together
};

// Starts a program, waits for it (killing it after timeoutMs) and collects its output.
ProcessResult RunProcess(const std::wstring& commandLine, DWORD timeoutMs = 60000);

// A started program whose output is collected until it ends.
class ChildProcess {
public:
    explicit ChildProcess(const std::wstring& commandLine);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    DWORD Id() const { return m_info.dwProcessId; }
    // Waits for the end; false on timeout (the process is then killed).
    bool Wait(DWORD timeoutMs, ProcessResult& result);

private:
    static DWORD WINAPI CollectOutput(void* self);

    PROCESS_INFORMATION m_info = {};
    HANDLE m_outputRead = nullptr;
    HANDLE m_reader = nullptr;
    std::string m_output;
};

void DeleteRegistryTree(HKEY root, const std::wstring& path);

// The build configuration resource's image for the given pairs.
std::wstring BuildConfigImage(const std::vector<std::pair<std::wstring, std::wstring>>& pairs);

// Copies the wizard to target with the given build configuration resource.
void CopyWithBuildConfig(const std::wstring& source, const std::wstring& target,
                         const std::vector<std::pair<std::wstring, std::wstring>>& pairs);

std::string ToUtf8(const std::wstring& text);

// A visible top-level dialog window ("#32770") of the process, or null.
HWND FindVisibleDialog(DWORD processId);

// "http://127.0.0.1:PORT" on a port this process holds and that refuses
// every connection: an endpoint no test shares and nothing can answer.
std::wstring RefusingEndpoint();

// Waits until no process started by this one runs (a started process that has
// ended has done whatever it does at its start); false after timeoutMs.
bool WaitForChildProcessesToEnd(DWORD timeoutMs);
// Waits until no process of those image names (say L"StandInApp.exe") runs.
bool WaitUntilNotRunning(std::initializer_list<const wchar_t*> imageNames, DWORD timeoutMs);

// True when the tests run under Wine (its ntdll exports wine_get_version).
bool IsRunningUnderWine();
