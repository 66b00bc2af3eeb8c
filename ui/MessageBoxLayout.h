#pragma once
// The message box's pure parts: button sets by style, built-in captions,
// accelerator keys from captions, and the placement of icon, texts and
// buttons from measured sizes. All distances are pixels. Any thread.
#include <windows.h>

#include <string>
#include <vector>

struct MessageBoxButtonSet {
    std::vector<UINT> ids;  // left to right
    bool hasCancelExit = false;
    UINT closeResult = IDOK;
};

// The button set of style bits 0-3 (values 7 to 15 count as 0).
MessageBoxButtonSet GetMessageBoxButtonSet(UINT style);

// The English caption of button id 1 to 11, used when its string is missing; empty otherwise.
const wchar_t* GetBuiltInButtonCaption(UINT id);

// The upper-case character after the first single "&" of caption, or 0 when
// there is none ("&&" is a literal ampersand).
WCHAR GetAcceleratorCharacter(const std::wstring& caption);

struct MessageBoxMetrics {
    int margin = 0;             // 7 dialog units
    int gap = 0;                // 5 dialog units
    int buttonWidth = 0;        // 50 dialog units
    int buttonHeight = 0;       // 14 dialog units
    int textWidthLimit = 0;     // 45 average character widths of the dialog font
    int minContentHeight = 0;   // 3 character heights + gap + margin
    SIZE icon = {0, 0};         // 0 x 0 without an icon
    SIZE mainText = {0, 0};     // measured word-wrapped within textWidthLimit; 0 x 0 when empty
    SIZE detailText = {0, 0};
    int buttonCount = 0;
    UINT defaultBits = 0;       // style bits 8-11 shifted down
};

struct MessageBoxLayout {
    RECT icon = {};
    RECT mainText = {};
    RECT detailText = {};
    std::vector<RECT> buttons;  // left to right, as the ids of the set
    int defaultButton = 0;
    RECT content = {};  // the white area, framed one pixel outside the client on the left, top and right
    RECT strip = {};    // the grey button strip
    SIZE client = {0, 0};
};

MessageBoxLayout ComputeMessageBoxLayout(const MessageBoxMetrics& metrics);
