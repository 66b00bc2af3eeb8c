// wrenstall-check: runs parts of the wizard without its windows, for release
// engineers and distribution sites.
#include <windows.h>

#include "CheckCommands.h"
#include "ConsoleOutput.h"
#include "framework/Exceptions.h"

namespace {
struct Subcommand {
    const wchar_t* name;
    int (*run)(const CheckArguments&);
    const wchar_t* usage;
};

const Subcommand kSubcommands[] = {
    {L"configure", RunConfigureCommand,
     L"configure EXE OUT KEY=VALUE...   copy EXE to OUT with those build configuration pairs (KEY= removes)"},
    {L"data", RunDataCommand, L"data [EXE]             the installer data EXE would load at start-up"},
    {L"fetch", RunFetchCommand, L"fetch URL OUTFILE      download URL with resume into OUTFILE"},
    {L"verify", RunVerifyCommand, L"verify FILE [--signer EXE]   accept FILE by EXE's signature (default: this tool's)"},
    {L"unpack", RunUnpackCommand, L"unpack IN OUT          the decompressed bytes of bzip2 file IN"},
    {L"package", RunPackageCommand, L"package MSI            the package's ProductCode, ProductVersion, installed state"},
    {L"version", RunVersionCommand, L"version FILE           the version strings and fixed version of FILE"},
    {L"install", RunInstallCommand,
     L"install [EXE] [--accept nox|gearfresh ...] [--cancel-after download|extract|install|scan]\n"
     L"                         run the installation engine with EXE's configuration, data and signer"},
};

int PrintUsage() {
    std::wstring text = L"usage: wrenstall-check COMMAND [ARGUMENTS]\n";
    for (const Subcommand& command : kSubcommands) text += std::wstring(L"  ") + command.usage + L"\n";
    PrintError(text);
    return 2;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return PrintUsage();
    for (const Subcommand& command : kSubcommands) {
        if (std::wstring(argv[1]) != command.name) continue;
        CheckArguments arguments(argv + 2, argv + argc);
        try {
            return command.run(arguments);
        } catch (CException* e) {
            wchar_t message[512] = L"unexpected error";
            e->GetErrorMessage(message, ARRAYSIZE(message));
            e->Delete();
            PrintError(std::wstring(L"wrenstall-check: ") + message + L"\n");
            return 1;
        }
    }
    return PrintUsage();
}
