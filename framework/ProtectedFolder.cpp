#include "framework/ProtectedFolder.h"

#include <aclapi.h>
#include <objbase.h>
#include <sddl.h>

#include <cstdio>
#include <mutex>
#include <vector>

#include "framework/DiagnosticOutput.h"
#include "framework/Win32Error.h"

namespace {
// Administrators and the system have full control of the folder and of what
// is made in it; nothing is inherited from the parent, which may be a folder
// every user can write.
const wchar_t kProtectedFolderRule[] = L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
const wchar_t kProtectedFolderRuleNoOwner[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
const wchar_t kTrustedInstaller[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
// Every right that changes a folder, its entries or its rules.
const ACCESS_MASK kChangingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                    FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                    GENERIC_ALL | MAXIMUM_ALLOWED;
const int kNameAttempts = 16;

std::mutex g_ownOwnerLock;
std::vector<BYTE> g_ownOwner;  // the owner this process's new folders get

void LogRefusal(const wchar_t* what, HRESULT hr, const std::wstring& path) {
    wchar_t line[200];
    std::swprintf(line, 200, L"Protected folder: %ls (0x%08lX): ", what, static_cast<unsigned long>(hr));
    WriteDiagnostic((line + path + L"\n").c_str());
}

std::wstring FullPath(const std::wstring& path) {
    DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (length == 0) return path;
    std::vector<wchar_t> buffer(length + 1);
    length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0 || length >= buffer.size()) return path;
    std::wstring full(buffer.data(), length);
    while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
    return full;
}

// The path the handle's file really has, in the DOS form ("\\?\" removed).
HRESULT FinalPathOf(HANDLE file, std::wstring& path) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD length = GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()),
                                                 FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return FailureFromLastError();
        if (length < buffer.size()) {
            path.assign(buffer.data(), length);
            break;
        }
        buffer.resize(length + 1);
    }
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
        path = L"\\" + path.substr(7);
    } else if (path.compare(0, 4, L"\\\\?\\") == 0) {
        path = path.substr(4);
    }
    return S_OK;
}

bool SidIs(PSID sid, WELL_KNOWN_SID_TYPE type) {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(buffer);
    return CreateWellKnownSid(type, nullptr, buffer, &size) && EqualSid(sid, buffer);
}

bool SidIsText(PSID sid, const wchar_t* text) {
    PSID other = nullptr;
    if (!ConvertStringSidToSidW(text, &other)) return false;
    ScopedLocalMemory owner(other);
    return EqualSid(sid, other) != FALSE;
}

bool IsTrustedSid(PSID sid) {
    if (!sid || !IsValidSid(sid)) return false;
    if (SidIs(sid, WinBuiltinAdministratorsSid) || SidIs(sid, WinLocalSystemSid) || SidIsText(sid, kTrustedInstaller)) {
        return true;
    }
    std::lock_guard<std::mutex> lock(g_ownOwnerLock);
    return !g_ownOwner.empty() && EqualSid(sid, g_ownOwner.data());
}

// S_OK when only trusted accounts own or may change the folder.
HRESULT CheckOnlyTrustedMayChange(HANDLE folder) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error = GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                  &owner, nullptr, &dacl, nullptr, &descriptor);
    if (error != ERROR_SUCCESS) return HResultFromWin32(static_cast<LONG>(error));
    ScopedLocalMemory descriptorOwner(descriptor);
    if (!IsTrustedSid(owner) || !dacl) return kFolderNotProtected;  // no DACL: everyone may do anything
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) return FailureFromLastError();
        if (header->AceFlags & INHERIT_ONLY_ACE) continue;  // applies to what is made inside, not to the folder
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return kFolderNotProtected;  // a rule we cannot judge
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        if ((ace->Mask & kChangingRights) && !IsTrustedSid(reinterpret_cast<PSID>(&ace->SidStart))) {
            return kFolderNotProtected;
        }
    }
    return S_OK;
}

void RememberOwnOwner(HANDLE folder) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
        return;
    }
    ScopedLocalMemory descriptorOwner(descriptor);
    if (!owner || !IsValidSid(owner)) return;
    std::lock_guard<std::mutex> lock(g_ownOwnerLock);
    if (!g_ownOwner.empty()) return;
    const BYTE* bytes = static_cast<const BYTE*>(owner);
    g_ownOwner.assign(bytes, bytes + GetLengthSid(owner));
}

BOOL CreateProtectedDirectory(const std::wstring& path) {
    for (const wchar_t* rule : {kProtectedFolderRule, kProtectedFolderRuleNoOwner}) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(rule, SDDL_REVISION_1, &descriptor, nullptr)) {
            return FALSE;
        }
        ScopedLocalMemory owner(descriptor);
        SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
        if (CreateDirectoryW(path.c_str(), &attributes)) return TRUE;
        // Without the right to name the administrators as owner the process's default owner stays.
        if (GetLastError() != ERROR_INVALID_OWNER) return FALSE;
    }
    return FALSE;
}

struct WorkFolder {
    CProtectedFolder folder;
    ~WorkFolder() {
        std::wstring path = folder.Path();
        folder.Close();
        if (!path.empty()) RemoveDirectoryW(path.c_str());  // only when nothing was left in it
    }
};

