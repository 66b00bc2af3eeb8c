// Probes against values the test writes into the Wine registry, and the
// version and placeholder helpers.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include "TestSupport.h"
#include "app/Program.h"
#include "framework/ScopedHandles.h"
#include "http/UserAgent.h"
#include "services/SystemProbes.h"

namespace {
const wchar_t kNdp[] = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP";
const wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

void PutValue(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& text) {
    ScopedRegKey key;
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * 2));
}

void PutNumber(HKEY root, const std::wstring& path, const wchar_t* name, DWORD number) {
    ScopedRegKey key;
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
}

// The probe looks where 32-bit installers register (the same key for a
// 32-bit test; the 32-bit view for a 64-bit one).
ScopedRegKey CreateUninstallKeyOf32BitInstallers() {
    ScopedRegKey key;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstall, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr,
                              key.Receive(), nullptr),
              ERROR_SUCCESS);
    return key;
}

TEST(PackedVersion, ParseAndFormat) {
    struct Case {
        const wchar_t* text;
        const wchar_t* four;
    };
    const Case cases[] = {{L"1,2", L"1.2.0.0"},       {L"7", L"7.0.0.0"},          {L" 4.7.02053 ", L"4.7.2053.0"},
                          {L"1.2.3.4.5", L"1.2.3.4"}, {L"70000.1", L"4464.1.0.0"}, {L"", L"0.0.0.0"}};
    for (const Case& c : cases) EXPECT_EQ(FormatVersion(ParseVersion(c.text), 4), c.four) << ToUtf8(c.text);
    EXPECT_EQ(FormatVersion(ParseVersion(L"10.0.19041.1"), 2), L"10.0");
    EXPECT_EQ(FormatVersion(ParseVersion(L"10.0.19041.1"), 3), L"10.0.19041");
    EXPECT_LT(ParseVersion(L"4.6.2"), ParseVersion(L"4.7"));
    EXPECT_THROW(FormatVersion(1, 5), CException*);
}

TEST(SplitString, KeepsEmptyPiecesButNotAnEmptyTail) {
    std::vector<std::wstring> pieces;
    SplitString(L"a,,b,", L",", pieces);
    EXPECT_EQ(pieces, (std::vector<std::wstring>{L"a", L"", L"b"}));
    pieces.clear();
    SplitString(L"x::y", L"::", pieces);
    EXPECT_EQ(pieces, (std::vector<std::wstring>{L"x", L"y"}));
}

class DotNetProbe : public testing::Test {
protected:
    void SetUp() override { DeleteRegistryTree(HKEY_LOCAL_MACHINE, kNdp); }
    void TearDown() override { DeleteRegistryTree(HKEY_LOCAL_MACHINE, kNdp); }
};

TEST_F(DotNetProbe, ReleaseTable) {
    struct Case {
        DWORD release;
        PackedVersion expected;
    };
    const Case cases[] = {{394802, ParseVersion(L"4.6.2")}, {394801, ParseVersion(L"4.6.1")},
                          {460798, ParseVersion(L"4.7")},   {378389, ParseVersion(L"4.5")},
                          {378388, 0},                      {0, 0}};
    for (const Case& c : cases) {
        PutNumber(HKEY_LOCAL_MACHINE, std::wstring(kNdp) + L"\\v4\\Full", L"Release", c.release);
        EXPECT_EQ(GetDotNetVersion(), c.expected) << c.release;
    }
}

