#pragma once
// The eight font variants of a super label, made from its window font:
// index = style bits (1 weight 700, 2 italic, 4 underlined); 0 is the window
// font itself, which the set does not own. Owns the seven fonts it creates.
// User-interface thread only.
#include <windows.h>

class CSuperLabelFontSet {
public:
    static constexpr unsigned kVariantCount = 8;

    CSuperLabelFontSet() = default;
    CSuperLabelFontSet(const CSuperLabelFontSet&) = delete;
    CSuperLabelFontSet& operator=(const CSuperLabelFontSet&) = delete;
    ~CSuperLabelFontSet();

    // Rebuilds the variants when baseFont differs from the one they were made
    // from. A null baseFont stands for the system's default GUI font.
    void Update(HFONT baseFont);
    // The variant for the style bits (masked to 0..7); never null after Update.
    HFONT Get(unsigned style) const;
    HFONT GetBase() const { return m_baseFont; }

private:
    void Clear();

    HFONT m_baseFont = nullptr;
    bool m_bMade = false;
    HFONT m_variants[kVariantCount] = {};
};