std::wstring RandomName(const wchar_t* prefix) {
    GUID guid = {};
    CoCreateGuid(&guid);
    wchar_t name[40];
    std::swprintf(name, 40, L"%ls%08lX%04X", prefix, static_cast<unsigned long>(guid.Data1), guid.Data2);
    return name;
}
}  // namespace

HRESULT CheckHandleNamesPath(HANDLE file, const std::wstring& expectedPath) {
    std::wstring actual;
    HRESULT hr = FinalPathOf(file, actual);
    if (FAILED(hr)) return hr;
    const std::wstring expected = FullPath(expectedPath);
    if (CompareStringOrdinal(actual.c_str(), static_cast<int>(actual.size()), expected.c_str(),
                             static_cast<int>(expected.size()), TRUE) != CSTR_EQUAL) {
        WriteDiagnostic((L"Path check: " + expected + L" leads to " + actual + L"\n").c_str());
        return kPathThroughLink;
    }
    return S_OK;
}

HRESULT CProtectedFolder::Open(const std::wstring& path, Existing existing) {
    Close();
    const std::wstring full = FullPath(path);
    if (existing == AcceptProtectedExisting) {
        std::wstring work;
        HRESULT hr = GetWorkFolder(work);  // learns the owner this process's own folders get
        if (FAILED(hr)) return hr;
    }
    bool created = CreateProtectedDirectory(full) != FALSE;
    if (!created && (GetLastError() != ERROR_ALREADY_EXISTS || existing == RefuseExisting)) {
        HRESULT hr = FailureFromLastError();
        LogRefusal(L"cannot create", hr, full);
        return hr;
    }
    // Without delete sharing the folder cannot be renamed or removed while it is held.
    ScopedHandle folder(CreateFileW(full.c_str(),
                                    READ_CONTROL | FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE | (created ? DELETE : 0),
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder) {
        HRESULT hr = FailureFromLastError();
        LogRefusal(L"cannot open", hr, full);
        return hr;
    }
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!GetFileInformationByHandle(folder.Get(), &information)) return FailureFromLastError();
    HRESULT hr = S_OK;
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        hr = kPathThroughLink;
    }
    if (SUCCEEDED(hr)) hr = CheckHandleNamesPath(folder.Get(), full);
    if (SUCCEEDED(hr) && !created) hr = CheckOnlyTrustedMayChange(folder.Get());
    if (FAILED(hr)) {
        if (created) {
            // Made wherever the link led: it goes again.
            FILE_DISPOSITION_INFO disposition = {TRUE};
            SetFileInformationByHandle(folder.Get(), FileDispositionInfo, &disposition, sizeof(disposition));
        }
        LogRefusal(created ? L"the new folder is reached through a link" : L"the existing folder is not protected", hr,
                   full);
        return hr;
    }
    m_folder = std::move(folder);
    m_path = full;
    return S_OK;
}

void CProtectedFolder::Close() {
    m_folder.Reset();
    m_path.clear();
}

HRESULT CreateExclusiveFile(const std::wstring& path, DWORD access, DWORD share, ScopedHandle& file) {
    file.Reset();
    ScopedHandle created(CreateFileW(path.c_str(), access | DELETE, share, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!created) return FailureFromLastError();
    HRESULT hr = CheckHandleNamesPath(created.Get(), path);
    if (FAILED(hr)) {
        FILE_DISPOSITION_INFO disposition = {TRUE};
        SetFileInformationByHandle(created.Get(), FileDispositionInfo, &disposition, sizeof(disposition));
        return hr;
    }
    file = std::move(created);
    return S_OK;
}

HRESULT OpenFileHeldForReading(const std::wstring& path, ScopedHandle& file, DWORD extraAccess) {
    file.Reset();
    ScopedHandle opened(CreateFileW(path.c_str(), GENERIC_READ | extraAccess, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!opened) return FailureFromLastError();
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!GetFileInformationByHandle(opened.Get(), &information)) return FailureFromLastError();
    if (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) {
        return kPathThroughLink;
    }
    HRESULT hr = CheckHandleNamesPath(opened.Get(), path);
    if (FAILED(hr)) return hr;
    file = std::move(opened);
    return S_OK;
}

HRESULT GetWorkFolder(std::wstring& path) {
    static std::mutex lock;
    static WorkFolder work;
    std::lock_guard<std::mutex> guard(lock);
    if (!work.folder.IsOpen()) {
        wchar_t windows[MAX_PATH];
        UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return FailureFromLastError();
        const std::wstring base = std::wstring(windows, length) + L"\\Temp\\";
        HRESULT hr = E_FAIL;
        for (int attempt = 0; attempt < kNameAttempts && !work.folder.IsOpen(); ++attempt) {
            hr = work.folder.Open(base + RandomName(L"wrs"), CProtectedFolder::RefuseExisting);
            if (hr != HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS)) break;
        }
        if (FAILED(hr)) return hr;
        RememberOwnOwner(work.folder.Handle());
    }
    path = work.folder.Path();
    return S_OK;
}
