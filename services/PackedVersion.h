#pragma once
// Four-part version numbers (major.minor.build.revision, 16 bits each) packed
// most significant first into 64 bits, so that versions compare as numbers.
#include <windows.h>

#include <string>
#include <vector>

using PackedVersion = ULONGLONG;

inline PackedVersion MakePackedVersion(WORD major, WORD minor, WORD build, WORD revision) {
    return static_cast<ULONGLONG>(major) << 48 | static_cast<ULONGLONG>(minor) << 32 |
           static_cast<ULONGLONG>(build) << 16 | revision;
}

// Trimmed text split at "." (or "," when it has no "."), padded with zeros to
// four parts, each read as an unsigned decimal cut to 16 bits.
PackedVersion ParseVersion(const std::wstring& text);

// "%hu.%hu", "%hu.%hu.%hu" or "%hu.%hu.%hu.%hu"; any other part count raises
// the invalid-argument error.
std::wstring FormatVersion(PackedVersion version, int parts);

// The pieces between separators (empty ones included) and the rest after the
// last separator when it is not empty.
void SplitString(const std::wstring& text, const std::wstring& separator, std::vector<std::wstring>& pieces);
