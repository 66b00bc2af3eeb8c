// wrenstall-check: runs parts of the wizard without its windows, for release
// engineers and distribution sites.
#include <windows.h>

#include "CheckCommands.h"
#include "ConsoleOutput.h"
#include "framework/ExceptionCodes.h"
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

std::wstring UsageText() {
    std::wstring text = L"usage: wrenstall-check COMMAND [ARGUMENTS]\n"
                        L"       wrenstall-check --help | COMMAND --help\n"
                        L"Runs parts of the wizard without its windows. Commands:\n";
    for (const Subcommand& command : kSubcommands) text += std::wstring(L"  ") + command.usage + L"\n";
    text += L"Failures are printed on standard error with the HRESULT and its text; the exit status is 0 on\n"
            L"success, 1 on failure and 2 for a wrong command line.\n";
    return text;
}

bool IsHelpOption(const std::wstring& argument) {
    return argument == L"--help" || argument == L"-h" || argument == L"/?";
}

int Run(const Subcommand& command, const CheckArguments& arguments) {
    for (const std::wstring& argument : arguments) {
        if (IsHelpOption(argument)) {
            PrintOut(std::wstring(L"usage: wrenstall-check ") + command.usage + L"\n");
            return 0;
        }
    }
    try {
        return command.run(arguments);
    } catch (CException* e) {
        HRESULT hr = HResultFromException(e);
        wchar_t message[512] = L"unexpected error";
        e->GetErrorMessage(message, ARRAYSIZE(message));
        e->Delete();
        PrintFailure(std::wstring(command.name) + L" stopped (" + message + L")", hr);
        return 1;
    }
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        PrintError(UsageText());
        return 2;
    }
    const std::wstring name = argv[1];
    if (IsHelpOption(name) || name == L"help") {
        PrintOut(UsageText());
        return 0;
    }
    for (const Subcommand& command : kSubcommands) {
        if (name == command.name) return Run(command, CheckArguments(argv + 2, argv + argc));
    }
    PrintError(L"wrenstall-check: unknown command \"" + name + L"\"\n" + UsageText());
    return 2;
}
