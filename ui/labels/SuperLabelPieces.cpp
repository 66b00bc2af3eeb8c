#include "ui/labels/SuperLabelPieces.h"

#include <cwctype>

namespace {
// Japanese and Chinese text has no spaces between words: a line may break
// between any two of its characters.
bool IsWideCharacter(wchar_t unit) {
    return (unit >= 0x2E80 && unit <= 0x9FFF) || (unit >= 0xF900 && unit <= 0xFAFF) ||
           (unit >= 0xFE30 && unit <= 0xFE4F) || (unit >= 0xFF00 && unit <= 0xFFEF);
}

// Characters that never start a line (closing marks, small kana, the long
// vowel mark) and ones that never end it (opening marks).
bool NeverStartsLine(wchar_t unit) {
    static const wchar_t kMarks[] =
        L")]},.:;!?\x3001\x3002\xFF0C\xFF0E\x30FB\xFF1A\xFF1B\xFF1F\xFF01\x30FC\x300D\x300F\xFF09\xFF3D\xFF5D"
        L"\x3015\x3009\x300B\x3011\x309D\x309E\x3041\x3043\x3045\x3047\x3049\x3063\x3083\x3085\x3087\x308E"
        L"\x30A1\x30A3\x30A5\x30A7\x30A9\x30C3\x30E3\x30E5\x30E7\x30EE\x30F5\x30F6";
    for (wchar_t mark : kMarks) {
        if (mark != 0 && mark == unit) return true;
    }
    return false;
}

bool NeverEndsLine(wchar_t unit) {
    static const wchar_t kMarks[] = L"([{\x300C\x300E\xFF08\xFF3B\xFF5B\x3014\x3008\x300A\x3010";
    for (wchar_t mark : kMarks) {
        if (mark != 0 && mark == unit) return true;
    }
    return false;
}

// A line may break between before and after although no space is there.
bool MayBreakBetween(wchar_t before, wchar_t after) {
    if (std::iswspace(after)) return false;
    if (!IsWideCharacter(before) && !IsWideCharacter(after)) return false;
    return !NeverStartsLine(after) && !NeverEndsLine(before);
}
}  // namespace

std::vector<SuperLabelPiece> SplitSuperLabelPieces(const std::vector<SuperLabelRun>& runs) {
    std::vector<SuperLabelPiece> pieces;
    for (std::size_t runIndex = 0; runIndex < runs.size(); ++runIndex) {
        const std::wstring& text = runs[runIndex].text;
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t wordEnd = start;
            while (wordEnd < text.size() && !std::iswspace(text[wordEnd])) {
                ++wordEnd;
                if (wordEnd < text.size() && MayBreakBetween(text[wordEnd - 1], text[wordEnd])) break;
            }
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
