#pragma once
// Files of an elevated program in folders that nobody but administrators and
// the system can change. A folder is used only when it was created here with
// that access rule, or exists already with an owner and a DACL that give no
// one else a way to write; its path may hold no link (junction, symbolic
// link, mount point): the path the opened handle really names must be the
// path asked for. The folder stays open, without delete sharing, for as long
// as the owner lives, so that it can be neither renamed nor replaced while
// its files are in use. Not copyable; any thread, one owner at a time.
#include <windows.h>

#include <string>

#include "framework/ScopedHandles.h"

// The code of a path that resolves elsewhere than it reads (a link on the
// way): ERROR_STOPPED_ON_SYMLINK (681), which older headers lack.
const HRESULT kPathThroughLink = HRESULT_FROM_WIN32(681);
// The code of an existing folder that someone besides the administrators and
// the system may change (or own).
const HRESULT kFolderNotProtected = HRESULT_FROM_WIN32(ERROR_INVALID_OWNER);

class CProtectedFolder {
public:
    enum Existing { RefuseExisting, AcceptProtectedExisting };

    CProtectedFolder() = default;
    CProtectedFolder(const CProtectedFolder&) = delete;
    CProtectedFolder& operator=(const CProtectedFolder&) = delete;

    // Creates path (its parent must exist) writable only by administrators
    // and the system, or, with AcceptProtectedExisting, opens the folder
    // that is there when it is protected so. 0 when held; otherwise the
    // reason, logged with the path, and nothing is held.
    HRESULT Open(const std::wstring& path, Existing existing);
    void Close();
    bool IsOpen() const { return m_folder.IsValid(); }
    // The folder's full path without a trailing backslash.
    const std::wstring& Path() const { return m_path; }
    HANDLE Handle() const { return m_folder.Get(); }

private:
    ScopedHandle m_folder;
    std::wstring m_path;
};

// S_OK when the handle's file is expectedPath (compared ignoring case), else
// kPathThroughLink; the path's full form is used.
HRESULT CheckHandleNamesPath(HANDLE file, const std::wstring& expectedPath);

// Creates path new (never opening what is there, never following a link at
// the name) and checks that the handle names path. The handle has DELETE
// access besides access; a file that the check refuses is deleted again.
HRESULT CreateExclusiveFile(const std::wstring& path, DWORD access, DWORD share, ScopedHandle& file);

// Opens an existing file for reading (and extraAccess) that others may read
// but neither change, rename nor delete while the handle is open, and that
// is reached through no link.
HRESULT OpenFileHeldForReading(const std::wstring& path, ScopedHandle& file, DWORD extraAccess = 0);

// The process's working folder: a new folder of a random name in the
// system's temporary folder, protected as above, made on the first call and
// kept (and removed when empty) until the process ends.
HRESULT GetWorkFolder(std::wstring& path);
