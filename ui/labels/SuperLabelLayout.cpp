#include "ui/labels/SuperLabelLayout.h"

void LayOutSuperLabelPieces(std::vector<SuperLabelPiece>& pieces, const std::vector<SuperLabelRun>& runs,
                            int width, int height, int lineHeight, ISuperLabelMeasure& measure) {
    for (SuperLabelPiece& piece : pieces) piece.rect = SuperLabelRect();
    if (lineHeight < 1) lineHeight = 1;
    int x = 0;
    int y = 0;
    std::size_t next = 0;
    // Every pass either places a piece or starts a new line after a placed
    // one, so the loop ends after at most two passes per piece.
    while (next < pieces.size() && height - lineHeight >= y) {
        SuperLabelPiece& piece = pieces[next];
        unsigned style = piece.run < runs.size() ? runs[piece.run].style : SuperLabelPlain;
        SuperLabelWidths widths = measure.Measure(piece, style);
        int room = width - x;
        if (room >= widths.full || room >= widths.visible || x == 0) {
            piece.rect = SuperLabelRect{x, y, x + widths.full, y + lineHeight};
            ++next;
            if (room >= widths.full && !piece.lineBreak) {
                x += widths.full;
                continue;
            }
        }
        y += lineHeight;
        x = 0;
    }
}

std::size_t FindSuperLabelLinkAt(const std::vector<SuperLabelPiece>& pieces, const std::vector<SuperLabelRun>& runs,
                                 int x, int y) {
    for (const SuperLabelPiece& piece : pieces) {
        if (piece.rect.IsEmpty() || !piece.rect.Contains(x, y)) continue;
        if (piece.run < runs.size() && !runs[piece.run].target.empty()) return piece.run;
    }
    return kNoSuperLabelRun;
}
