#pragma once
// The background behind a transparent label: the parent answers the static
// colour message for the label's device context (setting the text colour and
// returning its background brush, lined up with the label's position), and
// the label's client area is filled with that brush. Without a brush the
// device context is left as it is. User-interface thread only.
#include <windows.h>

void FillWithParentBackground(HWND label, HDC dc, const RECT& client);
