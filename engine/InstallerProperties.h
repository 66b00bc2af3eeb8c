#pragma once
// Installer properties from the installer data on the command lines of the
// elevated installers (the payload and the offers' setups). The installer
// data is unauthenticated input: keys must be property names, values are
// quoted by the Windows Installer command-line rules, and properties that
// change which code or package data the installer uses are dropped (and
// logged). Called on the controller thread.
#include <string>
#include <vector>

class InstallerDataStore;

// A Windows Installer identifier: an ASCII letter or "_", then ASCII letters,
// digits, "_" or ".".
bool IsInstallerPropertyName(const std::wstring& name);

// The value as the installer's command line reads it back: unchanged when it
// is a plain token, else in double quotes with each embedded quote doubled.
std::wstring QuoteInstallerValue(const std::wstring& value);

// Appends " KEY=value" (no leading blank on an empty line) unless the key is
// not a property name, is one of the installer's own properties that select
// code or package data, or is one of guardedNames (compared ignoring case);
// a dropped property is logged. True when appended.
bool AppendInstallerProperty(std::wstring& commandLine, const std::wstring& key, const std::wstring& value,
                             const std::vector<std::wstring>& guardedNames = {});

// Every item of the store meant for the command line, in its order: the
// build configuration's bare arguments as they are, the non-private entries
// through AppendInstallerProperty.
void AppendInstallerDataProperties(std::wstring& commandLine, const InstallerDataStore& data,
                                   const std::vector<std::wstring>& guardedNames);
