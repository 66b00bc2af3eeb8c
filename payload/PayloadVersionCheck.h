#pragma once
// Refusing a downgrade: a signed package of the maker that is older than the
// product already installed, or than the version this build of the wizard
// was made for, is not installed (an attacker who can answer a plain-HTTP
// request would otherwise bring back a release with known faults). Called on
// the controller thread with a checked, held package.
#include <windows.h>

#include <string>

#include "services/PackedVersion.h"

// The result of a refused downgrade (its own code, so the wizard and its
// tracking can tell it from a failed installation).
const HRESULT kPayloadDowngrade = static_cast<HRESULT>(0xA0060001);

// 0 when packagePath's ProductVersion is at least minimum (0: no minimum) and
// at least every installed product of its UpgradeCode and the file version of
// appExe (empty: none); otherwise kPayloadDowngrade, logged with both
// versions. installed gets the newest version found (0 when none).
HRESULT CheckNotADowngrade(const std::wstring& packagePath, const std::wstring& appExe, PackedVersion minimum,
                           PackedVersion& installed);
