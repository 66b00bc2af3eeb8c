#include <mutex>

#include "app/Program.h"
#include "framework/Exceptions.h"
#include "framework/GuidText.h"
#include "services/SystemProbes.h"

namespace {
const HRESULT kNotFound = static_cast<HRESULT>(0x80070490);

struct FixedValues {
    std::wstring architecture;
    std::wstring osVersion;
    std::wstring machineId;
    std::wstring installationId;
};

// Computed on first use and kept for the process.
const FixedValues& GetFixedValues() {
    static FixedValues values;
    static std::once_flag computed;
    std::call_once(computed, [] {
        values.architecture = IsWow64() ? L"x64" : L"x86";
        try {
            values.osVersion = FormatVersion(GetOsVersion(), 2);
        } catch (CException* e) {
            e->Delete();
        }
        values.machineId = FormatGuidText(GetProgram().m_machineId);
        values.installationId = FormatGuidText(GetProgram().m_installationId);
    });
    return values;
}
}  // namespace

HRESULT ResolveVariable(const std::wstring& name, const std::wstring& group, std::wstring& value) {
    if (!GetApplication()) return kNotFound;
    if (group == L"DATA") {
        const wchar_t* data = GetProgram().m_installerData.Get(name);
        if (!data) return kNotFound;
        value = data;
        return S_OK;
    }
    const FixedValues& fixed = GetFixedValues();
    const std::wstring* found = nullptr;
    if (group == L"OS" && name == L"ARK") found = &fixed.architecture;
    if (group == L"OS" && name == L"VER") found = &fixed.osVersion;
    if (group == L"ID" && name == L"MACH") found = &fixed.machineId;
    if (group == L"ID" && name == L"INST") found = &fixed.installationId;
    if (!found) return kNotFound;
    value = *found;
    return S_OK;
}
