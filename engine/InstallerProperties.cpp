#include "engine/InstallerProperties.h"

#include <cwctype>

#include "config/InstallerDataStore.h"
#include "framework/DiagnosticOutput.h"

namespace {
// Properties of Windows Installer itself that decide which code or package
// data an installation uses: transforms and patches applied to the verified
// package, instance and language transforms, the top-level action and the
// execution of the script, the features, components and files installed,
// reinstallation and removal, the package's sources, and the root of its
// folders. A value for any of these from the installer data would make the
// elevated installer do something the signed package does not say.
const wchar_t* const kCodeSelectingProperties[] = {
    L"TRANSFORMS", L"TRANSFORMSATSOURCE", L"TRANSFORMSSECURE", L"PATCH", L"MSIPATCHREMOVE", L"PATCHNEWPACKAGECODE",
    L"PATCHNEWSUMMARYCOMMENTS", L"PATCHNEWSUMMARYSUBJECT", L"MSINEWINSTANCE", L"MSIINSTANCEGUID", L"PRODUCTLANGUAGE",
    L"ACTION", L"EXECUTEACTION", L"EXECUTEMODE", L"MSIFASTINSTALL", L"ADDLOCAL", L"ADDSOURCE", L"ADDDEFAULT",
    L"ADVERTISE", L"COMPADDLOCAL", L"COMPADDSOURCE", L"COMPADDDEFAULT", L"FILEADDLOCAL", L"FILEADDSOURCE",
    L"FILEADDDEFAULT", L"REINSTALL", L"REINSTALLMODE", L"REMOVE", L"SOURCELIST", L"TARGETDIR", L"ROOTDRIVE",
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
                             const std::vector<std::wstring>& guardedNames) {
    if (!IsInstallerPropertyName(key)) {
        LogDropped(key, L"(not a property name)");
        return false;
    }
    for (const wchar_t* reserved : kCodeSelectingProperties) {
        if (EqualsIgnoringCase(key, reserved)) {
            LogDropped(key, L"(selects the code or data the installer uses)");
            return false;
        }
    }
    for (const std::wstring& guarded : guardedNames) {
        if (EqualsIgnoringCase(key, guarded.c_str())) {
            LogDropped(key, L"(a folder of the package)");
            return false;
        }
    }
    if (!commandLine.empty()) commandLine += L' ';
    commandLine += key + L"=" + QuoteInstallerValue(value);
    return true;
}

void AppendInstallerDataProperties(std::wstring& commandLine, const InstallerDataStore& data,
                                   const std::vector<std::wstring>& guardedNames) {
    for (const InstallerDataItem& item : data.Items()) {
        if (item.kind == InstallerDataItem::BareArgument) {
            if (!commandLine.empty()) commandLine += L' ';
            commandLine += item.text;  // from the signed build configuration
        } else if (!item.entry->second.isPrivate) {
            AppendInstallerProperty(commandLine, item.entry->first, item.entry->second.text, guardedNames);
        }
    }
}
