#pragma once
// The units of a super label's text: runs (one style each) and pieces (one
// word with the white space after it, the unit of word wrapping). Plain data,
// free of windows, so the parser and the layout can be built and tested alone.
#include <cstddef>
#include <string>

// Style bits of a run; the same bits index the label's font variants
// (1 bold, 2 italic, 4 underlined), so links are drawn underlined.
enum SuperLabelStyle : unsigned {
    SuperLabelPlain = 0,
    SuperLabelBold = 1,
    SuperLabelItalic = 2,
    SuperLabelLink = 4,
};

struct SuperLabelRun {
    unsigned style = SuperLabelPlain;
    std::wstring text;
    std::wstring target;  // empty unless the run is a link
};

// A rectangle in client coordinates; empty (all zero) when the piece is not shown.
struct SuperLabelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

struct SuperLabelPiece {
    bool lineBreak = false;     // a line feed follows the word: the line ends after this piece
    std::size_t visibleLength = 0;  // characters up to and including the last non-white-space one
    std::size_t run = 0;        // index of the run the piece belongs to
    std::wstring text;          // the word and the white space after it
    SuperLabelRect rect;
};