TEST_F(DotNetProbe, EnumerationFindsTheHighestInstalledVersion) {
    PutNumber(HKEY_LOCAL_MACHINE, std::wstring(kNdp) + L"\\v4.0", L"Install", 1);
    PutValue(HKEY_LOCAL_MACHINE, std::wstring(kNdp) + L"\\v4.0", L"Version", L"4.0.0.0");
    PutNumber(HKEY_LOCAL_MACHINE, std::wstring(kNdp) + L"\\v4\\Full", L"Install", 1);
    PutValue(HKEY_LOCAL_MACHINE, std::wstring(kNdp) + L"\\v4\\Full", L"Version", L"4.7.02053");
    PutNumber(HKEY_LOCAL_MACHINE, std::wstring(kNdp) + L"\\V9", L"Install", 1);  // upper-case V is skipped
    PutValue(HKEY_LOCAL_MACHINE, std::wstring(kNdp) + L"\\V9", L"Version", L"9.0");
    EXPECT_EQ(FormatVersion(GetDotNetVersion(), 4), L"4.7.2053.0");
}

// Keys set up by other installers may grant no more than reading: the probe
// asks for no more.
TEST(ProductProbes, UninstallKeysAreOpenedForReadingOnly) {
    ScopedRegKey uninstall = CreateUninstallKeyOf32BitInstallers();
    const std::wstring path = L"WrenstallReadOnly" + std::to_wstring(GetCurrentProcessId());
    PutValue(uninstall.Get(), path, L"DisplayName", L"Read Only Test Product");
    PutValue(uninstall.Get(), path, L"UninstallString", L"readonly.exe /x");
    auto setAccess = [&](const wchar_t* sddl) {
        ScopedRegKey key;
        ASSERT_EQ(RegOpenKeyExW(uninstall.Get(), path.c_str(), 0, WRITE_DAC, key.Receive()), ERROR_SUCCESS);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr));
        ScopedLocalMemory owner(descriptor);
        ASSERT_EQ(RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
    };
    setAccess(L"D:P(A;;KR;;;WD)");
    ScopedRegKey full;
    ASSERT_EQ(RegOpenKeyExW(uninstall.Get(), path.c_str(), 0, KEY_ALL_ACCESS, full.Receive()), ERROR_ACCESS_DENIED);
    EXPECT_EQ(FindUninstallString(L"read only test product"), L"readonly.exe /x");
    setAccess(L"D:P(A;;KA;;;WD)");
    DeleteRegistryTree(uninstall.Get(), path);
}

TEST(ProductProbes, UninstallStringOfTheLastMatch) {
    ScopedRegKey uninstall = CreateUninstallKeyOf32BitInstallers();
    PutValue(uninstall.Get(), L"WrenstallTestA", L"DisplayName", L"Velmora Test Product");
    PutValue(uninstall.Get(), L"WrenstallTestA", L"UninstallString", L"first.exe /x");
    PutValue(uninstall.Get(), L"WrenstallTestB", L"DisplayName", L"VELMORA test PRODUCT");
    PutValue(uninstall.Get(), L"WrenstallTestB", L"UninstallString", L"second.exe /x");
    EXPECT_EQ(FindUninstallString(L"velmora test product"), L"second.exe /x");
    EXPECT_EQ(FindUninstallString(L"No Such Product"), L"");
    DeleteRegistryTree(uninstall.Get(), L"WrenstallTestA");
    DeleteRegistryTree(uninstall.Get(), L"WrenstallTestB");
}

TEST(ProductProbes, OffersAlreadyInstalled) {
    const wchar_t nox[] = L"SOFTWARE\\Tarnwell Utilities, Inc.\\Velmora Cleaner Plus";
    const wchar_t gearfresh[] = L"SOFTWARE\\Tarnwell Utilities Inc\\Gearfresh";
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, nox);
    DeleteRegistryTree(HKEY_CURRENT_USER, gearfresh);
    std::wstring reason;
    EXPECT_TRUE(IsNoxInstallable(reason));
    EXPECT_TRUE(IsGearfreshInstallable(reason));
    EXPECT_EQ(reason, L"");

    PutValue(HKEY_LOCAL_MACHINE, nox, L"x", L"1");
    PutValue(HKEY_CURRENT_USER, gearfresh, L"x", L"1");
    EXPECT_FALSE(IsNoxInstallable(reason));
    EXPECT_EQ(reason, L"Already installed.");
    EXPECT_FALSE(IsGearfreshInstallable(reason));
    EXPECT_EQ(reason, L"Already installed. Already installed.");
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, nox);
    DeleteRegistryTree(HKEY_CURRENT_USER, gearfresh);
}

