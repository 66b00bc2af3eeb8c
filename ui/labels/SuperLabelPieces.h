#pragma once
// Splits runs into pieces, the units of word wrapping: each piece is a
// maximal sequence of non-white-space characters with all the white space
// after it (white space as iswspace classifies it); in Japanese and Chinese
// text, which has no spaces, a piece ends after every character where the
// language lets a line break (not before closing marks and small kana, not
// after opening marks). A piece never spans two
// runs: a run that ends inside a word ends the piece there. A line feed in a
// piece's white space sets its line-break flag. Linear in the text's length.
#include <cstddef>
#include <vector>

#include "ui/labels/SuperLabelRun.h"

std::vector<SuperLabelPiece> SplitSuperLabelPieces(const std::vector<SuperLabelRun>& runs);

// The index of the piece with the most characters (the first of equals); 0 when there is none.
std::size_t FindLongestSuperLabelPiece(const std::vector<SuperLabelPiece>& pieces);
