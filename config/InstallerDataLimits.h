#pragma once
// Bounds on the installer data that leaves the store: what Save writes under
// HKEY_LOCAL_MACHINE and what goes onto the command lines of the elevated
// installers. The data is unauthenticated (a trailer, a file, a per-user
// registry value, a plain-HTTP answer); without bounds it could grow the
// system registry without limit and make the installer service work for
// minutes (each property is parsed and kept by it). Real installer data has
// a few dozen entries of short values; the bounds are far above that. What
// passes a bound is left out with a log line. Parsing itself stays linear and
// unbounded: only what is persisted or passed on is limited.

// Values written under "...\InstallerData" by one Save.
const size_t kMaxPersistedValues = 64;
// Characters of one persisted name or value (a registry value name may have
// up to 16,383; nothing the wizard or the application reads back is longer
// than a URL).
const size_t kMaxPersistedChars = 2048;

// Installer data properties on one installer or setup command line.
const size_t kMaxPassedProperties = 64;
// Characters of all those properties together: well inside the 32,767 of a
// process command line, with room for the path and the build's own arguments.
const size_t kMaxPassedChars = 8192;
