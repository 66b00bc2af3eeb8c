#pragma once
// A string-table text with the product name as %1, as the wizard's windows
// show most of their texts. Empty when the string does not exist.
// User-interface thread.
#include <windows.h>

#include <string>

#include "ui/WizardApplication.h"
#include "framework/ResourceStrings.h"

inline std::wstring LoadProductText(UINT id) {
    std::wstring pattern;
    if (!LoadResourceString(id, pattern)) return {};
    return FormatMessageText(pattern, {WizardApplication().ProductName().c_str()});
}
