#include <mutex>

#include "framework/Exceptions.h"
#include "framework/GuidText.h"
#include "services/SystemProbes.h"

namespace {
const HRESULT kNotFound = static_cast<HRESULT>(0x80070490);

struct FixedValues {
    std::wstring architecture;
    std::wstring osVersion;
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
    });
    return values;
}
}  // namespace

HRESULT ResolveVariable(const std::wstring& name, const std::wstring& group, const PlaceholderContext& context,
                        std::wstring& value) {
    if (group == L"DATA") {
        const wchar_t* data = context.installerData ? context.installerData(name) : nullptr;
        if (!data) return kNotFound;
        value = data;
        return S_OK;
    }
    // The identifiers come from the context each time: the installation's changes after a successful install.
    if (group == L"ID" && name == L"MACH") {
        value = FormatGuidText(context.machineId);
        return S_OK;
    }
    if (group == L"ID" && name == L"INST") {
        value = FormatGuidText(context.installationId);
        return S_OK;
    }
    const FixedValues& fixed = GetFixedValues();
    const std::wstring* found = nullptr;
    if (group == L"OS" && name == L"ARK") found = &fixed.architecture;
    if (group == L"OS" && name == L"VER") found = &fixed.osVersion;
    if (!found) return kNotFound;
    value = *found;
    return S_OK;
}
