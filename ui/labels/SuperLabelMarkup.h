#pragma once
// Parses super-label markup into runs. Linear in the text's length, reads only
// inside the given text and never fails: malformed markup ends the parse at
// the first error and keeps the runs finished before it.
#include <string>
#include <string_view>
#include <vector>

#include "ui/labels/SuperLabelRun.h"

// The character that marks a text as super-label text when it comes first.
constexpr wchar_t kSuperLabelMarker = 0x1B;

struct SuperLabelMarkup {
    std::vector<SuperLabelRun> runs;  // runs with visible text, in order
    std::wstring plainText;           // all visible text of those runs
    bool wellFormed = true;           // false when the parse stopped at an error
};

// A leading 0x1B is skipped. The text ends at its end or at the first 0x00;
// an end that a bold, italic or link run has not closed is an error, and that
// unclosed run is dropped.
SuperLabelMarkup ParseSuperLabelMarkup(std::wstring_view text);
