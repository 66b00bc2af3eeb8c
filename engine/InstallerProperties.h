#pragma once
// Installer properties from the installer data on the command lines of the
// elevated installers (the payload and the offers' setups). The installer
// data is unauthenticated input: keys must be property names, values are
// quoted by the rules of the program that reads the line (the installer
// service's for a package, the platform's argument rules for a program),
// properties that change which code or package data the installer uses,
// what is installed, where, for whom, or whether the machine restarts are
// dropped (and logged), and the count and size passed on are bounded
// (config/InstallerDataLimits.h). Called on the controller thread.
#include <string>
#include <vector>

class InstallerDataStore;

enum ValueQuoting {
    kInstallerQuoting,        // Windows Installer: "..." with embedded quotes doubled
    kProgramArgumentQuoting,  // a program's argv (CommandLineToArgvW): backslashes before a quote
};

// A Windows Installer identifier: an ASCII letter or "_", then ASCII letters,
// digits, "_" or ".".
bool IsInstallerPropertyName(const std::wstring& name);

// The value as the installer's command line reads it back: unchanged when it
// is a plain token, else in double quotes with each embedded quote doubled.
std::wstring QuoteInstallerValue(const std::wstring& value);

// The value as one argument of a program's command line reads it back (the
// platform's splitting rule): unchanged when it is a plain token, else in
// double quotes, with the backslashes before a quote (and before the closing
// quote) doubled and each embedded quote escaped with a backslash.
std::wstring QuoteProgramArgument(const std::wstring& value);

// True when the installer data may not set the property: one of the
// installer's own properties listed above (compared ignoring case).
bool IsReservedInstallerProperty(const std::wstring& name);

// Appends " KEY=value" (no leading blank on an empty line) unless the key is
// not a property name, is reserved (IsReservedInstallerProperty), or is one
// of guardedNames (compared ignoring case); a dropped property is logged.
// True when appended.
bool AppendInstallerProperty(std::wstring& commandLine, const std::wstring& key, const std::wstring& value,
                             const std::vector<std::wstring>& guardedNames = {},
                             ValueQuoting quoting = kInstallerQuoting);

// Every item of the store meant for the command line, in its order: the
// build configuration's bare arguments as they are, the non-private entries
// through AppendInstallerProperty, up to kMaxPassedProperties entries and
// kMaxPassedChars characters (the rest is left out with a log line).
void AppendInstallerDataProperties(std::wstring& commandLine, const InstallerDataStore& data,
                                   const std::vector<std::wstring>& guardedNames,
                                   ValueQuoting quoting = kInstallerQuoting);
