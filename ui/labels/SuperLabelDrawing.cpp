#include "ui/labels/SuperLabelDrawing.h"

#include <climits>

#include "ui/labels/LinkColour.h"

namespace {

int TextWidth(HDC dc, const wchar_t* text, std::size_t length) {
    if (length == 0) return 0;
    SIZE size = {};
    if (length > INT_MAX || !GetTextExtentPoint32W(dc, text, static_cast<int>(length), &size)) return 0;
    return size.cx;
}

}  // namespace

std::wstring DrawnSuperLabelText(const SuperLabelPiece& piece) {
    std::wstring text;
    text.reserve(piece.text.size());
    for (wchar_t unit : piece.text)
        if (unit != L'\r' && unit != L'\n') text.push_back(unit);
    return text;
}

CGdiSuperLabelMeasure::CGdiSuperLabelMeasure(HDC dc, const CSuperLabelFontSet& fonts)
    : m_dc(dc), m_fonts(fonts), m_previousFont(SelectObject(dc, fonts.Get(SuperLabelPlain))) {
    TEXTMETRICW metrics = {};
    if (GetTextMetricsW(dc, &metrics)) m_lineHeight = metrics.tmHeight;
}

CGdiSuperLabelMeasure::~CGdiSuperLabelMeasure() {
    if (m_previousFont != nullptr && m_previousFont != HGDI_ERROR) SelectObject(m_dc, m_previousFont);
}

SuperLabelWidths CGdiSuperLabelMeasure::Measure(const SuperLabelPiece& piece, unsigned style) {
    SelectObject(m_dc, m_fonts.Get(style));
    std::wstring text = DrawnSuperLabelText(piece);
    SuperLabelWidths widths;
    widths.full = TextWidth(m_dc, text.c_str(), text.size());
    // The word comes first and holds no line breaks, so its length is unchanged.
    widths.visible = TextWidth(m_dc, text.c_str(), piece.visibleLength < text.size() ? piece.visibleLength : text.size());
    return widths;
}

void DrawSuperLabelPieces(HDC dc, const std::vector<SuperLabelPiece>& pieces, const std::vector<SuperLabelRun>& runs,
                          const CSuperLabelFontSet& fonts, COLORREF background) {
    const COLORREF linkColour = ChooseLinkColour(GetSysColor(COLOR_HOTLIGHT), background, GetTextColor(dc));
    for (const SuperLabelPiece& piece : pieces) {
        if (piece.rect.IsEmpty() || piece.run >= runs.size()) continue;
        const SuperLabelRun& run = runs[piece.run];
        std::wstring text = DrawnSuperLabelText(piece);
        if (text.empty() || text.size() > INT_MAX) continue;
        int saved = SaveDC(dc);
        if (run.style & SuperLabelLink) SetTextColor(dc, linkColour);
        SelectObject(dc, fonts.Get(run.style));
        RECT rect = {piece.rect.left, piece.rect.top, piece.rect.right, piece.rect.bottom};
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, DT_EXPANDTABS | DT_NOPREFIX | DT_SINGLELINE);
        if (saved != 0) RestoreDC(dc, saved);
    }
}
