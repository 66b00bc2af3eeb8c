#pragma once
// What an installer data answer of the maker's RPC endpoint may set. The
// answer comes over plain HTTP, so anyone on the network path can write it:
// it may set only the keys listed here (the switches and parameters the
// wizard reads), may persist only what a later run reads back, and may name
// addresses only on the hosts of the build configuration. Everything else is
// dropped with a log line. Used on the controller thread by the server update.
#include <windows.h>

#include <string>

class BuildConfig;
class InstallerDataStore;

// True when a server answer may set key (a stored key, aliases applied).
bool IsServerAnswerKey(const std::wstring& key);
// True when a server answer may have key written under HKEY_LOCAL_MACHINE.
bool IsServerAnswerPersistentKey(const std::wstring& key);
// True when key's value is an address the wizard calls.
bool IsServerAnswerAddressKey(const std::wstring& key);

// Replaces store with what answer may set by the rules above; an address
// whose host is not one of config's hosts (IsBuildConfigHost) is dropped,
// and so is every address when config is null.
HRESULT ApplyServerAnswer(const InstallerDataStore& answer, const BuildConfig* config, InstallerDataStore& store);
