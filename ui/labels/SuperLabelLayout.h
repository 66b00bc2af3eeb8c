#pragma once
// Word-wrapped layout of super-label pieces in a client area, and the link hit
// test. Free of windows: the widths come from an ISuperLabelMeasure.
#include <cstddef>
#include <vector>

#include "ui/labels/SuperLabelRun.h"

struct SuperLabelWidths {
    int full = 0;     // the whole piece, white space included
    int visible = 0;  // up to the last non-white-space character (0 for white space only)
};

class ISuperLabelMeasure {
public:
    virtual ~ISuperLabelMeasure() = default;
    virtual SuperLabelWidths Measure(const SuperLabelPiece& piece, unsigned style) = 0;
};

// Places pieces line by line from the top left of a width × height area with
// the given line height. A piece goes on the current line when it fits; when
// only its words fit, or it starts the line, it goes there all the same and
// its trailing white space (or the whole word) overflows on the right. A piece
// with the line-break flag ends its line. Pieces below the last whole line
// keep empty rectangles. Each piece is measured at most twice.
void LayOutSuperLabelPieces(std::vector<SuperLabelPiece>& pieces, const std::vector<SuperLabelRun>& runs,
                            int width, int height, int lineHeight, ISuperLabelMeasure& measure);

constexpr std::size_t kNoSuperLabelRun = static_cast<std::size_t>(-1);

// The run index of the link whose shown piece contains (x, y), or kNoSuperLabelRun.
std::size_t FindSuperLabelLinkAt(const std::vector<SuperLabelPiece>& pieces, const std::vector<SuperLabelRun>& runs,
                                 int x, int y);
