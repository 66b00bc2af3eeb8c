#include "ui/labels/SuperLabelFontSet.h"

CSuperLabelFontSet::~CSuperLabelFontSet() { Clear(); }

void CSuperLabelFontSet::Clear() {
    for (unsigned i = 1; i < kVariantCount; ++i) {
        if (m_variants[i] != nullptr) DeleteObject(m_variants[i]);
        m_variants[i] = nullptr;
    }
    m_variants[0] = nullptr;
    m_baseFont = nullptr;
    m_bMade = false;
}

void CSuperLabelFontSet::Update(HFONT baseFont) {
    if (m_bMade && baseFont == m_baseFont) return;
    Clear();
    HFONT source = baseFont != nullptr ? baseFont : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW base = {};
    if (GetObjectW(source, sizeof(base), &base) != sizeof(base)) {
        source = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        GetObjectW(source, sizeof(base), &base);
    }
    m_baseFont = baseFont;
    m_variants[0] = source;
    for (unsigned style = 1; style < kVariantCount; ++style) {
        LOGFONTW variant = base;
        if (style & 1) variant.lfWeight = FW_BOLD;
        if (style & 2) variant.lfItalic = TRUE;
        if (style & 4) variant.lfUnderline = TRUE;
        m_variants[style] = CreateFontIndirectW(&variant);
    }
    // A variant that cannot be made stays null; Get falls back to the window font.
    m_bMade = true;
}

HFONT CSuperLabelFontSet::Get(unsigned style) const {
    HFONT font = m_variants[style & (kVariantCount - 1)];
    return font != nullptr ? font : m_variants[0];
}
