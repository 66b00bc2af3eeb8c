#pragma once
// The installer data: key=value lines of one distribution (campaign token,
// offer switches and parameters). Written during start-up on the main thread
// and by the server update on the controller thread; the owner's
// InstallerDataLock keeps the user-interface thread's readers out while the
// update changes it. Texts returned by Get are valid until the store changes.
#include <windows.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

struct InstallerDataValue {
    std::wstring text;
    bool isPrivate = false;     // left out of the argument block
    bool isPersistent = false;  // written by Save
};

struct InstallerDataItem {
    enum Kind : int { BareArgument = 1, KeyValue = 2 };
    Kind kind;
    std::wstring text;                                               // BareArgument only
    const std::pair<const std::wstring, InstallerDataValue>* entry;  // KeyValue only
};

class InstallerDataStore {
public:
    InstallerDataStore() = default;
    InstallerDataStore(const InstallerDataStore&) = delete;
    InstallerDataStore& operator=(const InstallerDataStore&) = delete;

    // Clears the store and loads the lines of text.
    HRESULT Parse(const wchar_t* text);
    // NUL-terminated UTF-8; invalid sequences fail and leave the store unchanged.
    HRESULT ParseUtf8(const char* bytes);
    // Prefixes "&", "?", "@" and the key aliases apply; S_FALSE when ignored.
    // A failure to grow the store throws the out-of-memory error (CMemoryException).
    HRESULT SetEntry(const std::wstring& key, const std::wstring& value);
    HRESULT AddArgument(const std::wstring& text);
    // Arguments 1 to argc-1; argument 0 is the program name.
    HRESULT ApplyArguments(const wchar_t* const* argv, int argc);
    // Split as a program's command line, then ApplyArguments.
    HRESULT ApplyCommandLine(const wchar_t* commandLine);

    const wchar_t* Get(const std::wstring& key) const;

    // The non-private items as one LocalAlloc block: count pointers
    // followed by the NUL-terminated strings they point to. The caller frees
    // the block with LocalFree.
    HRESULT BuildArgumentBlock(wchar_t*** block, int* count) const;

    // Writes the persistent entries under HKEY_LOCAL_MACHINE keyPath\InstallerData.
    HRESULT Save(const wchar_t* keyPath) const;

    const std::vector<InstallerDataItem>& Items() const { return m_items; }
    const std::map<std::wstring, InstallerDataValue>& Entries() const { return m_entries; }
    bool DoNotErase() const { return m_doNotErase; }
    bool DoNotSave() const { return m_doNotSave; }

private:
    void Clear();
    HRESULT ParseLines(std::wstring_view text);
    HRESULT SetEntryFromView(std::wstring_view givenKey, std::wstring_view value);

    std::vector<InstallerDataItem> m_items;
    std::map<std::wstring, InstallerDataValue> m_entries;
    bool m_doNotErase = false;
    bool m_doNotSave = false;
};
