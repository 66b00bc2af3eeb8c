// wrenstall-check data: what it reports about the installer data sources of
// a program file, run as a separate process.
#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "framework/ScopedHandles.h"

namespace {
const wchar_t kWizardKey[] = L"SOFTWARE\\Tarnwell Utilities Inc\\Wrenstall";
const wchar_t kDebugKey[] = L"SOFTWARE\\Tarnwell Utilities Inc\\Wrenstall\\DebugInstallerData";

// The bytes of a real program (the stand-in application), which the data
// command requires before it reads a trailer.
std::string ProgramImage() {
    std::string bytes;
    ScopedHandle file(CreateFileW(WindowsPathFromEnvironment("WRENSTALL_STANDIN_EXE").c_str(), GENERIC_READ,
                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    char buffer[65536];
    DWORD read = 0;
    while (file && ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) bytes.append(buffer, read);
    return bytes;
}

std::string Footer(uint32_t length) {
    std::string footer;
    for (int i = 0; i < 4; ++i) footer += static_cast<char>(length >> (8 * i));
    return footer + "TWPL";
}

// prefix, then count bytes of 'x', then suffix, written in blocks.
void WriteLargeFile(const std::wstring& path, const std::string& prefix, size_t count, const std::string& suffix) {
    ScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    WriteFile(file.Get(), prefix.data(), static_cast<DWORD>(prefix.size()), &written, nullptr);
    const std::string block(1 << 20, 'x');
    for (size_t left = count; left > 0;) {
        DWORD part = static_cast<DWORD>(left < block.size() ? left : block.size());
        ASSERT_TRUE(WriteFile(file.Get(), block.data(), part, &written, nullptr));
        left -= part;
    }
    WriteFile(file.Get(), suffix.data(), static_cast<DWORD>(suffix.size()), &written, nullptr);
}

class CheckData : public testing::Test {
protected:
    void SetUp() override {
        m_check = WindowsPathFromEnvironment("WRENSTALL_CHECK_EXE");
        ASSERT_FALSE(m_check.empty()) << "WRENSTALL_CHECK_EXE is not set";
        DeleteRegistryTree(HKEY_CURRENT_USER, kWizardKey);
    }
    void TearDown() override { DeleteRegistryTree(HKEY_CURRENT_USER, kWizardKey); }

    ProcessResult Data(const std::wstring& program) {
        return RunProcess(L"\"" + m_check + L"\" data \"" + program + L"\"", 300000);
    }

    std::wstring m_check;
    TemporaryDirectory m_folder;
    const std::wstring m_program = m_folder.File(L"setup.exe");
};

TEST_F(CheckData, SourceThatCannotBeReadIsReportedWithItsCode) {
    WriteBytes(m_program, ProgramImage() + "a=\xFF" + Footer(3));
    ProcessResult result = Data(m_program);
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_NE(result.output.find("source: none"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("not loaded: trailer 0x80070459 "), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("server: asked next"), std::string::npos) << result.output;
}

TEST_F(CheckData, MarkersArgumentsAndTheConsumedDebugValue) {
    ScopedRegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kDebugKey) + L"\\Child").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kDebugKey, 0, KEY_ALL_ACCESS, key.Receive()), ERROR_SUCCESS);
    const wchar_t lines[] = L"+DO_NOT_SAVE+\0?a=1\0";
    ASSERT_EQ(RegSetValueExW(key.Get(), L"IDPF", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(lines), sizeof(lines)),
              ERROR_SUCCESS);
    key.Reset();
    const std::wstring wizard = m_folder.File(L"wizard.exe");
    CopyWithBuildConfig(WindowsPathFromEnvironment("WRENSTALL_EXE"), wizard, {{L"InstallerData", L"x bare b=2"}});

    ProcessResult result = Data(wizard);
    EXPECT_EQ(result.exitCode, 0u) << result.output;
    std::string output;
    for (char c : result.output) {
        if (c != '\r') output += c;
    }
    EXPECT_EQ(output,
              "source: debug\ndebug value: removed\nserver: not asked\nmarker: +DO_NOT_SAVE+\nargument: bare\n"
              "a\t1\tprivate\nb\t2\t-\n");
}

// One line of 200 MB in the trailer, and a data file of 300 MB: either loaded
// whole or refused for want of memory, never an abort.
TEST_F(CheckData, HugeLineAndHugeFileEndInAnAnswer) {
    const size_t lineBytes = 200u << 20;
    WriteLargeFile(m_program, ProgramImage() + "?big=", lineBytes, Footer(static_cast<uint32_t>(lineBytes + 5)));
    ProcessResult trailer = Data(m_program);
    EXPECT_TRUE((trailer.exitCode == 0 && trailer.output.find("source: trailer") != std::string::npos) ||
                (trailer.exitCode == 1 && trailer.output.find("not loaded: trailer 0x8007000E") != std::string::npos))
        << trailer.exitCode << " " << trailer.output.substr(0, 400);
    DeleteFileW(m_program.c_str());

    WriteBytes(m_program, ProgramImage());
    WriteLargeFile(m_program + L".installer_data", "a=1\n", 300u << 20, "\nz=2\n");
    ProcessResult file = Data(m_program);
    EXPECT_TRUE((file.exitCode == 0 && file.output.find("source: file") != std::string::npos) ||
                (file.exitCode == 1 && file.output.find("not loaded: file 0x8007000E") != std::string::npos))
        << file.exitCode << " " << file.output.substr(0, 400);
}
}  // namespace