TEST(ProductProbes, PathsAndStrings) {
    SetEnvironmentVariableW(L"WRENSTALL_TEST_VAR", L"expanded");
    EXPECT_EQ(ExpandEnvironment(L"a-%WRENSTALL_TEST_VAR%-b"), L"a-expanded-b");
    wchar_t programFiles[MAX_PATH];
    GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH);
    EXPECT_EQ(ExpandProgramFilesPath(L"%ProgramFiles%\\Kelvora\\Kelvora.exe"),
              std::wstring(programFiles) + L"\\Kelvora\\Kelvora.exe");
    EXPECT_FALSE(GetCommonDocumentsFolder().empty());
    ScopedRegKey key;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, KEY_READ, key.Receive());
    EXPECT_EQ(ReadStringOrNA(key.Get(), L"NoSuchValueHere"), L"NA");
}

TEST(SystemProbes, VersionsAndArchitecture) {
    // A 32-bit Wine prefix: no WOW64.
    EXPECT_FALSE(IsWow64());
    PackedVersion os = GetOsVersion();
    EXPECT_NE(os, 0u);
    EXPECT_TRUE(IsOsVersionAtLeast(5, 1));
    EXPECT_FALSE(IsOsVersionAtLeast(99, 0));
    EXPECT_EQ(GetPlatformText(), L"platformOS=Windows&platformOSVersion=" + FormatVersion(os, 2));
    std::wstring agent;
    ASSERT_EQ(WinHTTP::BuildUserAgent(L"Setup", L"2.21.0", agent), S_OK);
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&info);
    EXPECT_EQ(agent, L"Setup Installer/2.21.0 (os:windows; ver:" + std::to_wstring(info.dwMajorVersion) + L"." +
                         std::to_wstring(info.dwMinorVersion) + L"; arc:IA32)");
    ASSERT_EQ(WinHTTP::BuildUserAgent(L"Setup", L"", agent), S_OK);
    EXPECT_EQ(agent.rfind(L"Setup Installer (os:windows;", 0), 0u);
}

TEST(PlaceholderVariables, Groups) {
    InstallerDataStore data;
    data.Parse(L"campaign=spring");
    PlaceholderContext context;
    context.machineId = {0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    context.installerData = [&data](const std::wstring& key) { return data.Get(key); };
    std::wstring value;
    EXPECT_EQ(ResolveVariable(L"ARK", L"OS", context, value), S_OK);
    EXPECT_EQ(value, L"x86");
    EXPECT_EQ(ResolveVariable(L"VER", L"OS", context, value), S_OK);
    EXPECT_EQ(value, FormatVersion(GetOsVersion(), 2));
    EXPECT_EQ(ResolveVariable(L"MACH", L"ID", context, value), S_OK);
    EXPECT_EQ(value, L"01234567-89AB-CDEF-0123-456789ABCDEF");
    EXPECT_EQ(ResolveVariable(L"INST", L"ID", context, value), S_OK);
    EXPECT_EQ(value, L"00000000-0000-0000-0000-000000000000");
    EXPECT_EQ(ResolveVariable(L"campaign", L"DATA", context, value), S_OK);
    EXPECT_EQ(value, L"spring");
    const HRESULT notFound = static_cast<HRESULT>(0x80070490);
    EXPECT_EQ(ResolveVariable(L"missing", L"DATA", context, value), notFound);
    EXPECT_EQ(ResolveVariable(L"ark", L"OS", context, value), notFound);
    EXPECT_EQ(ResolveVariable(L"ARK", L"os", context, value), notFound);
}
}  // namespace
