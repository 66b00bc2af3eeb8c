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

// The Unix path Wine gives a Windows path (the last part need not exist), or empty.
std::string UnixPathOf(const std::wstring& windowsPath);

// Makes link a Unix symbolic link to target (Windows paths, run through
// /bin/ln). Wine follows such a link as the platform follows a junction or a
// symbolic link, so it stands in for those. True when the link is there.
bool MakeUnixLink(const std::wstring& target, const std::wstring& link);

// Removes a link made by MakeUnixLink (the link only, never where it leads).
// Links must go before their TemporaryDirectory does, whose removal would
// otherwise follow them.
bool RemoveUnixLink(const std::wstring& link);
// Runs a Unix program (a Windows path such as Z:\bin\ln) with the arguments
// and waits for it. True when it ran.
bool RunUnixTool(const std::wstring& program, const std::vector<std::string>& arguments);
// chmod mode path: "777" gives every Unix user write access, which Wine
// shows as an access rule for Everyone.
bool SetUnixMode(const std::wstring& path, const char* mode);
