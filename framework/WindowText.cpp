#include "framework/WindowText.h"

std::wstring ReadWindowText(HWND hwnd) {
    int length = GetWindowTextLengthW(hwnd);
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    int copied = GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()));
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return text;
}

std::wstring CaptionWithoutMnemonic(const std::wstring& caption) {
    std::wstring text;
    text.reserve(caption.size());
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption.compare(i, 2, L"(&") == 0 && i + 3 < caption.size() && caption[i + 3] == L')') {
            i += 3;
            continue;
        }
        if (caption[i] == L'&') {
            // "&&" is a shown "&"; a single mark goes and its letter follows.
            if (i + 1 < caption.size() && caption[i + 1] == L'&') {
                text.push_back(L'&');
                ++i;
            }
            continue;
        }
        text.push_back(caption[i]);
    }
    return text;
}

RECT ChildRectInParent(HWND parent, HWND child) {
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

int WindowTextWidth(HWND window) {
    std::wstring text = ReadWindowText(window);
    HDC dc = GetDC(window);
    if (!dc) return 0;
    HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)));
    SIZE size = {};
    BOOL measured = GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, previous);
    ReleaseDC(window, dc);
    return measured ? size.cx : 0;
}
