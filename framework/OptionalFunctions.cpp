#include "framework/OptionalFunctions.h"

namespace {
// The modules are loaded by every process (kernel32, ntdll) or by the program
// at start-up (advapi32), so a module handle without a new reference is enough.
template <typename Function>
Function FindFunction(const wchar_t* module, const char* name) {
    HMODULE handle = GetModuleHandleW(module);
    if (!handle) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(handle, name)));
}
}  // namespace

SetDefaultDllDirectoriesFunction FindSetDefaultDllDirectories() {
    return FindFunction<SetDefaultDllDirectoriesFunction>(L"KERNEL32.DLL", "SetDefaultDllDirectories");
}

CreateProcessWithTokenFunction FindCreateProcessWithToken() {
    return FindFunction<CreateProcessWithTokenFunction>(L"ADVAPI32.DLL", "CreateProcessWithTokenW");
}

IsWow64ProcessFunction FindIsWow64Process() {
    return FindFunction<IsWow64ProcessFunction>(L"KERNEL32.DLL", "IsWow64Process");
}

RtlGetVersionFunction FindRtlGetVersion() { return FindFunction<RtlGetVersionFunction>(L"NTDLL.DLL", "RtlGetVersion"); }

bool IsWow64() {
    IsWow64ProcessFunction isWow64Process = FindIsWow64Process();
    BOOL wow64 = FALSE;
    return isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
}
