// Installer properties from the installer data: key syntax, quoting by the
// installer's command-line rules, the dropped properties, and the package
// folders that the installer data may not move.
#include <gtest/gtest.h>

#include <algorithm>

#include "TestSupport.h"
#include <shellapi.h>

#include "config/InstallerDataLimits.h"
#include "config/InstallerDataStore.h"
#include "engine/InstallerProperties.h"
#include "payload/MsiPackageQueries.h"

namespace {
TEST(InstallerProperties, KeysValuesAndDroppedNames) {
    struct Case {
        const wchar_t* key;
        const wchar_t* value;
        const wchar_t* appended;  // null: dropped
    };
    const Case cases[] = {
        {L"SI_CHNL", L"7", L"SI_CHNL=7"},
        {L"_x.y2", L"C:\\a\\b", L"_x.y2=C:\\a\\b"},
        {L"SI_NOTE", L"hello world", L"SI_NOTE=\"hello world\""},
        {L"SI_NOTE", L"say \"hi\"", L"SI_NOTE=\"say \"\"hi\"\"\""},
        {L"SI_NOTE", L"", L"SI_NOTE=\"\""},
        {L"SI_NOTE", L"na\u00EFve \u65E5\u672C", L"SI_NOTE=\"na\u00EFve \u65E5\u672C\""},
        {L"A B", L"1", nullptr},
        {L"1ABC", L"1", nullptr},
        {L"K\u00C9Y", L"1", nullptr},
        {L"X=Y", L"1", nullptr},
        {L"", L"1", nullptr},
        {L"TRANSFORMS", L":evil.mst", nullptr},
        {L"Transforms", L"evil.mst", nullptr},
        {L"PATCH", L"C:\\evil.msp", nullptr},
        {L"REINSTALLMODE", L"vamus", nullptr},
        {L"TARGETDIR", L"C:\\Evil", nullptr},
        {L"INSTALLDIR", L"C:\\Evil", nullptr},  // a folder of the package (guarded below)
        // What is installed, where, for whom, and whether the machine restarts: the package decides.
        {L"INSTALLLEVEL", L"0", nullptr},
        {L"ADDLOCAL", L"ALL", nullptr},
        {L"REBOOT", L"Force", nullptr},
        {L"reboot", L"Force", nullptr},
        {L"REBOOTPROMPT", L"S", nullptr},
        {L"ALLUSERS", L"2", nullptr},
        {L"MSIINSTALLPERUSER", L"1", nullptr},
        {L"ProgramFilesFolder", L"C:\\Evil", nullptr},
        {L"SystemFolder", L"C:\\Evil", nullptr},
        {L"WindowsFolder", L"C:\\Evil", nullptr},
        {L"MSIRESTARTMANAGERCONTROL", L"Disable", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.key));
        std::wstring line;
        EXPECT_EQ(AppendInstallerProperty(line, c.key, c.value, {L"INSTALLDIR", L"ProgramFilesFolder"}), c.appended != nullptr);
        EXPECT_EQ(line, c.appended ? c.appended : L"");
    }
    std::wstring line = L"/S";
    AppendInstallerProperty(line, L"A", L"1");
    EXPECT_EQ(line, L"/S A=1");
}

// A value that tries to end its argument early (SI_CHNL=7\" /S /INSTALLDIR=C:\evil)
// reaches the offer's setup as the one argument it is, by the platform's own
// splitting rule; values without blanks or quotes stay as they are.
TEST(InstallerProperties, ProgramArgumentsFollowThePlatformsQuotingRule) {
    const wchar_t* const values[] = {
        L"7", L"7\\\" /S /INSTALLDIR=C:\\evil", L"7\" /S", L"a b", L"C:\\dir with blank\\", L"\\\\\"",
        L"", L"tab\there", L"trailing\\\\", L"\u65E5\u672C \u8A9E",
    };
    for (const wchar_t* value : values) {
        SCOPED_TRACE(ToUtf8(value));
        std::wstring line = L"\"C:\\setup.exe\"";
        ASSERT_TRUE(AppendInstallerProperty(line, L"SI_CHNL", value, {}, kProgramArgumentQuoting));
        int count = 0;
        LPWSTR* arguments = CommandLineToArgvW(line.c_str(), &count);
        ASSERT_NE(arguments, nullptr);
        EXPECT_EQ(count, 2) << ToUtf8(line);
        if (count == 2) {
            EXPECT_EQ(std::wstring(arguments[1]), std::wstring(L"SI_CHNL=") + value) << ToUtf8(line);
        }
        LocalFree(arguments);
    }
    EXPECT_EQ(QuoteProgramArgument(L"7"), L"7");
    EXPECT_EQ(QuoteProgramArgument(L"C:\\a b\\"), L"\"C:\\a b\\\\\"");
}

// Installer data of 10,000 public keys: at most kMaxPassedProperties reach
// the installer's command line, in their order, within kMaxPassedChars.
TEST(InstallerProperties, TheCommandLineIsBounded) {
    std::wstring text = L"BIG=" + std::wstring(kMaxPassedChars, L'x') + L"\r\n";
    for (int i = 0; i < 10000; ++i) text += L"K" + std::to_wstring(i) + L"=" + std::wstring(20, L'v') + L"\r\n";
    InstallerDataStore store;
    ASSERT_EQ(store.Parse(text.c_str()), S_OK);
    std::wstring line = L"/S";
    AppendInstallerDataProperties(line, store, {});
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(line.c_str(), &count);
    ASSERT_NE(arguments, nullptr);
    EXPECT_EQ(static_cast<size_t>(count), 1 + kMaxPassedProperties);
    EXPECT_EQ(std::wstring(arguments[1]), L"K0=" + std::wstring(20, L'v'));
    LocalFree(arguments);
    EXPECT_LE(line.size(), 3 + kMaxPassedChars);
}

TEST(InstallerProperties, TheStoreContributesItsPublicEntriesInOrder) {
    InstallerDataStore store;
    ASSERT_EQ(store.Parse(L"SI_CHNL=7\r\n?secret=x\r\nTRANSFORMS=a.mst\r\nSI_NOTE=a \"b\"\r\ninstalldir=C:\\Evil\r\n"), S_OK);
    std::wstring line;
    AppendInstallerDataProperties(line, store, {L"INSTALLDIR"});
    EXPECT_EQ(line, L"SI_CHNL=7 SI_NOTE=\"a \"\"b\"\"\"");
}

TEST(InstallerProperties, ThePackagesFoldersAreItsDirectoryTable) {
    const std::wstring package = WindowsPathFromEnvironment("WRENSTALL_FIXTURES") + L"\\KelvoraPackage.msi";
    std::vector<std::wstring> folders = ReadPackageDirectories(package);
    std::sort(folders.begin(), folders.end());
    // The 64-bit build's test package installs into the 64-bit Program Files.
    const wchar_t* programFiles = sizeof(void*) == 8 ? L"ProgramFiles64Folder" : L"ProgramFilesFolder";
    EXPECT_EQ(folders, (std::vector<std::wstring>{L"INSTALLDIR", programFiles, L"TARGETDIR"}));
    EXPECT_TRUE(ReadPackageDirectories(L"C:\\no\\such.msi").empty());
}
}  // namespace
