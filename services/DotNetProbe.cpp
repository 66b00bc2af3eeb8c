#include <string>

#include "framework/RegistryNames.h"
#include "framework/ScopedHandles.h"
#include "services/SystemProbes.h"

namespace {
const wchar_t kNdpKey[] = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP";
const wchar_t kV4FullKey[] = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full";
const DWORD kNameChars = 260;

struct ReleaseBound {
    DWORD release;
    const wchar_t* version;
};
// The first row whose bound the Release value reaches.
const ReleaseBound kReleaseBounds[] = {
    {460798, L"4.7"},   {394802, L"4.6.2"}, {394254, L"4.6.1"}, {393295, L"4.6"},
    {379893, L"4.5.2"}, {378675, L"4.5.1"}, {378389, L"4.5"},
};

bool ReadDword(HKEY key, const wchar_t* name, DWORD& value) {
    DWORD type = 0;
    DWORD size = sizeof(value);
    return RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
           type == REG_DWORD;
}

PackedVersion ReleaseProbe() {
    ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kV4FullKey, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return 0;
    DWORD release = 0;
    if (!ReadDword(key.Get(), L"Release", release) || release == 0) return 0;
    for (const ReleaseBound& bound : kReleaseBounds) {
        if (release >= bound.release) return ParseVersion(bound.version);
    }
    return 0;
}

// The version of a key with Install = 1 and a readable Version, else 0.
PackedVersion InstalledVersion(HKEY key) {
    DWORD install = 0;
    if (!ReadDword(key, L"Install", install) || install != 1) return 0;
    std::wstring version = ReadStringOrNA(key, L"Version");
    return version == L"NA" ? 0 : ParseVersion(version);
}

PackedVersion EnumerationProbe() {
    ScopedRegKey ndp;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kNdpKey, 0, KEY_READ, ndp.Receive()) != ERROR_SUCCESS) return 0;
    PackedVersion best = 0;
    for (const std::wstring& name : ReadSubkeyNames(ndp.Get(), kNameChars)) {
        if (name.empty() || name[0] != L'v') continue;
        ScopedRegKey versionKey;
        if (RegOpenKeyExW(ndp.Get(), name.c_str(), 0, KEY_READ, versionKey.Receive()) != ERROR_SUCCESS) continue;
        PackedVersion version = InstalledVersion(versionKey.Get());
        if (version) {
            if (version > best) best = version;
            continue;
        }
        for (const std::wstring& child : ReadSubkeyNames(versionKey.Get(), kNameChars)) {
            ScopedRegKey childKey;
            if (RegOpenKeyExW(versionKey.Get(), child.c_str(), 0, KEY_READ, childKey.Receive()) != ERROR_SUCCESS) continue;
            PackedVersion childVersion = InstalledVersion(childKey.Get());
            if (childVersion > best) best = childVersion;
        }
    }
    return best;
}
}  // namespace

PackedVersion GetDotNetVersion() {
    PackedVersion release = ReleaseProbe();
    PackedVersion enumerated = EnumerationProbe();
    return release > enumerated ? release : enumerated;
}
