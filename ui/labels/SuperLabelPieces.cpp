#include "ui/labels/SuperLabelPieces.h"

#include <cwctype>

std::vector<SuperLabelPiece> SplitSuperLabelPieces(const std::vector<SuperLabelRun>& runs) {
    std::vector<SuperLabelPiece> pieces;
    for (std::size_t runIndex = 0; runIndex < runs.size(); ++runIndex) {
        const std::wstring& text = runs[runIndex].text;
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t wordEnd = start;
            while (wordEnd < text.size() && !std::iswspace(text[wordEnd])) ++wordEnd;
            SuperLabelPiece piece;
            std::size_t end = wordEnd;
            while (end < text.size() && std::iswspace(text[end])) {
                if (text[end] == L'\n') piece.lineBreak = true;
                ++end;
            }
            piece.visibleLength = wordEnd - start;
            piece.run = runIndex;
            piece.text.assign(text, start, end - start);
            pieces.push_back(std::move(piece));
            start = end;
        }
    }
    return pieces;
}

std::size_t FindLongestSuperLabelPiece(const std::vector<SuperLabelPiece>& pieces) {
    std::size_t longest = 0;
    for (std::size_t i = 1; i < pieces.size(); ++i)
        if (pieces[i].text.size() > pieces[longest].text.size()) longest = i;
    return longest;
}
