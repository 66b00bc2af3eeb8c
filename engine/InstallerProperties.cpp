#include "engine/InstallerProperties.h"

#include <cwctype>

#include "config/InstallerDataLimits.h"
#include "config/InstallerDataStore.h"
#include "framework/DiagnosticOutput.h"

namespace {
// Properties of Windows Installer itself that the installer data may not
// set, because the signed package, not the data, decides them:
// - which code or package data runs: transforms and patches applied to the
//   verified package, instance and language transforms, the top-level
//   action and the execution of the script, the package's sources;
// - what is installed: the install level, the features, components and
//   files, reinstallation and removal;
// - where: the root and the system folders every package may use (the
//   package's own folders come from its Directory table, see guardedNames);
// - for whom: per-machine or per-user installation;
// - whether the machine restarts, and what the restart manager closes.
const wchar_t* const kReservedProperties[] = {
    // code and package data
    L"TRANSFORMS", L"TRANSFORMSATSOURCE", L"TRANSFORMSSECURE", L"PATCH", L"MSIPATCHREMOVE", L"PATCHNEWPACKAGECODE",
    L"PATCHNEWSUMMARYCOMMENTS", L"PATCHNEWSUMMARYSUBJECT", L"MSINEWINSTANCE", L"MSIINSTANCEGUID", L"PRODUCTLANGUAGE",
    L"ACTION", L"EXECUTEACTION", L"EXECUTEMODE", L"MSIFASTINSTALL", L"SOURCELIST", L"DISABLEROLLBACK",
    L"MSIENFORCEUPGRADECOMPONENTRULES", L"MSIDISABLELUAPATCHING", L"MSIUNINSTALLSUPERSEDEDCOMPONENTS",
    L"LIMITUI", L"MSIUSEREALADMINDETECTION",
    // what is installed
    L"INSTALLLEVEL", L"ADDLOCAL", L"ADDSOURCE", L"ADDDEFAULT", L"ADVERTISE", L"COMPADDLOCAL", L"COMPADDSOURCE",
    L"COMPADDDEFAULT", L"FILEADDLOCAL", L"FILEADDSOURCE", L"FILEADDDEFAULT", L"REINSTALL", L"REINSTALLMODE",
    L"REMOVE", L"MSIINSTALLPERUSER",
    // where
    L"TARGETDIR", L"ROOTDRIVE", L"INSTALLDIR", L"APPLICATIONFOLDER", L"AdminToolsFolder", L"AppDataFolder",
    L"CommonAppDataFolder", L"CommonFiles64Folder", L"CommonFilesFolder", L"DesktopFolder", L"FavoritesFolder",
    L"FontsFolder", L"LocalAppDataFolder", L"MyPicturesFolder", L"NetHoodFolder", L"PersonalFolder",
    L"PrintHoodFolder", L"ProgramFiles64Folder", L"ProgramFilesFolder", L"ProgramMenuFolder", L"RecentFolder",
    L"SendToFolder", L"StartMenuFolder", L"StartupFolder", L"System16Folder", L"System64Folder", L"SystemFolder",
    L"TempFolder", L"TemplateFolder", L"WindowsFolder", L"WindowsVolume",
    // for whom
    L"ALLUSERS",
    // restarts
    L"REBOOT", L"REBOOTPROMPT", L"MSIRESTARTMANAGERCONTROL", L"MSIRMSHUTDOWN", L"MSIDISABLERMRESTART",
};

bool EqualsIgnoringCase(const std::wstring& a, const wchar_t* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        if (std::towupper(a[i]) != std::towupper(b[i])) return false;
    }
    return i == a.size() && b[i] == L'\0';
}

bool IsPlainToken(const std::wstring& value) {
    if (value.empty()) return false;
    for (wchar_t c : value) {
        if (c <= L' ' || c == L'"' || c >= 0x7F) return false;
    }
    return true;
}

void LogDropped(const std::wstring& key, const wchar_t* reason) {
    WriteDiagnostic((L"Installer property dropped: \"" + key + L"\" " + reason + L"\n").c_str());
}
}  // namespace

bool IsInstallerPropertyName(const std::wstring& name) {
    if (name.empty()) return false;
    auto isLetter = [](wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c == L'_'; };
    if (!isLetter(name[0])) return false;
    for (wchar_t c : name) {
        if (!isLetter(c) && !(c >= L'0' && c <= L'9') && c != L'.') return false;
    }
    return true;
}

std::wstring QuoteProgramArgument(const std::wstring& value) {
    if (IsPlainToken(value)) return value;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : value) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only before a quote: there each one is doubled
        // and the quote itself escaped.
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');  // before the closing quote
    return quoted + L"\"";
}

bool IsReservedInstallerProperty(const std::wstring& name) {
    for (const wchar_t* reserved : kReservedProperties) {
        if (EqualsIgnoringCase(name, reserved)) return true;
    }
    return false;
}

std::wstring QuoteInstallerValue(const std::wstring& value) {
    if (IsPlainToken(value)) return value;
    std::wstring quoted = L"\"";
    for (wchar_t c : value) {
        quoted += c;
        if (c == L'"') quoted += L'"';
    }
    return quoted + L"\"";
}

bool AppendInstallerProperty(std::wstring& commandLine, const std::wstring& key, const std::wstring& value,
                             const std::vector<std::wstring>& guardedNames, ValueQuoting quoting) {
    if (!IsInstallerPropertyName(key)) {
        LogDropped(key, L"(not a property name)");
        return false;
    }
    if (IsReservedInstallerProperty(key)) {
        LogDropped(key, L"(the package decides it: code, features, folders, user or restart)");
        return false;
    }
    for (const std::wstring& guarded : guardedNames) {
        if (EqualsIgnoringCase(key, guarded.c_str())) {
            LogDropped(key, L"(a folder of the package)");
            return false;
        }
    }
    if (!commandLine.empty()) commandLine += L' ';
    commandLine += key + L"=" + (quoting == kProgramArgumentQuoting ? QuoteProgramArgument(value)
                                                                   : QuoteInstallerValue(value));
    return true;
}

void AppendInstallerDataProperties(std::wstring& commandLine, const InstallerDataStore& data,
                                   const std::vector<std::wstring>& guardedNames, ValueQuoting quoting) {
    size_t passed = 0;
    size_t left = 0;
    const size_t start = commandLine.size();
    for (const InstallerDataItem& item : data.Items()) {
        if (item.kind == InstallerDataItem::BareArgument) {
            if (!commandLine.empty()) commandLine += L' ';
            commandLine += item.text;  // from the signed build configuration
        } else if (!item.entry->second.isPrivate) {
            const size_t before = commandLine.size();
            if (passed >= kMaxPassedProperties ||
                item.entry->first.size() + item.entry->second.text.size() > kMaxPassedChars) {
                ++left;
                continue;
            }
            if (!AppendInstallerProperty(commandLine, item.entry->first, item.entry->second.text, guardedNames,
                                         quoting)) {
                continue;
            }
            if (commandLine.size() - start > kMaxPassedChars) {
                commandLine.resize(before);
                ++left;
                continue;
            }
            ++passed;
        }
    }
    if (left > 0) {
        WriteDiagnosticFormat(L"Installer data: %lu properties left off the command line (at most %lu properties, "
                              L"%lu characters)\n",
                              static_cast<unsigned long>(left), static_cast<unsigned long>(kMaxPassedProperties),
                              static_cast<unsigned long>(kMaxPassedChars));
    }
}
