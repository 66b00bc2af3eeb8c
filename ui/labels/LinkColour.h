#pragma once
// The colour links are drawn in: the theme's hot-light colour when it can be
// read on the background behind the link (a contrast ratio of at least 4.5:1,
// as text needs), else a fixed link blue, else the label's own text colour.
#include <windows.h>

// The contrast ratio of two colours, 1 (same luminance) to 21 (black on white).
double ContrastRatio(COLORREF first, COLORREF second);

COLORREF ChooseLinkColour(COLORREF themeLink, COLORREF background, COLORREF text);

// The fixed link blue (#0066CC): 5.6:1 on white, 4.9:1 on the light grey of dialogs.
const COLORREF kFixedLinkBlue = RGB(0x00, 0x66, 0xCC);
