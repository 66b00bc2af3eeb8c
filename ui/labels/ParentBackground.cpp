#include "ui/labels/ParentBackground.h"

void FillWithParentBackground(HWND label, HDC dc, const RECT& client) {
    auto brush = reinterpret_cast<HBRUSH>(
        SendMessageW(GetParent(label), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label)));
    if (brush != nullptr) FillRect(dc, &client, brush);
}
