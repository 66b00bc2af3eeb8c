#pragma once
// GDI side of the super label: measuring pieces in a device context with the
// label's font variants, and drawing the laid-out pieces.
// User-interface thread only; the device context and fonts stay the caller's.
#include <windows.h>

#include <string>
#include <vector>

#include "ui/labels/SuperLabelFontSet.h"
#include "ui/labels/SuperLabelLayout.h"

// Measures pieces with the font variant of each run's style. Line breaks
// (CR, LF) take no room; the device context's font is restored on destruction.
class CGdiSuperLabelMeasure : public ISuperLabelMeasure {
public:
    CGdiSuperLabelMeasure(HDC dc, const CSuperLabelFontSet& fonts);
    CGdiSuperLabelMeasure(const CGdiSuperLabelMeasure&) = delete;
    CGdiSuperLabelMeasure& operator=(const CGdiSuperLabelMeasure&) = delete;
    ~CGdiSuperLabelMeasure() override;

    SuperLabelWidths Measure(const SuperLabelPiece& piece, unsigned style) override;
    // The height of a line: the character height of the window font (variant 0).
    int GetLineHeight() const { return m_lineHeight; }

private:
    HDC m_dc;
    const CSuperLabelFontSet& m_fonts;
    HGDIOBJ m_previousFont;
    int m_lineHeight = 0;
};

// The characters of a piece that are drawn and measured: its text without CR and LF.
std::wstring DrawnSuperLabelText(const SuperLabelPiece& piece);

// Draws every shown piece in its run's font variant; links in the system's
// hot-light colour when it reads on background (else a fixed link blue,
// LinkColour.h), other text in the device context's text colour. The
// background is left as it is (transparent text).
void DrawSuperLabelPieces(HDC dc, const std::vector<SuperLabelPiece>& pieces, const std::vector<SuperLabelRun>& runs,
                          const CSuperLabelFontSet& fonts, COLORREF background);
