#include <cstdio>
#include <string>

#include "config/InstallerDataSources.h"
#include "config/InstallerDataStore.h"

bool LoadInstallerDataFile(InstallerDataStore& store, const std::wstring& programPath) {
    if (programPath.empty()) return false;
    std::wstring dataPath = programPath + L".installer_data";
    // Text mode on purpose: CR LF arrives as LF and a 0x1A byte ends the content.
    FILE* file = _wfopen(dataPath.c_str(), L"rt");
    if (!file) return false;
    std::string content;
    char chunk[4096];
    size_t read;
    while ((read = std::fread(chunk, 1, sizeof(chunk), file)) > 0) content.append(chunk, read);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return false;
    // ParseUtf8 reads up to the first NUL, so embedded NULs end the content.
    HRESULT hr = store.ParseUtf8(content.c_str());
    return hr == S_OK || hr == S_FALSE;
}
