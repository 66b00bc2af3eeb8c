#include "ui/MessageBoxLayout.h"

#include <algorithm>

MessageBoxButtonSet GetMessageBoxButtonSet(UINT style) {
    switch (style & MB_TYPEMASK) {
        case MB_OKCANCEL: return {{IDOK, IDCANCEL}, true, IDCANCEL};
        case MB_ABORTRETRYIGNORE: return {{IDABORT, IDRETRY, IDIGNORE}, false, IDABORT};
        case MB_YESNOCANCEL: return {{IDYES, IDNO, IDCANCEL}, true, IDCANCEL};
        case MB_YESNO: return {{IDYES, IDNO}, false, IDNO};
        case MB_RETRYCANCEL: return {{IDRETRY, IDCANCEL}, true, IDCANCEL};
        case MB_CANCELTRYCONTINUE: return {{IDCANCEL, IDTRYAGAIN, IDCONTINUE}, true, IDCANCEL};
        default: return {{IDOK}, false, IDOK};
    }
}

const wchar_t* GetBuiltInButtonCaption(UINT id) {
    static const wchar_t* const captions[] = {L"OK", L"Cancel", L"&Abort", L"&Retry", L"&Ignore", L"&Yes",
                                              L"&No", L"&Close", L"&Help", L"&Try Again", L"&Continue"};
    return id >= 1 && id <= ARRAYSIZE(captions) ? captions[id - 1] : L"";
}

WCHAR GetAcceleratorCharacter(const std::wstring& caption) {
    for (size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != L'&') continue;
        if (caption[i + 1] == L'&') {
            ++i;
            continue;
        }
        WCHAR c = caption[i + 1];
        CharUpperBuffW(&c, 1);
        return c;
    }
    return 0;
}

MessageBoxLayout ComputeMessageBoxLayout(const MessageBoxMetrics& m) {
    MessageBoxLayout layout;
    int columnLeft = m.margin;
    int lowest = m.margin;
    if (m.icon.cx > 0) {
        layout.icon = {m.margin, m.margin, m.margin + m.icon.cx, m.margin + m.icon.cy};
        columnLeft += m.icon.cx + m.margin;
        lowest = layout.icon.bottom;
    }
    int columnRight = columnLeft;
    int textTop = m.margin;
    if (m.mainText.cx > 0 || m.mainText.cy > 0) {
        layout.mainText = {columnLeft, textTop, columnLeft + m.mainText.cx, textTop + m.mainText.cy};
        columnRight = std::max(columnRight, static_cast<int>(layout.mainText.right));
        lowest = std::max(lowest, static_cast<int>(layout.mainText.bottom));
        textTop = layout.mainText.bottom + m.gap;
    }
    if (m.detailText.cx > 0 || m.detailText.cy > 0) {
        layout.detailText = {columnLeft, textTop, columnLeft + m.detailText.cx, textTop + m.detailText.cy};
        columnRight = std::max(columnRight, static_cast<int>(layout.detailText.right));
        lowest = std::max(lowest, static_cast<int>(layout.detailText.bottom));
    }
    int contentBottom = std::max(lowest + m.margin + 1, m.minContentHeight);

    // The content is as wide as the text column, or as the button row when that is wider.
    int count = std::max(m.buttonCount, 0);
    int rowWidth = count * m.buttonWidth + (count > 0 ? (count - 1) * m.gap : 0);
    int contentRight = std::max(columnRight, m.margin + rowWidth);
    int buttonTop = contentBottom + m.gap + 1;
    layout.buttons.resize(static_cast<size_t>(count));
    int right = contentRight;
    for (int index = count - 1; index >= 0; --index) {
        layout.buttons[static_cast<size_t>(index)] = {right - m.buttonWidth, buttonTop, right, buttonTop + m.buttonHeight};
        right -= m.buttonWidth + m.gap;
    }
    layout.defaultButton = m.defaultBits < static_cast<UINT>(count) ? static_cast<int>(m.defaultBits) : 0;

    layout.client = {contentRight + m.margin, buttonTop + m.buttonHeight + m.margin};
    layout.content = {-1, -1, layout.client.cx + 1, contentBottom + 1};
    layout.strip = {-1, contentBottom, layout.client.cx + 1, layout.client.cy + 1};
    return layout;
}
