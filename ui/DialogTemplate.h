#pragma once
// A dialog template resource parsed into its header and items, in either
// published layout (extended: version 1 and signature 0xFFFF; or classic).
// The parser reads only inside the given bytes: any field past the end fails
// the whole parse. Plain data; any thread.
#include <windows.h>

#include <string>
#include <vector>

// A name-or-ordinal field: 0 is empty, 0xFFFF is followed by an ordinal,
// anything else starts a NUL-terminated name.
struct DialogNameOrOrdinal {
    std::wstring name;
    WORD ordinal = 0;
    bool isOrdinal = false;
};

struct DialogTemplateItem {
    DWORD helpId = 0;  // extended layout only
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;  // 16 bits in the classic layout
    DialogNameOrOrdinal windowClass;
    DialogNameOrOrdinal text;  // an ordinal text is the image id of an image static
};

struct DialogTemplateInfo {
    bool extended = false;
    DWORD helpId = 0;
    DWORD exStyle = 0;
    DWORD style = 0;
    WORD itemCount = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DialogNameOrOrdinal menu;
    DialogNameOrOrdinal windowClass;
    std::wstring title;
    // Present when the style has DS_SETFONT; weight, italic and character set only in the extended layout.
    WORD pointSize = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charSet = 0;
    std::wstring faceName;
    std::vector<DialogTemplateItem> items;

    // The first item with this control id, or null.
    const DialogTemplateItem* FindItem(DWORD id) const;
};

// S_OK, or HRESULT_FROM_WIN32(ERROR_INVALID_DATA) when the bytes are not a
// complete template (info is then left empty).
HRESULT ParseDialogTemplate(const void* data, size_t size, DialogTemplateInfo& info);
